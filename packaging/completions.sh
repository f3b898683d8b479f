#!/bin/sh
# Writes the bash and zsh completion of kivoractl from its own --help, so that they offer
# exactly the commands, desktop subcommands and options the program documents.
# Usage: completions.sh KIVORACTL BASH_FILE ZSH_FILE
set -eu
kivoractl=$1 bash_file=$2 zsh_file=$3

# The first word of each indented line of a "Title:" section of a help text.
section_words() {
    awk -v title="$1" '
        /^[A-Za-z][A-Za-z ]*:$/ { inside = ($0 == title ":"); next }
        /^[^ ]/ { inside = 0 }
        inside && /^  [a-z]/ { print $1 }'
}
commands=$("$kivoractl" --help | section_words Commands | tr '\n' ' ')
options=$("$kivoractl" --help | grep -E '^  -' | grep -oE -- '--?[a-z][a-z-]*' | sort -u | tr '\n' ' ')
# The desktop subcommands are the indented lines of its help.
subcommands=$("$kivoractl" desktop --help | awk '/^  [a-z]/ { print $1 }' | tr '\n' ' ')
[ -n "$commands" ] && [ -n "$options" ] && [ -n "$subcommands" ] || {
    echo "completions.sh: cannot read the commands from $kivoractl --help" >&2
    exit 1
}

cat >"$bash_file" <<BASH
# bash completion for kivoractl (generated from kivoractl --help)
_kivoractl() {
    local cur=\${COMP_WORDS[COMP_CWORD]} command= i
    for ((i = 1; i < COMP_CWORD; i++)); do
        case \${COMP_WORDS[i]} in
            --timeout|--count|--address) ((i++)) ;;
            -*) ;;
            *) command=\${COMP_WORDS[i]}; break ;;
        esac
    done
    case \$cur in -*)
        COMPREPLY=(\$(compgen -W "$options" -- "\$cur")); return ;;
    esac
    case \$command in
        '') COMPREPLY=(\$(compgen -W "$commands" -- "\$cur")) ;;
        help) COMPREPLY=(\$(compgen -W "$commands" -- "\$cur")) ;;
        desktop) ((i + 1 == COMP_CWORD)) &&
            COMPREPLY=(\$(compgen -W "$subcommands" -- "\$cur")) ;;
    esac
}
complete -F _kivoractl kivoractl
BASH

cat >"$zsh_file" <<ZSH
#compdef kivoractl
# zsh completion for kivoractl (generated from kivoractl --help); "options" and "commands"
# name parameters of zsh itself, hence the prefix.
local -a ctl_options ctl_commands ctl_subcommands words_before
local -i i
ctl_options=($options)
ctl_commands=($commands)
ctl_subcommands=($subcommands)
if [[ \$PREFIX == -* ]]; then
    compadd -a ctl_options
    return
fi
for ((i = 2; i < CURRENT; i++)); do
    case \${words[i]} in
        --timeout|--count|--address) ((i++)) ;;
        -*) ;;
        *) words_before+=(\${words[i]}) ;;
    esac
done
case \${words_before[1]} in
    '') compadd -a ctl_commands ;;
    help) compadd -a ctl_commands ;;
    desktop) (( \${#words_before} == 1 )) && compadd -a ctl_subcommands ;;
esac
ZSH
