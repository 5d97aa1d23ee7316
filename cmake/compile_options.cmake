# Options shared by every target of the project. IEEE arithmetic throughout:
# the results are fixed to the bit, so no fast-math.
add_library(regviafft_options INTERFACE)
target_compile_features(regviafft_options INTERFACE cxx_std_17)
set_target_properties(regviafft_options PROPERTIES EXPORT_NAME options)
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  target_compile_options(regviafft_options INTERFACE -Wall -Wextra -ffp-contract=off)
  if(REGVIAFFT_WARNINGS_AS_ERRORS)
    target_compile_options(regviafft_options INTERFACE -Werror)
  endif()
  # Coverage for the fuzzer everywhere; its driver is linked by the targets.
  if(REGVIAFFT_BUILD_FUZZ)
    target_compile_options(regviafft_options INTERFACE -fsanitize=fuzzer-no-link)
  endif()
  if(REGVIAFFT_SANITIZE)
    target_compile_options(regviafft_options INTERFACE
      -fsanitize=${REGVIAFFT_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
    target_link_options(regviafft_options INTERFACE -fsanitize=${REGVIAFFT_SANITIZE})
  endif()
endif()
