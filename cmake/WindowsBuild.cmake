# What the Windows build (MinGW-w64 cross-build against the Qt of
# scripts/setup-windows-qt) needs beyond the Linux one. Included by the top
# CMakeLists.txt when WIN32.

# Programs, tests and the DLLs they load side by side, the way Windows finds them.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bin)
# No Google Benchmark for MinGW; the figures are measured on Linux.
set(KVM_BUILD_BENCH OFF CACHE BOOL "Build the benchmarks")

# CLI11 is header-only, but its package config points at the host's
# /usr/include, which must not reach the MinGW compiler: a config of our own
# gives only the CLI folder.
set(kvm_cli11_root ${PROJECT_BINARY_DIR}/windows-cli11)
file(MAKE_DIRECTORY ${kvm_cli11_root}/include)
file(CREATE_LINK /usr/include/CLI ${kvm_cli11_root}/include/CLI SYMBOLIC)
file(WRITE ${kvm_cli11_root}/CLI11Config.cmake "
if(NOT TARGET CLI11::CLI11)
  add_library(CLI11::CLI11 INTERFACE IMPORTED)
  set_target_properties(CLI11::CLI11 PROPERTIES INTERFACE_INCLUDE_DIRECTORIES \"${kvm_cli11_root}/include\")
endif()
")
set(CLI11_DIR ${kvm_cli11_root} CACHE PATH "CLI11 for the Windows build" FORCE)

# GoogleTest from Debian's source copy, built with the same compiler.
if(KVM_BUILD_TESTS)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
endif()

# The window and the demo are window programs: no console of their own.
function(kvm_windows_programs)
  set_target_properties(kvmflash kvmflash-demo PROPERTIES WIN32_EXECUTABLE ON)
endfunction()
