# Installs the libraries, their headers (under include/velar, in the source
# layout so that includes read the same as in this tree) and a CMake package,
# so another agent's build can find_package(VelarL3Vfi) and link
# Velar::L3Vfi; the package brings velar_add_adaptor_plugin
# (cmake/VelarPlugin.cmake). For adaptor authors: the guide
# (share/doc/velar/adaptors.md) and the example adaptor as source
# (share/velar/examples/logchip).
include(CMakePackageConfigHelpers)

# The table library finds the platform library beside it, whoever opens it.
set_target_properties(VelarL3Vfi VelarSimulation PROPERTIES INSTALL_RPATH "$ORIGIN")

install(TARGETS VelarPlatform VelarL3Vfi EXPORT VelarL3VfiTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/velar)

# Every header but the ones a facility keeps to itself (its internal/ folder,
# and the table's introspection/ dispatch), which no installed header includes.
foreach(dir platform AsicSwTable VelarL3Vfi)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/${dir}/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/velar/${dir}
    FILES_MATCHING PATTERN "*.h" PATTERN "internal" EXCLUDE PATTERN "introspection" EXCLUDE)
endforeach()

# The stand-in next-hop table, a component of its own: test agents make next
# hops with it; a real agent's install can leave it out
# (cmake --install ... --component simulation installs just this).
install(TARGETS VelarSimulation EXPORT VelarSimulationTargets COMPONENT simulation
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/velar)
install(FILES ${PROJECT_SOURCE_DIR}/simulation/NeededEntryTable.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/velar/simulation COMPONENT simulation)
install(EXPORT VelarSimulationTargets NAMESPACE Velar::
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/VelarL3Vfi COMPONENT simulation)

install(EXPORT VelarL3VfiTargets NAMESPACE Velar::
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/VelarL3Vfi)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/VelarL3VfiConfig.cmake.in
  ${PROJECT_BINARY_DIR}/VelarL3VfiConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/VelarL3Vfi)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/VelarL3VfiConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/VelarL3VfiConfig.cmake
  ${PROJECT_BINARY_DIR}/VelarL3VfiConfigVersion.cmake ${PROJECT_SOURCE_DIR}/cmake/VelarPlugin.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/VelarL3Vfi)

install(FILES ${PROJECT_SOURCE_DIR}/docs/adaptors.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/velar)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/logchip DESTINATION ${CMAKE_INSTALL_DATADIR}/velar/examples)
