# The Windows build's zip (`make windows`): tolvane-cli.exe, which needs no DLL beside it, its
# manual as text with Windows line ends and the licences, in a folder of their own. That folder
# is a copy of its own: the program keeps its settings file there.
find_program(GROFF groff REQUIRED)
set(manual ${CMAKE_CURRENT_BINARY_DIR}/tolvane-cli.txt)
add_custom_command(
  OUTPUT ${manual}
  COMMAND ${CMAKE_COMMAND} -DGROFF=${GROFF} -DPAGE=${CMAKE_CURRENT_SOURCE_DIR}/man/tolvane-cli.1
          -DOUT=${manual} -P ${CMAKE_CURRENT_SOURCE_DIR}/manual-text.cmake
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/man/tolvane-cli.1 ${CMAKE_CURRENT_SOURCE_DIR}/manual-text.cmake
  VERBATIM)
add_custom_target(windows_manual ALL DEPENDS ${manual})

install(TARGETS tolvane-cli RUNTIME DESTINATION .)
install(FILES ${manual} DESTINATION .)
# The program's licence, and the notices of the mingw-w64 runtime (winpthreads and the rest)
# that is linked into it.
install(FILES ${CMAKE_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)
install(FILES /usr/share/doc/mingw-w64-common/copyright DESTINATION . RENAME mingw-w64-copyright.txt)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME tolvane-cli)
set(CPACK_PACKAGE_VENDOR "The Tolvane II developers")
set(CPACK_PACKAGE_FILE_NAME tolvane-cli-${PROJECT_VERSION}-windows-x86_64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
