# Run by ctest: cmake -DCPACK=... -DBUILD_DIR=... -DOUT=... -DHARDENING_CHECK=... -P check-hardening.cmake
# Builds the Debian package from the build folder and checks the programs in it with
# hardening-check: PIE, stack protector, fortified functions, read-only relocations and immediate
# binding, each of which it must find. Control-flow protection (-fcf-protection) is not among
# Debian 12's hardening flags, so it is not asked for.
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/make-deb.cmake)
execute_process(COMMAND dpkg-deb -x ${deb} ${OUT}/root COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${HARDENING_CHECK} --nocfprotection ${OUT}/root/usr/bin/kavetta
                        ${OUT}/root/usr/bin/kavetta-send ${OUT}/root/usr/bin/kavetta-answer
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
message(STATUS "${out}")
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "hardening-check found a protection missing")
endif()
