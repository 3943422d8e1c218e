# Helpers of the install checks, which run as `cmake -P` scripts. The checks take
# PROGRAMS (the program names, comma-separated) and VERSION from their test.

# A check that needs a tool the machine lacks says so in a line that CTest reads as
# "skipped" (SKIP_REGULAR_EXPRESSION), and ends.
macro(zelk_skip_without tool)
    find_program(ZELK_TOOL_${tool} ${tool})
    if(NOT ZELK_TOOL_${tool})
        message(STATUS "zelk-install-check skipped: ${tool} is not installed")
        return()
    endif()
endmacro()

# zelk_run(<output-var> <expected-status> <command...>): runs the command, fails the
# check when it ends with another status, and returns standard output and error together.
function(zelk_run outVar expected)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
    if(NOT "${rc}" STREQUAL "${expected}")
        string(REPLACE ";" " " shown "${ARGN}")
        message(FATAL_ERROR "'${shown}' ended with ${rc}, expected ${expected}:\n${out}")
    endif()
    set(${outVar} "${out}" PARENT_SCOPE)
endfunction()

function(zelk_expect_match text regex what)
    if(NOT text MATCHES "${regex}")
        message(FATAL_ERROR "${what}: expected a match for '${regex}' in:\n${text}")
    endif()
endfunction()

# What an installed tree must hold below <root> (a prefix such as /usr): exactly the
# programs in bin (no test or benchmark program), the desktop entry, the icon and a
# manual page for every program.
function(zelk_check_installed_layout root)
    string(REPLACE "," ";" programs "${PROGRAMS}")
    file(GLOB installed RELATIVE ${root}/bin ${root}/bin/*)
    list(SORT installed)
    list(SORT programs)
    if(NOT installed STREQUAL programs)
        message(FATAL_ERROR "${root}/bin holds '${installed}', expected '${programs}'")
    endif()
    set(expected share/applications/zelk-ae-client.desktop
        share/icons/hicolor/scalable/apps/zelk-ae-client.svg)
    foreach(program IN LISTS programs)
        list(APPEND expected share/man/man1/${program}.1.gz)
    endforeach()
    foreach(file IN LISTS expected)
        if(NOT EXISTS ${root}/${file})
            message(FATAL_ERROR "${root}/${file} was not installed")
        endif()
    endforeach()
    file(GLOB_RECURSE strays RELATIVE ${root} ${root}/*_tests ${root}/*bench_* ${root}/*testmain*
        ${root}/*gtest* ${root}/*gmock* ${root}/*benchmark*)
    if(strays)
        message(FATAL_ERROR "test or benchmark files were installed: ${strays}")
    endif()
endfunction()

# Runs the installed programs in <bindir> the way a user's first look does: --help and
# --version, the desktop program without any display.
function(zelk_check_programs_answer bindir)
    set(noDisplay ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY
        QT_QPA_PLATFORM=xcb)
    zelk_run(out 0 ${noDisplay} ${bindir}/zelk-ae-monitor --help)
    zelk_expect_match("${out}" "--server <NAME>" "zelk-ae-monitor --help")
    zelk_run(out 0 ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
        ${bindir}/zelk-ae-client --version)
    zelk_expect_match("${out}" "^zelk-ae-client ${VERSION}\n$" "zelk-ae-client --version")
    zelk_run(out 0 ${noDisplay} ${bindir}/zelk-ae-client --help)
    zelk_expect_match("${out}" "--server ProgID" "zelk-ae-client --help")
    zelk_run(out 64 ${noDisplay} ${bindir}/zelk-ae-client --no-such-option)
    zelk_expect_match("${out}" "no-such-option" "zelk-ae-client --no-such-option")
endfunction()
