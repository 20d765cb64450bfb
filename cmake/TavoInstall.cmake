# Installation: the four libraries, their headers, an exported CMake package with a version file,
# and one pkg-config file per library.

include(CMakePackageConfigHelpers)

set(TAVO_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/internal-tavo-vm-api)

install(TARGETS quil-core quil-std-bindings quil-remote
  EXPORT internal-tavo-vm-api-targets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  FILE_SET HEADERS DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(TARGETS internal-tavo-vm-api
  EXPORT internal-tavo-vm-api-targets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  FILE_SET HEADERS DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
  FILE_SET generated DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

install(EXPORT internal-tavo-vm-api-targets
  NAMESPACE TavoVm::
  DESTINATION ${TAVO_CMAKE_DIR})

configure_package_config_file(
  ${CMAKE_CURRENT_LIST_DIR}/internal-tavo-vm-api-config.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/internal-tavo-vm-api-config.cmake
  INSTALL_DESTINATION ${TAVO_CMAKE_DIR})
write_basic_package_version_file(
  ${CMAKE_CURRENT_BINARY_DIR}/internal-tavo-vm-api-config-version.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES
  ${CMAKE_CURRENT_BINARY_DIR}/internal-tavo-vm-api-config.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/internal-tavo-vm-api-config-version.cmake
  DESTINATION ${TAVO_CMAKE_DIR})

# pkg-config: one file per library, each requiring the one below it; further libraries it needs
# that have no pkg-config file of their own follow as linker flags.
function(tavo_pkg_config name description requires)
  set(PC_NAME ${name})
  set(PC_DESCRIPTION ${description})
  set(PC_REQUIRES ${requires})
  set(PC_LIBS "${ARGN}")
  configure_file(${CMAKE_CURRENT_LIST_DIR}/library.pc.in ${CMAKE_CURRENT_BINARY_DIR}/${name}.pc @ONLY)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${name}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endfunction()
tavo_pkg_config(quil-core "Quil framework core: values, definitions, provider types" "")
tavo_pkg_config(quil-std-bindings "Quil standard errors" "quil-core")
tavo_pkg_config(internal-tavo-vm-api "Typed bindings for the Tavo VM management API" "quil-std-bindings")
# Its headers reach Boost.JSON, whose library ships no pkg-config file.
tavo_pkg_config(quil-remote "Quil JSON mapping and JSON-RPC transport over HTTP" "quil-std-bindings"
                -lboost_json)

# tavo-vm and its bash completion. It serves the simulated host, whose library comes along
# (without headers: it is no part of the API).
if(TARGET tavo-vm)
  install(TARGETS tavo-vm tavo-vm-simhost
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/simhost/tool/tavo-vm.bash
    DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
    RENAME tavo-vm)
endif()
