# Compile settings shared by every target of the project. They are applied privately
# to each target, so consumers of the exported package do not inherit them.
function(zelk_apply_options target)
    target_compile_definitions(${target} PRIVATE
        QT_NO_CAST_TO_ASCII
        QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
        QT_NO_KEYWORDS)
    target_compile_options(${target} PRIVATE -Wall -Wextra $<$<BOOL:${ZELK_WERROR}>:-Werror>)
endfunction()

# zelk_add_library(<name> <export-name> DIRS <folders...> LIBS <public libs...>)
# Builds one layer from every source in its folders; each folder is a public include
# directory, so headers are included by their module name. A layer with no sources
# yet is an interface library that still carries its include folders.
function(zelk_add_library name exportName)
    cmake_parse_arguments(ARG "" "" "DIRS;LIBS" ${ARGN})
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
        $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/zelk>)
    target_link_libraries(${name} ${scope} ${ARG_LIBS})
    install(FILES ${headers} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/zelk)
    set_property(GLOBAL APPEND PROPERTY ZELK_EXPORTED_TARGETS ${name})
endfunction()
