# The installer under Wine (its 64-bit twin from build/win64), one CTest test per case.
foreach(wine_case destination_default cancel_button cdrom_refused local_text
                  local_text_windows_folder about_box german browse background_picture
                  install_run install_drive_root install_password install_password_cancel
                  install_damaged)
  add_test(NAME Wine.${wine_case}
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/wine/wine_test.sh ${wine_case}
      ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR})
  set_tests_properties(Wine.${wine_case} PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 180)
endforeach()
