# The Windows file-system layer, checked under Wine with the 64-bit build.
add_test(NAME Win32Platform.FileSystemLayer
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/win32_platform/run_check.sh
    ${CMAKE_SOURCE_DIR}/build/win64/tests/win32_platform/check/platform_check.exe
    ${CMAKE_BINARY_DIR}/wine-platform-prefix)
set_tests_properties(Win32Platform.FileSystemLayer PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300)
