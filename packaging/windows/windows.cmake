# The Windows packages, made by CPack (on Linux too, with the nsis package):
#   kavetta-<version>-windows-x86_64.zip  the program, LICENSE and a read-me, to unpack anywhere
#   kavetta-<version>-windows-x86_64.exe  an installer with a Start-menu entry and an uninstaller
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/README.txt DESTINATION .)

# Built with a static Qt, each program needs no DLL beside it.
get_target_property(qt_type Qt6::Core TYPE)
if(qt_type STREQUAL "STATIC_LIBRARY")
    foreach(program IN ITEMS kavetta kavetta-send kavetta-answer)
        add_test(NAME windows_imports_${program}
                 COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${CMAKE_OBJDUMP}
                         -DPROGRAM=$<TARGET_FILE:${program}>
                         -P ${CMAKE_CURRENT_LIST_DIR}/check-imports.cmake)
    endforeach()
endif()

set(CPACK_PACKAGE_NAME kavetta)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Kavetta developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Kavetta - test an RS-232C serial line by hand")
set(CPACK_PACKAGE_FILE_NAME kavetta-${PROJECT_VERSION}-windows-x86_64)
set(CPACK_PACKAGE_INSTALL_DIRECTORY Kavetta)
set(CPACK_PACKAGE_EXECUTABLES kavetta Kavetta) # the Start-menu entry
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR ZIP NSIS)
# A 64-bit installer for the 64-bit program (and one that runs under a 64-bit-only Wine). The
# installer stores no file times (makensis cannot take them from SOURCE_DATE_EPOCH), so two builds
# give the same installer; installed files carry the time of installing.
set(CPACK_NSIS_DEFINES "Target amd64-unicode\nSetDateSave off")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_PACKAGE_NAME Kavetta)
set(CPACK_NSIS_DISPLAY_NAME Kavetta)
set(CPACK_NSIS_MUI_ICON ${PROJECT_SOURCE_DIR}/app/resources/kavetta.ico)
set(CPACK_NSIS_MUI_UNIICON ${PROJECT_SOURCE_DIR}/app/resources/kavetta.ico)
set(CPACK_NSIS_INSTALLED_ICON_NAME kavetta.exe)
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
include(CPack)
