# cmake --install: the libraries and libquvex_platform.so, the public headers,
# a CMake package (find_package(Quvex) gives Quvex::Platform and
# Quvex::<library>) and pkg-config files (quvex, quvex-<library>).
#
# The simulated cameras are the separate component Simulator, left out of a
# plain install (cmake --install <build> --component Simulator): a host that
# wants to run without a camera gets Quvex::Simulator and quvex-simulator.pc.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(QUVEX_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Quvex)
get_property(QUVEX_DELIVERABLES GLOBAL PROPERTY QUVEX_DELIVERABLES)

set_target_properties(quvex_platform PROPERTIES EXPORT_NAME Platform)
target_include_directories(quvex_platform INTERFACE
  $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
foreach(library IN LISTS QUVEX_DELIVERABLES)
  # A host that links a library also uses the platform's notify windows; the
  # installed library finds libquvex_platform.so next to itself.
  target_link_libraries(${library} INTERFACE quvex_platform)
  set_target_properties(${library} PROPERTIES INSTALL_RPATH "$ORIGIN")
endforeach()

install(TARGETS quvex_platform ${QUVEX_DELIVERABLES} EXPORT QuvexTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/quvex DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
  FILES_MATCHING PATTERN "*.h")
install(EXPORT QuvexTargets NAMESPACE Quvex:: DESTINATION ${QUVEX_PACKAGE_DIR})

if(TARGET quvex_sim)
  set_target_properties(quvex_sim PROPERTIES EXPORT_NAME Simulator)
  # Installed as quvex/sim/: a host includes "sim/usb_camera.h" as the tree does.
  target_include_directories(quvex_sim INTERFACE
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/quvex>)
  install(TARGETS quvex_sim EXPORT QuvexSimulatorTargets
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Simulator EXCLUDE_FROM_ALL)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/sim/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/quvex/sim
    COMPONENT Simulator EXCLUDE_FROM_ALL FILES_MATCHING PATTERN "*.h")
  install(EXPORT QuvexSimulatorTargets NAMESPACE Quvex:: DESTINATION ${QUVEX_PACKAGE_DIR}
    COMPONENT Simulator EXCLUDE_FROM_ALL)
endif()

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/QuvexConfig.cmake.in
  ${PROJECT_BINARY_DIR}/QuvexConfig.cmake INSTALL_DESTINATION ${QUVEX_PACKAGE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/QuvexConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/QuvexConfig.cmake ${PROJECT_BINARY_DIR}/QuvexConfigVersion.cmake
  DESTINATION ${QUVEX_PACKAGE_DIR})

# pkg-config files find the prefix from where they lie, so that an install
# under any --prefix works.
string(REGEX REPLACE "[^/]+" ".." QUVEX_PC_UP ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
function(quvex_pkg_config file description requires cflags libs)
  set(QUVEX_PC_NAME ${file})
  set(QUVEX_PC_DESCRIPTION ${description})
  set(QUVEX_PC_REQUIRES ${requires})
  set(QUVEX_PC_CFLAGS ${cflags})
  set(QUVEX_PC_LIBS ${libs})
  configure_file(${PROJECT_SOURCE_DIR}/cmake/quvex.pc.in ${PROJECT_BINARY_DIR}/pkgconfig/${file}.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/pkgconfig/${file}.pc
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig ${ARGN})
endfunction()

quvex_pkg_config(quvex "Quvex SDK: public headers and the platform library of a host"
  "" "-I\${includedir}" "-lquvex_platform")
foreach(library IN LISTS QUVEX_DELIVERABLES)
  string(TOLOWER ${library} lower)
  quvex_pkg_config(quvex-${lower} "Quvex camera library ${library}, linked directly"
    quvex "" "-l${library}")
endforeach()
if(TARGET quvex_sim)
  # The cameras are C++ objects in a static library: a host links the C++
  # runtime it needs, also when a C compiler drives the link.
  quvex_pkg_config(quvex-simulator
    "Quvex simulated USB, LAN and GigE cameras (C++ objects)" quvex
    "-I\${includedir}/quvex" "-lquvex_sim -lstdc++ -pthread"
    COMPONENT Simulator EXCLUDE_FROM_ALL)
endif()
