# Manual pages of the console tools, made from their --help texts at build time so that
# they follow every change of an option. The pages go to man/ in the build tree, as
# roff and gzip-compressed for installing. Without help2man there are no pages.
find_program(LUMVARD_HELP2MAN help2man)
if(NOT LUMVARD_HELP2MAN)
  message(WARNING "help2man not found (scripts/setup.sh installs it): no manual pages")
  return()
endif()

set(LUMVARD_MAN_PAGES)
foreach(tool_and_name
    "lumvard-pack|write archives and installers of the Lumvard installer's format"
    "lumvard-extract|extract or test archives and installers of the Lumvard installer's format"
    "lumvard-localtext|write the Lumvard installer's localised text file")
  string(REPLACE "|" ";" tool_and_name "${tool_and_name}")
  list(GET tool_and_name 0 tool)
  list(GET tool_and_name 1 summary)
  # help2man reads the program name from the file it runs: a wrapper of the same name
  # that drops the --help line naming this machine's installer executable.
  set(wrapper ${CMAKE_BINARY_DIR}/man/help/${tool})
  file(GENERATE OUTPUT ${wrapper}
       CONTENT "#!/bin/sh\n\"$<TARGET_FILE:${tool}>\" \"$@\" | sed '/^Installer executable for --exe:/d'\n"
       FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
  set(page ${CMAKE_BINARY_DIR}/man/${tool}.1)
  add_custom_command(OUTPUT ${page} ${page}.gz
    COMMAND ${LUMVARD_HELP2MAN} --no-info --version-string=${PROJECT_VERSION} --name=${summary}
            --output=${page} ${wrapper}
    COMMAND gzip -9nkf ${page}
    DEPENDS ${tool} ${wrapper}
    COMMENT "Manual page of ${tool}"
    VERBATIM)
  list(APPEND LUMVARD_MAN_PAGES ${page})
  install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
add_custom_target(lumvard_man_pages ALL DEPENDS ${LUMVARD_MAN_PAGES})
