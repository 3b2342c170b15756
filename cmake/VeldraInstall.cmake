# Installs the shared library, its public header, a CMake package (Veldra::veldra) and veldra.pc.
include(CMakePackageConfigHelpers)

install(TARGETS veldra EXPORT VeldraTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/veldra DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT VeldraTargets NAMESPACE Veldra:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Veldra)

configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/VeldraConfig.cmake.in
  ${PROJECT_BINARY_DIR}/VeldraConfig.cmake INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Veldra)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/VeldraConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/VeldraConfig.cmake ${PROJECT_BINARY_DIR}/VeldraConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Veldra)

# veldra.pc finds its prefix relative to its own place, so an installed tree can be moved.
file(RELATIVE_PATH VELDRA_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
configure_file(${PROJECT_SOURCE_DIR}/cmake/veldra.pc.in ${PROJECT_BINARY_DIR}/veldra.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/veldra.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
