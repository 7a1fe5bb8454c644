# Run by ctest after tools/build-deb: cmake -DOUT=... -DHARDENING_CHECK=... -P check-hardening.cmake
# Checks every program in the binary packages with hardening-check: PIE, stack protector,
# fortified functions, read-only relocations and immediate binding, each of which it must find.
# Control-flow protection (-fcf-protection) is not among Debian 12's hardening flags, so it is
# not asked for. The command-line package must pull in no GUI library.
cmake_minimum_required(VERSION 3.25)
file(GLOB debs ${OUT}/kavetta_*.deb ${OUT}/kavetta-cli_*.deb)
list(LENGTH debs count)
if(NOT count EQUAL 2)
    message(FATAL_ERROR "expected the kavetta and kavetta-cli packages in ${OUT}, found: ${debs}")
endif()
file(REMOVE_RECURSE ${OUT}/root)
foreach(deb IN LISTS debs)
    execute_process(COMMAND dpkg-deb -x ${deb} ${OUT}/root COMMAND_ERROR_IS_FATAL ANY)
endforeach()
file(GLOB programs ${OUT}/root/usr/bin/*)
execute_process(COMMAND ${HARDENING_CHECK} --nocfprotection ${programs}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
message(STATUS "${out}")
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "hardening-check found a protection missing")
endif()
file(GLOB cli ${OUT}/kavetta-cli_*.deb)
execute_process(COMMAND dpkg-deb --field ${cli} Depends OUTPUT_VARIABLE depends
                COMMAND_ERROR_IS_FATAL ANY)
message(STATUS "kavetta-cli Depends: ${depends}")
if(depends MATCHES "libqt6(gui|widgets)")
    message(FATAL_ERROR "kavetta-cli depends on a GUI library")
endif()
