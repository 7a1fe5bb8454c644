# Included by the package checks: builds the Debian package from BUILD_DIR into OUT, emptied
# first, and sets `deb` to it; stops the check when cpack makes none.
file(REMOVE_RECURSE ${OUT})
execute_process(COMMAND ${CPACK} -G DEB --config ${BUILD_DIR}/CPackConfig.cmake -B ${OUT}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
file(GLOB deb ${OUT}/*.deb)
if(NOT rc EQUAL 0 OR NOT deb)
    message(FATAL_ERROR "cpack made no package:\n${out}")
endif()
