# Run by `cmake --install`: writes the systemd user unit and the D-Bus service file with the
# helper's path under the prefix chosen at install time (`--prefix`), which may differ from the
# one configured, and installs them. Set by the caller: KIVORA_SERVICE_TEMPLATES,
# KIVORA_SERVICE_WORK_DIR and the install directories KIVORA_LIBEXEC_DIR, KIVORA_DOC_DIR,
# KIVORA_DATA_DIR (relative to the prefix, or absolute).

function(kivora_under_prefix out dir)
  if(IS_ABSOLUTE "${dir}")
    set(${out} "${dir}" PARENT_SCOPE)
  else()
    set(${out} "${CMAKE_INSTALL_PREFIX}/${dir}" PARENT_SCOPE)
  endif()
endfunction()

kivora_under_prefix(libexec_dir "${KIVORA_LIBEXEC_DIR}")
kivora_under_prefix(data_dir "${KIVORA_DATA_DIR}")
kivora_under_prefix(doc_dir "${KIVORA_DOC_DIR}")
set(KIVORA_HELPER_INSTALL_PATH "${libexec_dir}/kivora/KivoraData")
set(KIVORA_DOC_DIR "${doc_dir}")

# Neither file format can carry these in a path without escapes of its own (systemd expands
# '%' and splits at blanks; the bus splits Exec= like a shell): refuse rather than write a unit
# that starts something else.
if(KIVORA_HELPER_INSTALL_PATH MATCHES "[ \t\n\"'\\\\%$;]" OR KIVORA_DOC_DIR MATCHES "[ \t\n\"'\\\\%$;]")
  message(FATAL_ERROR "cannot install the service files: the install path "
    "'${KIVORA_HELPER_INSTALL_PATH}' holds a blank, quote, backslash, '%', '$' or ';'; "
    "choose another --prefix")
endif()

# A folder of their own for every destination, so that installs into different prefixes from
# one build, at the same time, do not overwrite each other's files.
string(MD5 destination "$ENV{DESTDIR}|${CMAKE_INSTALL_PREFIX}")
set(work_dir "${KIVORA_SERVICE_WORK_DIR}/${destination}")
configure_file("${KIVORA_SERVICE_TEMPLATES}/kivoradata.service.in"
  "${work_dir}/kivoradata.service" @ONLY)
configure_file("${KIVORA_SERVICE_TEMPLATES}/org.morvane.Kivora.KivoraData.service.in"
  "${work_dir}/org.morvane.Kivora.KivoraData.service" @ONLY)

# file(INSTALL) honours DESTDIR and records the files in install_manifest.txt.
file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}/lib/systemd/user" TYPE FILE
  FILES "${work_dir}/kivoradata.service")
file(INSTALL DESTINATION "${data_dir}/dbus-1/services" TYPE FILE
  FILES "${work_dir}/org.morvane.Kivora.KivoraData.service")
file(REMOVE_RECURSE "${work_dir}")
