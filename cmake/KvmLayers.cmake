# Layers enforced by the build: each library exposes only the headers of its
# own source folder, under an include root of its own in the build tree (a
# folder of links to them). A target can include "protocol/..." only when it
# links kvm_protocol, directly or through a library that depends on it, so an
# include that goes the wrong way fails to compile.
#
#   kvm_expose_headers(TARGET FOLDER [FILES header...] [PRIVATE header...])
# FOLDER and FILES are relative to src/ (e.g. hid/platform/sim, hid/HidTypes.h);
# FILES are single headers of another folder that the library owns too.
# PRIVATE headers (of FOLDER) are the library's own: its sources include them
# as usual, and no other target can.
# KVM_SOURCE_DIR is the tree's src/ (the project's own by default; the
# Windows back end's test project sets it).
function(kvm_expose_headers target folder)
  cmake_parse_arguments(E "" "" "FILES;PRIVATE" ${ARGN})
  set(src "${PROJECT_SOURCE_DIR}/src")
  if(DEFINED KVM_SOURCE_DIR)
    set(src "${KVM_SOURCE_DIR}")
  endif()
  set(root "${PROJECT_BINARY_DIR}/include/${target}")
  file(REMOVE_RECURSE "${root}")
  file(GLOB headers CONFIGURE_DEPENDS RELATIVE "${src}" "${src}/${folder}/*.h")
  set(ownRoot "${PROJECT_BINARY_DIR}/include-private/${target}")
  file(REMOVE_RECURSE "${ownRoot}")
  list(TRANSFORM E_PRIVATE PREPEND "${folder}/")
  foreach(header IN LISTS E_PRIVATE)
    if(NOT EXISTS "${src}/${header}")
      message(FATAL_ERROR "kvm_expose_headers(${target}): no private header ${header}")
    endif()
  endforeach()
  list(REMOVE_ITEM headers ${E_PRIVATE})
  foreach(header IN LISTS headers E_FILES)
    get_filename_component(dir "${root}/${header}" DIRECTORY)
    file(MAKE_DIRECTORY "${dir}")
    file(CREATE_LINK "${src}/${header}" "${root}/${header}" SYMBOLIC)
  endforeach()
  foreach(header IN LISTS E_PRIVATE)
    get_filename_component(dir "${ownRoot}/${header}" DIRECTORY)
    file(MAKE_DIRECTORY "${dir}")
    file(CREATE_LINK "${src}/${header}" "${ownRoot}/${header}" SYMBOLIC)
  endforeach()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE "${root}")
  else()
    target_include_directories(${target} PUBLIC "${root}")
    if(E_PRIVATE)
      target_include_directories(${target} PRIVATE "${ownRoot}")
    endif()
  endif()
endfunction()
