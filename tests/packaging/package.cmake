# SPDX-License-Identifier: MIT
# Builds the Debian package of the build tree BUILD_DIR into OUT, afresh, so that OUT
# holds exactly one .deb.
file(REMOVE_RECURSE "${OUT}")
execute_process(COMMAND "${CPACK}" -G DEB -B "${OUT}" WORKING_DIRECTORY "${BUILD_DIR}"
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cpack failed (${rc}):\n${out}")
endif()
