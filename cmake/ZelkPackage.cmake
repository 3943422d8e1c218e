# The package ZelkToolkit, usable from the build tree and from an install prefix:
#   find_package(ZelkToolkit CONFIG REQUIRED)
#   target_link_libraries(app PRIVATE Zelk::toolkit)
include(CMakePackageConfigHelpers)

get_property(zelkTargets GLOBAL PROPERTY ZELK_EXPORTED_TARGETS)
set(zelkCMakeDir ${CMAKE_INSTALL_LIBDIR}/cmake/ZelkToolkit)

install(TARGETS ${zelkTargets} EXPORT ZelkToolkitTargets
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
    INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/zelk)
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
