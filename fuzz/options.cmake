# KAVETTA_FUZZ=ON builds the fuzz targets for libFuzzer as well. The libraries they drive must
# carry the same instrumentation, so the whole build is compiled for it; configure a build
# folder of its own with clang++ for this.
option(KAVETTA_FUZZ "Also build the fuzz targets for libFuzzer (clang++ only)" OFF)
if(KAVETTA_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "KAVETTA_FUZZ needs clang++: configure with -DCMAKE_CXX_COMPILER=clang++")
    endif()
    # As in tools/sanitize: every check stops the run, except nonnull-attribute, which stays
    # recoverable only so that the one suppression for Qt's own header can apply.
    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                        -fno-sanitize-recover=undefined -fsanitize-recover=nonnull-attribute)
    add_link_options(-fsanitize=address,undefined)
    # The UndefinedBehaviorSanitizer lines of tools/sanitizers.supp, for UBSAN_OPTIONS.
    file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/../tools/sanitizers.supp KAVETTA_SUPPRESSIONS
         REGEX "^[a-z-]+:")
    list(FILTER KAVETTA_SUPPRESSIONS EXCLUDE REGEX "^leak:")
    list(JOIN KAVETTA_SUPPRESSIONS "\n" KAVETTA_SUPPRESSIONS)
    file(WRITE ${CMAKE_BINARY_DIR}/ubsan.supp "${KAVETTA_SUPPRESSIONS}\n")
endif()
