# Where each part is installed, every folder relative to the prefix, so that
# `cmake --install <build> --prefix P` puts everything under P and nothing
# elsewhere; and the run paths that let each installed binary find the
# shared library in P's library folder, wherever P is.
include(GNUInstallDirs)

set(REGVIAFFT_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/regviafft CACHE STRING
  "Where the CMake package is installed, relative to the prefix")

# Gives the binary installed in `dir` a run path to the library folder.
function(regviafft_install_rpath target dir)
  file(RELATIVE_PATH to_libdir /prefix/${dir} /prefix/${CMAKE_INSTALL_LIBDIR})
  set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN/${to_libdir}")
endfunction()
