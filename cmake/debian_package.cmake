# `cpack -G DEB` in the build folder makes regviafft_<version>_<arch>.deb of
# everything installed, under /usr. The shared libraries it links become
# dependencies by dpkg-shlibdeps; the Python module adds the Python it was
# built for and numpy; the element is used through gst-launch-1.0.
set(CPACK_PACKAGE_NAME regviafft)
set(CPACK_PACKAGE_VENDOR "the regviafft developers")
set(CPACK_PACKAGE_CONTACT "the regviafft developers <regviafft@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "video stabilisation: library, command line, Python module and GStreamer element")
set(CPACK_PACKAGE_DESCRIPTION
  "Steadies shaky video by phase correlation of gradient-magnitude templates. Holds the shared library with \
its headers, CMake and pkg-config files; regviafft-stabilize, a command line for video files; the Python \
module regviafft; and the GStreamer element regviafftstab.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(depends "")
if(REGVIAFFT_PYTHON_VERSION)
  string(REPLACE "." ";" python_version "${REGVIAFFT_PYTHON_VERSION}")
  list(GET python_version 0 major)
  list(GET python_version 1 minor)
  math(EXPR next_minor "${minor} + 1")
  set(depends "python3 (>= ${major}.${minor}), python3 (<< ${major}.${next_minor}), python3-numpy")
endif()
set(CPACK_DEBIAN_PACKAGE_DEPENDS "${depends}")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "gstreamer1.0-tools")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS
  "python3-distributed, gstreamer1.0-plugins-good, gstreamer1.0-plugins-ugly, gstreamer1.0-libav")
set(CPACK_GENERATOR DEB)
include(CPack)
