# Layers enforced by the build: each library exposes only the headers of its
# own source folder, under an include root of its own in the build tree (a
# folder of links to them). A target can include "protocol/..." only when it
# links kvm_protocol, directly or through a library that depends on it, so an
# include that goes the wrong way fails to compile.
#
#   kvm_expose_headers(TARGET FOLDER [FILES header...])
# FOLDER and FILES are relative to src/ (e.g. hid/platform/sim, hid/HidTypes.h);
# FILES are single headers of another folder that the library owns too.
# KVM_SOURCE_DIR is the tree's src/ (the project's own by default; the
# Windows back end's test project sets it).
function(kvm_expose_headers target folder)
  cmake_parse_arguments(E "" "" "FILES" ${ARGN})
  set(src "${PROJECT_SOURCE_DIR}/src")
  if(DEFINED KVM_SOURCE_DIR)
    set(src "${KVM_SOURCE_DIR}")
  endif()
  set(root "${PROJECT_BINARY_DIR}/include/${target}")
  file(REMOVE_RECURSE "${root}")
  file(GLOB headers CONFIGURE_DEPENDS RELATIVE "${src}" "${src}/${folder}/*.h")
  foreach(header IN LISTS headers E_FILES)
    get_filename_component(dir "${root}/${header}" DIRECTORY)
    file(MAKE_DIRECTORY "${dir}")
    file(CREATE_LINK "${src}/${header}" "${root}/${header}" SYMBOLIC)
  endforeach()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE "${root}")
  else()
    target_include_directories(${target} PUBLIC "${root}")
  endif()
endfunction()
