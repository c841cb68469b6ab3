# Installation: the headers (vesk.h, and vesk.hpp for C++), libvesk.so (SONAME libvesk.so.0), libvesk.a, vesk.pc and a CMake
# package exporting vesk::vesk.
include(CMakePackageConfigHelpers)

install(FILES ${VESK_PUBLIC_INCLUDE_DIR}/vesk.h ${VESK_PUBLIC_INCLUDE_DIR}/vesk.hpp DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(TARGETS vesk EXPORT veskTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${VESK_STATIC_ARCHIVE} DESTINATION ${CMAKE_INSTALL_LIBDIR})

set(VESK_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/vesk)
install(EXPORT veskTargets NAMESPACE vesk:: DESTINATION ${VESK_CMAKE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/veskConfig.cmake.in
  ${PROJECT_BINARY_DIR}/veskConfig.cmake INSTALL_DESTINATION ${VESK_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/veskConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/veskConfig.cmake ${PROJECT_BINARY_DIR}/veskConfigVersion.cmake
  DESTINATION ${VESK_CMAKE_DIR})

# pkg-config: paths relative to the installed prefix, from the same GNUInstallDirs variables.
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(VESK_PC_LIBDIR "${CMAKE_INSTALL_LIBDIR}")
else()
  set(VESK_PC_LIBDIR "\${exec_prefix}/${CMAKE_INSTALL_LIBDIR}")
endif()
if(IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  set(VESK_PC_INCLUDEDIR "${CMAKE_INSTALL_INCLUDEDIR}")
else()
  set(VESK_PC_INCLUDEDIR "\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}")
endif()
# The prefix is the one in force when installing (cmake --install --prefix P), not the configured
# one: substitute everything else now and the prefix in an install step.
set(VESK_PC_PREFIX "@VESK_PC_PREFIX@")
configure_file(${PROJECT_SOURCE_DIR}/cmake/vesk.pc.in ${PROJECT_BINARY_DIR}/vesk.pc.in @ONLY)
install(CODE "
  set(VESK_PC_PREFIX \"\${CMAKE_INSTALL_PREFIX}\")
  configure_file(\"${PROJECT_BINARY_DIR}/vesk.pc.in\" \"${PROJECT_BINARY_DIR}/vesk.pc\" @ONLY)
")
install(FILES ${PROJECT_BINARY_DIR}/vesk.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
