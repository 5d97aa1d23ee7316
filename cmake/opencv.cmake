# The image library's core and image-processing modules, found from Debian's
# split -dev packages (which ship no package configuration of their own).
if(NOT TARGET regviafft_opencv)
  find_path(REGVIAFFT_OPENCV_INCLUDE_DIR opencv2/core/core_c.h PATH_SUFFIXES opencv4 REQUIRED)
  find_library(REGVIAFFT_OPENCV_CORE opencv_core REQUIRED)
  find_library(REGVIAFFT_OPENCV_IMGPROC opencv_imgproc REQUIRED)
  add_library(regviafft_opencv INTERFACE)
  target_include_directories(regviafft_opencv SYSTEM INTERFACE ${REGVIAFFT_OPENCV_INCLUDE_DIR})
  target_link_libraries(regviafft_opencv INTERFACE ${REGVIAFFT_OPENCV_IMGPROC} ${REGVIAFFT_OPENCV_CORE})
endif()
