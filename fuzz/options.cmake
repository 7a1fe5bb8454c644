# KAVETTA_FUZZ=ON builds the fuzz targets for libFuzzer as well. The libraries they drive must
# carry the same instrumentation, so the whole build is compiled for it; configure a build
# folder of its own with clang++ for this.
option(KAVETTA_FUZZ "Also build the fuzz targets for libFuzzer (clang++ only)" OFF)
if(KAVETTA_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "KAVETTA_FUZZ needs clang++: configure with -DCMAKE_CXX_COMPILER=clang++")
    endif()
    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                        -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()
