# The processor level Zelmor is compiled for. By default the newest x86-64 level the build machine
# itself runs (x86-64-v3, else v2): bitboard counts and scans then use the processor's POPCNT and
# TZCNT instead of library calls. ZELMOR_PORTABLE keeps the baseline x86-64 for binaries that must
# run on any 64-bit PC; both builds give the same results (the tests hold them to it).
option(ZELMOR_PORTABLE "Build for the baseline x86-64 processor (no POPCNT, BMI or AVX2)" OFF)

set(ZELMOR_PROCESSOR_LEVEL "the compiler's default")
if(NOT ZELMOR_PORTABLE AND CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$")
  include(CheckCXXSourceRuns)
  # Each candidate is compiled for its level and must run here, answering for its features.
  set(probe_v3 [[
int main() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("popcnt") && __builtin_cpu_supports("bmi") &&
           __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("avx2") &&
           __builtin_cpu_supports("fma") ? 0 : 1;
}]])
  set(probe_v2 [[
int main() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("popcnt") && __builtin_cpu_supports("sse4.2") ? 0 : 1;
}]])
  foreach(level v3 v2)
    set(CMAKE_REQUIRED_FLAGS "-march=x86-64-${level}")
    set(CMAKE_REQUIRED_QUIET ON)
    check_cxx_source_runs("${probe_${level}}" ZELMOR_RUNS_X86_64_${level})
    unset(CMAKE_REQUIRED_FLAGS)
    unset(CMAKE_REQUIRED_QUIET)
    if(ZELMOR_RUNS_X86_64_${level})
      set(ZELMOR_PROCESSOR_LEVEL "x86-64-${level}")
      add_compile_options(-march=${ZELMOR_PROCESSOR_LEVEL})
      break()
    endif()
  endforeach()
endif()
if(ZELMOR_PORTABLE)
  message(STATUS "Zelmor processor level: the compiler's default (ZELMOR_PORTABLE)")
else()
  message(STATUS "Zelmor processor level: ${ZELMOR_PROCESSOR_LEVEL}"
                 " (-DZELMOR_PORTABLE=ON for the baseline x86-64)")
endif()
