# Fails unless every DLL the program imports is one of Windows' own: a static build needs no
# libgcc, libstdc++, winpthread or Qt DLL beside it.
#   cmake -DOBJDUMP=<objdump> -DPROGRAM=<kavetta.exe> -P check-imports.cmake
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND ${OBJDUMP} -p ${PROGRAM} OUTPUT_VARIABLE dump RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} could not read ${PROGRAM}")
endif()
string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
if(NOT imports)
    message(FATAL_ERROR "no import table found in ${PROGRAM}")
endif()
# System DLLs of Windows 10 and later, as a static Qt 6 Widgets program links them.
set(windows_own
    advapi32 authz bcrypt comctl32 comdlg32 crypt32 d2d1 d3d11 d3d9 dwmapi dwrite dxgi gdi32
    imm32 iphlpapi kernel32 mpr msvcrt netapi32 ntdll ole32 oleaut32 secur32 setupapi shcore
    shell32 shlwapi ucrtbase user32 userenv uxtheme version winmm winspool ws2_32 wtsapi32)
set(foreign)
foreach(line IN LISTS imports)
    string(REGEX REPLACE "DLL Name: *" "" dll "${line}")
    string(STRIP "${dll}" dll)
    string(TOLOWER "${dll}" name)
    string(REGEX REPLACE "\\.dll$" "" name "${name}")
    message(STATUS "imports ${dll}")
    if(NOT name IN_LIST windows_own AND NOT name MATCHES "^api-ms-win-")
        list(APPEND foreign ${dll})
    endif()
endforeach()
if(foreign)
    message(FATAL_ERROR "needs DLLs that Windows does not have: ${foreign}")
endif()
