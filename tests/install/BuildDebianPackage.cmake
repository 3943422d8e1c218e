# Builds the Debian package of the build tree into WORK_DIR, as `./zelk package` does.
include(${CMAKE_CURRENT_LIST_DIR}/InstallTestSupport.cmake)

zelk_skip_without(dpkg-deb)
zelk_skip_without(dpkg-shlibdeps)
file(REMOVE_RECURSE ${WORK_DIR})
zelk_run(out 0 ${CPACK} --config ${PROJECT_BUILD_DIR}/CPackConfig.cmake -G DEB -B ${WORK_DIR})
file(GLOB packages ${WORK_DIR}/*.deb)
list(LENGTH packages count)
if(NOT count EQUAL 1)
    message(FATAL_ERROR "expected one package in ${WORK_DIR}, found '${packages}':\n${out}")
endif()
