# Fails when a core source includes an OS, sd-bus, X11 or Linux-adapter header: the core
# reaches the platform only through the ports. Run as a build step over the files listed,
# one a line, in SOURCE_LIST.
set(forbidden
  "<(unistd|fcntl|poll|pthread|dlfcn|dirent|termios|pwd|grp|syslog|signal|spawn|sched|errno)\\.h>"
  "<(sys|linux|systemd|X11|glib|gio|atspi|dbus)/"
  "\"platform/linux/")
file(STRINGS "${SOURCE_LIST}" files)
set(failures "")
foreach(file IN LISTS files)
  file(STRINGS "${file}" lines REGEX "^[ \t]*#[ \t]*include")
  foreach(line IN LISTS lines)
    foreach(pattern IN LISTS forbidden)
      if(line MATCHES "${pattern}")
        string(APPEND failures "${file}: ${line}\n")
      endif()
    endforeach()
  endforeach()
endforeach()
if(failures)
  message(FATAL_ERROR "core files include platform headers (use a port instead):\n${failures}")
endif()
