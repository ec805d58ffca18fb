# The installed tree: a CMake package (find_package(Quarn) -> Quarn::nt,
# Quarn::i18n) and pkg-config files for both libraries.
include(CMakePackageConfigHelpers)

install(EXPORT QuarnTargets NAMESPACE Quarn:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Quarn)
configure_package_config_file(cmake/QuarnConfig.cmake.in ${CMAKE_CURRENT_BINARY_DIR}/QuarnConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Quarn)
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/QuarnConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/QuarnConfig.cmake ${CMAKE_CURRENT_BINARY_DIR}/QuarnConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Quarn)

file(RELATIVE_PATH QUARN_PC_TO_PREFIX "/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/")
foreach(pc quarnnt quarni18n)
  configure_file(cmake/${pc}.pc.in ${CMAKE_CURRENT_BINARY_DIR}/${pc}.pc @ONLY)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${pc}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endforeach()
