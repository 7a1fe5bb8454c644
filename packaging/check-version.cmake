# Fails when a file that names the version names another than the project() line does. NEWS.md
# and debian/changelog are checked when the project is configured, which stops there.
#
#   cmake -DVERSION=3.0 -DSOURCE_DIR=<tree> -P check-version.cmake
cmake_minimum_required(VERSION 3.25)

set(drifted "")

# Every match of `regex` in `file` must capture VERSION; `wanted` is what it must capture (the
# version unless given), and at least one match must be there.
function(expect_in file regex)
    set(wanted ${VERSION})
    if(ARGC GREATER 2)
        set(wanted ${ARGV2})
    endif()
    file(READ ${SOURCE_DIR}/${file} text)
    string(REGEX MATCHALL "${regex}" found "${text}")
    if(NOT found)
        list(APPEND drifted "${file}: nothing matches ${regex}")
    endif()
    foreach(match IN LISTS found)
        string(REGEX REPLACE "${regex}" "\\1" named "${match}")
        if(NOT named STREQUAL wanted)
            list(APPEND drifted "${file}: ${match} (not ${wanted})")
        endif()
    endforeach()
    set(drifted "${drifted}" PARENT_SCOPE)
endfunction()

foreach(page IN ITEMS kavetta.1 kavetta.ja.1 kavetta-send.1 kavetta-send.ja.1 kavetta-answer.1
                     kavetta-answer.ja.1)
    expect_in(packaging/${page} "\"Kavetta ([0-9][0-9.]*)\"")
endforeach()
# The newest release comes first.
file(READ ${SOURCE_DIR}/packaging/io.github.kavetta.Kavetta.metainfo.xml metainfo)
string(REGEX MATCH "<release version=\"([^\"]*)\"" newest "${metainfo}")
if(NOT CMAKE_MATCH_1 STREQUAL VERSION)
    list(APPEND drifted "AppStream file: newest release ${CMAKE_MATCH_1}")
endif()
expect_in(packaging/windows/README.txt "kavetta-([0-9][0-9.]*[0-9])\\.tar")
# The window's caption writes the minor version with two digits: 3.0 as Ver3.00, 3.12 as Ver3.12.
string(REGEX MATCH "^([0-9]+)\\.([0-9]+)" parts ${VERSION})
set(minor ${CMAKE_MATCH_2})
if(minor LESS 10)
    set(minor "${minor}0")
endif()
expect_in(app/layout.cpp "\"Kavetta Ver([0-9.]+)\"" "${CMAKE_MATCH_1}.${minor}")
# File names in the pages people read: kavetta-3.0.tar.gz, kavetta_3.0_amd64.deb.
file(GLOB pages RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/*.md ${SOURCE_DIR}/docs/*.md)
foreach(page IN LISTS pages)
    file(READ ${SOURCE_DIR}/${page} text)
    string(REGEX MATCHALL "kavetta[-_][0-9]+\\.[0-9]+[-_.]" found "${text}")
    foreach(match IN LISTS found)
        string(REGEX REPLACE "kavetta[-_]([0-9.]+)[-_.]" "\\1" named "${match}")
        string(REGEX REPLACE "\\.$" "" named "${named}")
        if(NOT named STREQUAL VERSION)
            list(APPEND drifted "${page}: ${match}")
        endif()
    endforeach()
endforeach()

if(drifted)
    list(JOIN drifted "\n  " lines)
    message(FATAL_ERROR "These do not name version ${VERSION}:\n  ${lines}")
endif()
message(STATUS "Every carrier names version ${VERSION}")
