# The hardening every Debian package gets, for every native Linux build (tools/test, the Debian
# package, tools/build-artefacts): the flags dpkg-buildflags gives with
# DEB_BUILD_MAINT_OPTIONS=hardening=+all (stack protector, _FORTIFY_SOURCE, format checks, full
# RELRO and immediate binding). Optimisation, debug information and path mapping stay with the
# build type and the caller, so that a Debug build stays unoptimised and the release builds stay
# reproducible. Under dpkg-buildpackage, dh has already put the same flags into CMAKE_CXX_FLAGS
# and the linker flags; those are not given twice, and only the fortify level is raised.
option(KAVETTA_HARDENING "Build with dpkg-buildflags' hardening flags (native Linux builds)" ON)
if(NOT KAVETTA_HARDENING OR NOT CMAKE_SYSTEM_NAME STREQUAL "Linux" OR CMAKE_CROSSCOMPILING)
    return()
endif()
find_program(DPKG_BUILDFLAGS dpkg-buildflags)
if(NOT DPKG_BUILDFLAGS)
    message(WARNING "dpkg-buildflags (dpkg-dev) is missing: building without hardening flags")
    return()
endif()

function(kavetta_buildflags area out)
    execute_process(COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                            ${DPKG_BUILDFLAGS} --get ${area}
                    OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
    separate_arguments(flags UNIX_COMMAND "${flags}")
    list(FILTER flags EXCLUDE REGEX "^-g|^-O|^-f(file|debug|macro)-prefix-map=")
    set(${out} ${flags} PARENT_SCOPE)
endfunction()

kavetta_buildflags(CPPFLAGS cppflags)
kavetta_buildflags(CXXFLAGS cxxflags)
kavetta_buildflags(LDFLAGS ldflags)
separate_arguments(given UNIX_COMMAND "${CMAKE_CXX_FLAGS} ${CMAKE_EXE_LINKER_FLAGS}")
if(given)
    list(REMOVE_ITEM cppflags ${given})
    list(REMOVE_ITEM cxxflags ${given})
    list(REMOVE_ITEM ldflags ${given})
endif()
# _FORTIFY_SOURCE needs an optimised build; without one GCC only warns that it does nothing. A
# build of type None is optimised when the caller's flags say so, as dh's -O2 does.
set(optimised Release RelWithDebInfo MinSizeRel)
if(CMAKE_CXX_FLAGS MATCHES "(^| )-O([1-3sz]|fast)?( |$)")
    list(APPEND optimised None)
endif()
kavetta_buildflags(CPPFLAGS fortify)
list(FILTER fortify INCLUDE REGEX "^-D_FORTIFY_SOURCE")
list(FILTER cppflags EXCLUDE REGEX "^-D_FORTIFY_SOURCE")
# Level 2 checks only the calls whose buffer sizes are known when compiling, and leaves the calls
# it can prove safe unchecked: in kavetta-send that is every call, so hardening-check and lintian
# find no fortified function at all. Level 3 (GCC 12, Clang 12, glibc 2.34) also checks sizes
# known only at run time; later dpkg-buildflags give it too.
if(fortify AND CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang" AND
   CMAKE_CXX_COMPILER_VERSION VERSION_GREATER_EQUAL 12)
    set(fortify -U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=3)
endif()
list(JOIN optimised "," optimised)
add_compile_options(${cppflags} ${cxxflags} "$<$<CONFIG:${optimised}>:${fortify}>")
add_link_options(${ldflags})
string(JOIN " " shown ${cppflags} ${cxxflags} ${fortify} ${ldflags})
string(JOIN " " shown_fortify ${fortify})
message(STATUS "Hardening flags: ${shown} (${shown_fortify} in optimised builds only)")
