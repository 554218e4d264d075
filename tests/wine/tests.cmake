# The installer under Wine, one CTest test per case and build: Wine.CASE runs the
# 64-bit twin from build/win64, Wine32.CASE the 32-bit product from build/win32 (under
# QEMU's user-mode emulator, about five seconds a start, so only the cases that show
# the product's own behaviour). "imports" reads the import table and needs no Wine.
set(WINE_CASES_BOTH destination_default cdrom_refused about_box german install_run
    install_password install_password_cancel install_damaged dll_planted signed imports)
set(WINE_CASES_win64 ${WINE_CASES_BOTH} cancel_button local_text local_text_windows_folder
    browse background_picture install_drive_root)
# The browse dialog, the local texts and the backdrop go through the late-bound system
# libraries, bound differently in the 32-bit build: the product runs them too.
set(WINE_CASES_win32 ${WINE_CASES_BOTH} browse local_text background_picture)
foreach(wine_build win64 win32)
  set(wine_prefix Wine)
  if(wine_build STREQUAL "win32")
    set(wine_prefix Wine32)
  endif()
  foreach(wine_case ${WINE_CASES_${wine_build}})
    add_test(NAME ${wine_prefix}.${wine_case}
      COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/wine/wine_test.sh ${wine_case}
        ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR} ${wine_build})
    set_tests_properties(${wine_prefix}.${wine_case} PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 240)
  endforeach()
endforeach()
