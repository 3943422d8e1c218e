# The package ZelkToolkit, usable from the build tree and from an install prefix:
#   find_package(ZelkToolkit CONFIG REQUIRED [COMPONENTS platform toolkit ...])
#   target_link_libraries(app PRIVATE Zelk::toolkit)
include(CMakePackageConfigHelpers)

get_property(zelkTargets GLOBAL PROPERTY ZELK_EXPORTED_TARGETS)
set(zelkCMakeDir ${CMAKE_INSTALL_LIBDIR}/cmake/ZelkToolkit)

install(TARGETS ${zelkTargets} EXPORT ZelkToolkitTargets
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
get_property(zelkHeaders GLOBAL PROPERTY ZELK_HEADERS)
get_property(zelkPublicHeaders GLOBAL PROPERTY ZELK_PUBLIC_HEADERS)
install(CODE "
    set(ZELK_HEADERS \"${zelkHeaders}\")
    set(ZELK_PUBLIC_HEADERS \"${zelkPublicHeaders}\")
    set(ZELK_STAGING_DIR \"${PROJECT_BINARY_DIR}/installed-headers\")
    set(ZELK_INCLUDE_DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_INCLUDEDIR}/zelk\")
    include(\"${PROJECT_SOURCE_DIR}/cmake/ZelkInstallHeaders.cmake\")")
install(EXPORT ZelkToolkitTargets NAMESPACE Zelk:: DESTINATION ${zelkCMakeDir})
export(EXPORT ZelkToolkitTargets NAMESPACE Zelk::
    FILE ${PROJECT_BINARY_DIR}/ZelkToolkitTargets.cmake)

configure_package_config_file(cmake/ZelkToolkitConfig.cmake.in
    ${PROJECT_BINARY_DIR}/ZelkToolkitConfig.cmake
    INSTALL_DESTINATION ${zelkCMakeDir})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/ZelkToolkitConfigVersion.cmake
    COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/ZelkToolkitConfig.cmake
    ${PROJECT_BINARY_DIR}/ZelkToolkitConfigVersion.cmake
    DESTINATION ${zelkCMakeDir})
