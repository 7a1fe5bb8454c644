# Run by ctest: cmake -DBUILD_DIR=... -DSTAGE=... -DAPP_ID=... -DAPPSTREAMCLI=...
#   -DDESKTOP_FILE_VALIDATE=... -P check-install.cmake
cmake_minimum_required(VERSION 3.25)
file(REMOVE_RECURSE ${STAGE})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${STAGE}/usr
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "cmake --install failed: ${rc}")
endif()

set(expected
    usr/bin/kavetta
    usr/bin/kavetta-send
    usr/bin/kavetta-answer
    usr/share/applications/${APP_ID}.desktop
    usr/share/icons/hicolor/scalable/apps/${APP_ID}.svg
    usr/share/metainfo/${APP_ID}.metainfo.xml
    usr/share/man/man1/kavetta.1
    usr/share/man/ja/man1/kavetta.1
    usr/share/man/man1/kavetta-send.1
    usr/share/man/ja/man1/kavetta-send.1
    usr/share/man/man1/kavetta-answer.1
    usr/share/man/ja/man1/kavetta-answer.1)
foreach(path IN LISTS expected)
    if(NOT EXISTS ${STAGE}/${path})
        message(FATAL_ERROR "not installed: ${path}")
    endif()
endforeach()

# The launcher starts the installed program and shows the installed icon.
file(STRINGS ${STAGE}/usr/share/applications/${APP_ID}.desktop entry)
foreach(key IN ITEMS "Exec=kavetta" "Icon=${APP_ID}")
    if(NOT key IN_LIST entry)
        message(FATAL_ERROR "launcher lacks ${key}")
    endif()
endforeach()
file(READ ${STAGE}/usr/share/metainfo/${APP_ID}.metainfo.xml metainfo)
foreach(tag IN ITEMS "<id>${APP_ID}</id>"
                     "<launchable type=\"desktop-id\">${APP_ID}.desktop</launchable>"
                     "<binary>kavetta</binary>")
    string(FIND "${metainfo}" "${tag}" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "metainfo lacks ${tag}")
    endif()
endforeach()

execute_process(COMMAND ${DESKTOP_FILE_VALIDATE} ${STAGE}/usr/share/applications/${APP_ID}.desktop
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "installed launcher does not validate")
endif()
# Checks metainfo, launcher and icon together, as a software centre reads them.
execute_process(COMMAND ${APPSTREAMCLI} validate-tree --no-net ${STAGE}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "appstreamcli validate-tree failed:\n${out}")
endif()
message(STATUS "${out}")
