# The build tree's zelk/<layer>/<header>.h, each forwarding to the header in the sources.
set(ZELK_FORWARD_INCLUDE_DIR ${PROJECT_BINARY_DIR}/include)

# Compile settings shared by every target of the project. They are applied privately
# to each target, so consumers of the exported package do not inherit them.
function(zelk_apply_options target)
    target_compile_definitions(${target} PRIVATE
        QT_NO_CAST_TO_ASCII
        QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
        QT_NO_KEYWORDS)
    target_compile_options(${target} PRIVATE -Wall -Wextra $<$<BOOL:${ZELK_WERROR}>:-Werror>)
endfunction()

# zelk_add_library(<name> <export-name> DIRS <folders...> LIBS <public libs...>
#                  PUBLIC_HEADERS <headers...>)
# Builds one layer from every source in its folders; each folder is a public include
# directory, so headers are included by their module name in the project. A layer with
# no sources yet is an interface library that still carries its include folders.
#
# The package installs only the layer's PUBLIC_HEADERS and what they include, into
# include/zelk/<export-name>/, and consumers include them by that path
# (#include <zelk/toolkit/ZelkComn.h>), so no name of ours can clash with one of theirs.
# The build tree offers the same paths through forwarding headers.
function(zelk_add_library name exportName)
    cmake_parse_arguments(ARG "" "" "DIRS;LIBS;PUBLIC_HEADERS" ${ARGN})
    set(sources)
    set(headers)
    set(includeDirs)
    foreach(dir IN LISTS ARG_DIRS)
        file(GLOB dirSources CONFIGURE_DEPENDS
            ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.cpp
            ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.ui
            ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.qrc)
        file(GLOB dirHeaders CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.h)
        list(APPEND sources ${dirSources})
        list(APPEND headers ${dirHeaders})
        list(APPEND includeDirs $<BUILD_INTERFACE:${CMAKE_CURRENT_SOURCE_DIR}/${dir}>)
    endforeach()
    if(sources)
        add_library(${name} STATIC ${sources} ${headers})
        set(scope PUBLIC)
        zelk_apply_options(${name})
    else()
        add_library(${name} INTERFACE)
        set(scope INTERFACE)
    endif()
    add_library(Zelk::${exportName} ALIAS ${name})
    set_target_properties(${name} PROPERTIES EXPORT_NAME ${exportName})
    target_include_directories(${name} ${scope} ${includeDirs}
        $<BUILD_INTERFACE:${ZELK_FORWARD_INCLUDE_DIR}>
        $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
    target_link_libraries(${name} ${scope} ${ARG_LIBS})

    foreach(header IN LISTS headers)
        get_filename_component(headerName ${header} NAME)
        file(CONFIGURE OUTPUT ${ZELK_FORWARD_INCLUDE_DIR}/zelk/${exportName}/${headerName}
            CONTENT "#pragma once\n#include \"${header}\"\n")
        set_property(GLOBAL APPEND PROPERTY ZELK_HEADERS "${exportName}=${header}")
    endforeach()
    foreach(header IN LISTS ARG_PUBLIC_HEADERS)
        set(path)
        foreach(dir IN LISTS ARG_DIRS)
            if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/${header})
                set(path ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/${header})
            endif()
        endforeach()
        if(NOT path)
            message(FATAL_ERROR "${name}: public header ${header} is not in ${ARG_DIRS}")
        endif()
        set_property(GLOBAL APPEND PROPERTY ZELK_PUBLIC_HEADERS ${path})
    endforeach()
    set_property(GLOBAL APPEND PROPERTY ZELK_EXPORTED_TARGETS ${name})
endfunction()
