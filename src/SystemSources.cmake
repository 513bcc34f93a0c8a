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
  # Ctrl-C and the like: the console's control handler.
  target_sources(kvmflash-demo PRIVATE app/demo/QuitOnSignalWindows.cpp)
  target_sources(kvm_cli PRIVATE cli/InterruptSignalWindows.cpp cli/OutputRefusalWindows.cpp)
else()
  target_sources(kvm_hid_native PRIVATE hid/platform/linux/NativeHidPlatformLinux.cpp)
  target_link_libraries(kvm_hid_native PUBLIC kvm_hid_linux)
  target_sources(kvm_firmware_image PRIVATE
    firmware/IntermediateFile.cpp firmware/ReadOnlyFile.cpp firmware/ReplaceFile.cpp)
  target_sources(kvm_app PRIVATE app/OsVersion.cpp app/AppIcon.cpp)
  target_link_libraries(kvm_app PRIVATE Qt6::Svg)
  # Ctrl-C and the like: POSIX signals.
  target_sources(kvmflash-demo PRIVATE app/demo/QuitOnSignal.cpp)
  target_sources(kvm_cli PRIVATE cli/InterruptSignal.cpp cli/OutputRefusal.cpp)
  # doctor checks what Linux needs (udev rule, ACL, seat, groups); Windows
  # needs no permission rule for the programmer. The station's units watch
  # their programmers through notice descriptors.
  target_sources(kvmflash-cli PRIVATE cli/DoctorCommand.cpp cli/StationCommand.cpp cli/StationScreen.cpp)
  # The station's units each watch their own programmer through a notice
  # descriptor: Linux for now. Windows builds keep the event stream and the
  # traceability log of `program`.
  target_sources(kvm_station PRIVATE
    station/ProcessMemory.cpp station/Station.cpp station/StationSetup.cpp station/UnitDiscovery.cpp
    station/UnitPlatform.cpp station/UnitSession.cpp)
  target_link_libraries(kvm_station PUBLIC kvm_hid_linux)
  # The replay is offered on Linux only (the command line's --replay).
  target_sources(kvm_hid_record PRIVATE hid/record/ReplayHidPlatform.cpp)
endif()
