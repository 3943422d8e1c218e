# The desktop entry as the desktop environments' own checker sees it.
include(${CMAKE_CURRENT_LIST_DIR}/InstallTestSupport.cmake)

zelk_skip_without(desktop-file-validate)
zelk_run(out 0 ${ZELK_TOOL_desktop-file-validate} ${DESKTOP_FILE})
# Warnings and hints do not change the status; they are faults all the same.
if(NOT out STREQUAL "")
    message(FATAL_ERROR "desktop-file-validate ${DESKTOP_FILE}:\n${out}")
endif()
