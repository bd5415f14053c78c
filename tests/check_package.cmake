# Builds the Debian package of the build in BUILD_DIR into a scratch directory,
# fails unless dpkg-deb lists the program and its documents in it, and, when
# LINTIAN names the program, fails on any error or warning lintian reports.
set(out ${BUILD_DIR}/package-test)
file(REMOVE_RECURSE ${out})
execute_process(COMMAND ${CMAKE_CPACK_COMMAND} -G DEB -B ${out}
                WORKING_DIRECTORY ${BUILD_DIR} RESULT_VARIABLE status OUTPUT_VARIABLE log
                ERROR_VARIABLE log)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cpack failed:\n${log}")
endif()
file(GLOB debs ${out}/*.deb)
list(LENGTH debs count)
if(NOT count EQUAL 1)
  message(FATAL_ERROR "expected one .deb in ${out}, found: ${debs}")
endif()
execute_process(COMMAND ${DPKG_DEB} -c ${debs} RESULT_VARIABLE status OUTPUT_VARIABLE listing)
foreach(file "./usr/bin/tjoin" "./usr/share/man/man1/tjoin.1.gz"
             "./usr/share/doc/tjoin/copyright" "./usr/share/doc/tjoin/changelog.gz")
  string(FIND "${listing}" " ${file}\n" at)
  if(status OR at EQUAL -1)
    message(FATAL_ERROR "${file} is not in ${debs}:\n${listing}")
  endif()
endforeach()
message(STATUS "${listing}")
if(LINTIAN)
  execute_process(COMMAND ${LINTIAN} --fail-on error,warning ${debs}
                  RESULT_VARIABLE status OUTPUT_VARIABLE report ERROR_VARIABLE report)
  message(STATUS "lintian: ${report}")
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "lintian finds errors or warnings in ${debs}:\n${report}")
  endif()
endif()
