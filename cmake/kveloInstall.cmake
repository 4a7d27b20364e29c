# kveloInstall.cmake: what `cmake --install` lays out under a prefix P: the versioned shared
# library in P/lib, the public headers in a folder of their own (P/include/kvelo), the CMake
# package (P/lib/cmake/kvelo, target kvelo::kvelo) and P/lib/pkgconfig/kvelo.pc.
include(CMakePackageConfigHelpers)

set(KVELO_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/kvelo)

# libkvelo.so.X.Y.Z, its SONAME link libkvelo.so.X and the development link libkvelo.so.
# (The target's install-interface include folders are include/kvelo and include.)
install(TARGETS kvelo EXPORT kveloTargets LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})

# Every header of include/ is public (the sources' private headers stay in src/); they
# include each other by bare name, so they keep one flat folder.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/kvelo
        FILES_MATCHING PATTERN "*.h")
install(FILES ${KVELO_GENERATED_INCLUDE}/kvelo_version.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/kvelo)

install(EXPORT kveloTargets NAMESPACE kvelo:: DESTINATION ${KVELO_INSTALL_CMAKEDIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/kveloConfig.cmake.in
  ${PROJECT_BINARY_DIR}/cmake/kveloConfig.cmake INSTALL_DESTINATION ${KVELO_INSTALL_CMAKEDIR})
# One major version is one SONAME: any release of the same major number satisfies a request.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/cmake/kveloConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/cmake/kveloConfig.cmake
              ${PROJECT_BINARY_DIR}/cmake/kveloConfigVersion.cmake
        DESTINATION ${KVELO_INSTALL_CMAKEDIR})

# The .pc file finds the prefix from its own place, as the CMake package does, so that the
# prefix given to `cmake --install --prefix` (or a moved tree) is the one it names.
file(RELATIVE_PATH KVELO_PC_PREFIX_FROM_PCDIR ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig
     ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" KVELO_PC_PREFIX_FROM_PCDIR "${KVELO_PC_PREFIX_FROM_PCDIR}")
file(RELATIVE_PATH KVELO_PC_LIBDIR ${CMAKE_INSTALL_PREFIX} ${CMAKE_INSTALL_FULL_LIBDIR})
file(RELATIVE_PATH KVELO_PC_INCLUDEDIR ${CMAKE_INSTALL_PREFIX} ${CMAKE_INSTALL_FULL_INCLUDEDIR})
configure_file(${PROJECT_SOURCE_DIR}/cmake/kvelo.pc.in ${PROJECT_BINARY_DIR}/cmake/kvelo.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/cmake/kvelo.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
