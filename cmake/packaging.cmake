# Installing the tool chain and the Debian package made from it: the console tools into
# bin/, the 32-bit installer executable (built by the win32 preset in its own tree) into
# share/lumvard/, where lumvard-pack --exe finds it, the manual pages into
# share/man/man1/ and the README into share/doc/lumvard/.
include(GNUInstallDirs)
set(LUMVARD_PACKAGING ON)

set(LUMVARD_INSTALLER_STUB "${CMAKE_SOURCE_DIR}/build/win32/shell/lumvard-install.exe"
    CACHE FILEPATH "The 32-bit installer executable installed and packaged with the tools")

# Run from this build tree, lumvard-pack --exe falls back to that executable.
set_property(SOURCE ${CMAKE_SOURCE_DIR}/pack/stub_locate.cpp DIRECTORY ${CMAKE_SOURCE_DIR}/pack
  APPEND PROPERTY COMPILE_DEFINITIONS
  LUMVARD_BUILD_TREE="${CMAKE_BINARY_DIR}" LUMVARD_BUILD_TREE_STUB="${LUMVARD_INSTALLER_STUB}")

include(${CMAKE_CURRENT_LIST_DIR}/manpages.cmake)

install(TARGETS lumvard-pack lumvard-extract lumvard-localtext RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${LUMVARD_INSTALLER_STUB} DESTINATION ${CMAKE_INSTALL_DATADIR}/lumvard)
# The README with the pictures it shows.
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/screenshots DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs)

# cpack -G DEB --config build/native/CPackConfig.cmake: lumvard_<version>_<arch>.deb
find_program(LUMVARD_DPKG dpkg)
set(LUMVARD_DEB_ARCHITECTURE amd64)
if(LUMVARD_DPKG)
  execute_process(COMMAND ${LUMVARD_DPKG} --print-architecture
                  OUTPUT_VARIABLE LUMVARD_DEB_ARCHITECTURE OUTPUT_STRIP_TRAILING_WHITESPACE)
endif()
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lumvard)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Lumvard Software")
set(CPACK_PACKAGE_CONTACT "Lumvard installer team <installer@lumvard.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Lumvard installer tool chain: builds Windows installers on Linux")
set(CPACK_PACKAGE_DESCRIPTION "lumvard-pack packs a folder into an archive and appends it to the \
32-bit Lumvard installer shipped in this package; lumvard-extract checks and extracts archives and \
installers; lumvard-localtext writes the installer's localised text file.")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME "lumvard_${PROJECT_VERSION}_${LUMVARD_DEB_ARCHITECTURE}.deb")
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${LUMVARD_DEB_ARCHITECTURE})
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
