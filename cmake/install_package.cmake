# What an installed tree holds besides the targets, which install themselves
# where they are made: the CMake package, the pkg-config file, the licence,
# and the Debian package that `cpack -G DEB` makes of the whole tree.
include(CMakePackageConfigHelpers)

install(EXPORT regviafftTargets NAMESPACE regviafft:: DESTINATION ${REGVIAFFT_INSTALL_CMAKEDIR}
  COMPONENT development)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/templates/regviafftConfig.cmake.in
  ${PROJECT_BINARY_DIR}/package/regviafftConfig.cmake INSTALL_DESTINATION ${REGVIAFFT_INSTALL_CMAKEDIR})
# 0.x releases promise nothing to each other; from 1.0 the major version does.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/package/regviafftConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/package/regviafftConfig.cmake
  ${PROJECT_BINARY_DIR}/package/regviafftConfigVersion.cmake
  DESTINATION ${REGVIAFFT_INSTALL_CMAKEDIR} COMPONENT development)

file(RELATIVE_PATH REGVIAFFT_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
string(REGEX REPLACE "/$" "" REGVIAFFT_PC_TO_PREFIX "${REGVIAFFT_PC_TO_PREFIX}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/templates/regviafft.pc.in ${PROJECT_BINARY_DIR}/package/regviafft.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/package/regviafft.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
  COMPONENT development)

# The licence as LICENSE and as Debian's machine-readable copyright file,
# both in the documentation folder (/usr/share/doc/regviafft in the package).
file(STRINGS ${PROJECT_SOURCE_DIR}/LICENSE REGVIAFFT_COPYRIGHT REGEX "^Copyright ")
string(REGEX REPLACE "^Copyright \\(c\\) " "" REGVIAFFT_COPYRIGHT "${REGVIAFFT_COPYRIGHT}")
file(READ ${PROJECT_SOURCE_DIR}/LICENSE licence)
string(REGEX REPLACE "\n$" "" licence "${licence}")
string(REGEX REPLACE "\n\n" "\n.\n" licence "${licence}")
string(REPLACE "\n" "\n " REGVIAFFT_LICENSE_TEXT " ${licence}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/templates/copyright.in ${PROJECT_BINARY_DIR}/package/copyright @ONLY)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_BINARY_DIR}/package/copyright
  DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT runtime)

# An embedding project packages itself.
if(PROJECT_IS_TOP_LEVEL)
  include(${PROJECT_SOURCE_DIR}/cmake/debian_package.cmake)
endif()
