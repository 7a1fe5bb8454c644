# Run by ctest after tools/build-deb: cmake -DOUT=... -DLINTIAN=... -P check-deb.cmake
# Fails on any lintian error or warning in the whole upload (source and binary packages), and on
# its notes about hardening and about sections that strip should have removed.
cmake_minimum_required(VERSION 3.25)
file(GLOB changes ${OUT}/*.changes)
if(NOT changes)
    message(FATAL_ERROR "no .changes in ${OUT}: tools/build-deb made none")
endif()
execute_process(COMMAND ${LINTIAN} --fail-on error,warning --display-info ${changes}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
message(STATUS "lintian ${changes}:\n${out}")
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "lintian found errors or warnings")
endif()
if(out MATCHES "I: [^\n]*(hardening-|binary-has-unneeded-section)")
    message(FATAL_ERROR "lintian: the programs lack hardening or carry needless sections")
endif()
