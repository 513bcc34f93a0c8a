# The sources that differ per system, for every library and program that has
# some: POSIX calls or their Windows counterparts, and the pieces that exist
# on one system only. The one place where a build picks them.
if(WIN32)
  target_sources(kvm_hid_native PRIVATE hid/platform/windows/NativeHidPlatformWindows.cpp)
  target_link_libraries(kvm_hid_native PUBLIC kvm_hid_windows)
  # The file system calls.
  target_sources(kvm_firmware_image PRIVATE
    firmware/IntermediateFileWindows.cpp firmware/ReadOnlyFileWindows.cpp firmware/ReplaceFileWindows.cpp
    firmware/WindowsFiles.cpp)
  # The version query, and the icon drawn without Qt Svg.
  target_sources(kvm_app PRIVATE app/OsVersionWindows.cpp app/AppIconWindows.cpp)
  target_sources(kvm_cli PRIVATE cli/OutputRefusalWindows.cpp)
else()
  target_sources(kvm_hid_native PRIVATE hid/platform/linux/NativeHidPlatformLinux.cpp)
  target_link_libraries(kvm_hid_native PUBLIC kvm_hid_linux)
  target_sources(kvm_firmware_image PRIVATE
    firmware/IntermediateFile.cpp firmware/ReadOnlyFile.cpp firmware/ReplaceFile.cpp)
  target_sources(kvm_app PRIVATE app/OsVersion.cpp app/AppIcon.cpp)
  target_link_libraries(kvm_app PRIVATE Qt6::Svg)
  target_sources(kvm_cli PRIVATE cli/OutputRefusal.cpp)
  # doctor checks what Linux needs (udev rule, ACL, seat, groups); Windows
  # needs no permission rule for the programmer.
  target_sources(kvmflash-cli PRIVATE cli/DoctorCommand.cpp)
  # The replay is offered on Linux only (the command line's --replay).
  target_sources(kvm_hid_record PRIVATE hid/record/ReplayHidPlatform.cpp)
endif()
