# Runs at install time (install(CODE)): installs the public headers and every header they
# include, each into include/zelk/<layer>/. In the sources a header includes another by
# its bare name, found through the layer's include folders; an installed header reaches
# one of another layer by a relative path ("../platform/objbase.h"), so the installed
# headers need no include folder but include/ and never pick up a consumer's header.
#
# Input: ZELK_HEADERS (every header as "<layer>=<path>"), ZELK_PUBLIC_HEADERS (paths),
# ZELK_STAGING_DIR (where the rewritten copies are written) and ZELK_INCLUDE_DESTINATION.
cmake_policy(VERSION 3.25) # an install script starts with the oldest policies
foreach(entry IN LISTS ZELK_HEADERS)
    string(REGEX MATCH "^([^=]+)=(.+)$" _ "${entry}")
    get_filename_component(headerName "${CMAKE_MATCH_2}" NAME)
    set("zelkLayer_${headerName}" ${CMAKE_MATCH_1})
    set("zelkPath_${headerName}" ${CMAKE_MATCH_2})
endforeach()

set(queue)
foreach(path IN LISTS ZELK_PUBLIC_HEADERS)
    get_filename_component(headerName "${path}" NAME)
    list(APPEND queue ${headerName})
endforeach()
set(done)
while(queue)
    list(POP_FRONT queue headerName)
    if(headerName IN_LIST done)
        continue()
    endif()
    list(APPEND done ${headerName})
    set(layer ${zelkLayer_${headerName}})
    file(READ "${zelkPath_${headerName}}" text)
    string(REGEX MATCHALL "#[ \t]*include[ \t]*\"[^\"]+\"" includes "${text}")
    foreach(include IN LISTS includes)
        string(REGEX MATCH "\"([^\"]+)\"" _ "${include}")
        set(included ${CMAKE_MATCH_1})
        if(NOT DEFINED "zelkLayer_${included}")
            message(FATAL_ERROR "${headerName} includes \"${included}\", no header of the toolkit")
        endif()
        list(APPEND queue ${included})
        if(NOT zelkLayer_${included} STREQUAL layer)
            string(REPLACE "${include}" "#include \"../${zelkLayer_${included}}/${included}\""
                text "${text}")
        endif()
    endforeach()
    set(staged "${ZELK_STAGING_DIR}/${layer}/${headerName}")
    file(WRITE "${staged}" "${text}")
    file(INSTALL DESTINATION "${ZELK_INCLUDE_DESTINATION}/${layer}" TYPE FILE FILES "${staged}")
endwhile()
