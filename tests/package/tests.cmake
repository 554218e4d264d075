# The tool chain as shipped: the Debian package, the manual pages, the README's pictures.
if(NOT LUMVARD_PACKAGING)
  return()
endif()
foreach(package_case deb manpages screenshots)
  add_test(NAME Package.${package_case}
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/package/package_test.sh ${package_case}
      ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR} ${PROJECT_VERSION})
  set_tests_properties(Package.${package_case} PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 120)
endforeach()
