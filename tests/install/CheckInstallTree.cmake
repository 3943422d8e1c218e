# `cmake --install` of the whole build into a fresh prefix: the programs and their
# desktop files are there, no test or benchmark program is, and the installed programs
# answer --help and --version.
include(${CMAKE_CURRENT_LIST_DIR}/InstallTestSupport.cmake)

set(prefix ${WORK_DIR}/prefix)
file(REMOVE_RECURSE ${WORK_DIR})
zelk_run(out 0 ${CMAKE_COMMAND} --install ${PROJECT_BUILD_DIR} --prefix ${prefix})
zelk_check_installed_layout(${prefix})
zelk_check_programs_answer(${prefix}/bin)
# The static libraries are large; nothing else reads this prefix.
file(REMOVE_RECURSE ${WORK_DIR})
