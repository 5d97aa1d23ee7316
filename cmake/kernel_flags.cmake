# Instruction-set flags of the kernel units, by file name: each unit compiles
# the same kernels for one instruction set, and only the units get flags, so
# nothing that runs before the processor check can use a newer instruction.
set(REGVIAFFT_KERNEL_UNITS scalar.cpp)
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$" AND CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  set(REGVIAFFT_X86_KERNELS ON)
  list(APPEND REGVIAFFT_KERNEL_UNITS sse2.cpp avx.cpp avx2.cpp avx512.cpp)
  set(REGVIAFFT_KERNEL_FLAGS_sse2.cpp -msse2)
  set(REGVIAFFT_KERNEL_FLAGS_avx.cpp -mavx)
  set(REGVIAFFT_KERNEL_FLAGS_avx2.cpp -mavx2 -mfma)
  set(REGVIAFFT_KERNEL_FLAGS_avx512.cpp -mavx512f -mavx512dq -mavx512vl -mavx2 -mfma)
endif()

# Adds the kernel units found in `dir` to `target` with their flags.
function(regviafft_add_kernel_units target dir)
  foreach(unit ${REGVIAFFT_KERNEL_UNITS})
    target_sources(${target} PRIVATE ${dir}/${unit})
    if(DEFINED REGVIAFFT_KERNEL_FLAGS_${unit})
      # 512-bit vectors passed by value inside a unit are fine; the warning is
      # about the ABI between units, which never see them.
      set_source_files_properties(${dir}/${unit} PROPERTIES
        COMPILE_OPTIONS "${REGVIAFFT_KERNEL_FLAGS_${unit}};-Wno-psabi")
    endif()
  endforeach()
  if(REGVIAFFT_X86_KERNELS)
    target_compile_definitions(${target} PRIVATE REGVIAFFT_X86_KERNELS)
  endif()
endfunction()
