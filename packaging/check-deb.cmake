# Run by ctest: cmake -DCPACK=... -DBUILD_DIR=... -DOUT=... -DLINTIAN=... [-DHARDENED=TRUE]
#   -P check-deb.cmake
# Builds the Debian package from the build folder and fails on any lintian error or warning, and
# on its notes about hardening and unneeded sections.
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/make-deb.cmake)
execute_process(COMMAND ${LINTIAN} --fail-on error,warning --display-info ${deb}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
message(STATUS "lintian ${deb}:\n${out}")
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "lintian found errors or warnings")
endif()
# Its notes on how the programs were built count too, where the build has all the hardening
# (HARDENED): hardening flags, and what strip leaves.
if(HARDENED AND out MATCHES "I: [^\n]*(hardening-|binary-has-unneeded-section)")
    message(FATAL_ERROR "lintian: the programs lack hardening or carry needless sections")
endif()
