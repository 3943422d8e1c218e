# Unpacks the package that BuildDebianPackage.cmake made into a temporary folder and runs
# the programs from there, as they would run from /usr after `apt install`.
include(${CMAKE_CURRENT_LIST_DIR}/InstallTestSupport.cmake)

zelk_skip_without(dpkg-deb)
zelk_skip_without(dpkg-shlibdeps)
file(GLOB packages ${WORK_DIR}/*.deb)
if(NOT packages)
    message(FATAL_ERROR "no package in ${WORK_DIR}")
endif()
set(root ${WORK_DIR}/unpacked)
file(REMOVE_RECURSE ${root})
zelk_run(out 0 ${ZELK_TOOL_dpkg-deb} -x ${packages} ${root})

zelk_run(name 0 ${ZELK_TOOL_dpkg-deb} -f ${packages} Package)
zelk_expect_match("${name}" "^zelk-ae-client\n$" "package name")
zelk_run(version 0 ${ZELK_TOOL_dpkg-deb} -f ${packages} Version)
zelk_expect_match("${version}" "^${VERSION}\n$" "package version")
# Read from the binaries by dpkg-shlibdeps, plus the window system plugins named by hand.
zelk_run(depends 0 ${ZELK_TOOL_dpkg-deb} -f ${packages} Depends)
zelk_expect_match("${depends}" "libqt6widgets6 \\(>=" "package dependencies")
zelk_expect_match("${depends}" "qt6-qpa-plugins" "package dependencies")

zelk_check_installed_layout(${root}/usr)
zelk_check_programs_answer(${root}/usr/bin)
