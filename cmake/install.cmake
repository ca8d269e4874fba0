# Installation: the shared library, both public headers, a CMake package
# (find_package(zekalg) gives zekalg::zekalg) and a pkg-config file; where
# the tools are built, their shared library and tools.h too (zekalg::tools,
# the COMPONENTS name `tools`, and zekalg-tools.pc).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(ZEKALG_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/zekalg)

install(TARGETS zekalg EXPORT zekalgTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES include/zekalg/zekalg.h include/zekalg/zekalg.hpp
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/zekalg)
if(TARGET zekalg_tools_shared)
  install(TARGETS zekalg_tools_shared EXPORT zekalgTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES include/zekalg/tools.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/zekalg)
endif()

install(EXPORT zekalgTargets NAMESPACE zekalg:: DESTINATION ${ZEKALG_CMAKE_DIR})
configure_package_config_file(cmake/zekalgConfig.cmake.in
  ${PROJECT_BINARY_DIR}/zekalgConfig.cmake
  INSTALL_DESTINATION ${ZEKALG_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/zekalgConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/zekalgConfig.cmake ${PROJECT_BINARY_DIR}/zekalgConfigVersion.cmake
  DESTINATION ${ZEKALG_CMAKE_DIR})

# The .pc file takes its directories relative to ${prefix}, so an installed
# tree can be moved as a whole.
file(RELATIVE_PATH ZEKALG_PC_UP /p/${CMAKE_INSTALL_LIBDIR}/pkgconfig /p)
configure_file(cmake/zekalg.pc.in ${PROJECT_BINARY_DIR}/zekalg.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/zekalg.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
if(TARGET zekalg_tools_shared)
  configure_file(cmake/zekalg-tools.pc.in ${PROJECT_BINARY_DIR}/zekalg-tools.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/zekalg-tools.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endif()
