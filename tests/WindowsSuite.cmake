# The tests that need no Linux device, cross-built for Windows and run under
# Wine (scripts/test-windows): firmware files, the protocol, the link and the
# jobs on the simulated bus, the window offscreen. Each program is one CTest
# test (discovering the cases would start every program under Wine at build
# time). The Windows back end's own tests are in tests/hid/windows.
function(kvm_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} kvm_test_support GTest::gtest)
  add_test(NAME ${name} COMMAND ${name} ${KVM_WINDOWS_TEST_ARGS_${name}})
  # Wine passes no QT_* variable from the Unix side; scripts/test-windows
  # sets QT_QPA_PLATFORM=windows in the prefix's environment (the offscreen
  # plugin has no fonts under Wine), else the test main picks offscreen.
  set_tests_properties(${name} PROPERTIES TIMEOUT 300 ENVIRONMENT "WINEDEBUG=-all")
endfunction()

add_subdirectory(support)

set(dir ${CMAKE_CURRENT_SOURCE_DIR})
kvm_add_test(kvm_hid_descriptor_test
  SOURCES ${dir}/hid/platform/ReportDescriptorTest.cpp
  LIBS kvm_hid_platform Qt6::Core)
target_compile_definitions(kvm_hid_descriptor_test PRIVATE KVM_TEST_DATA_DIR="${PROJECT_SOURCE_DIR}/tests/data")

kvm_add_test(hid_notice_tests
  SOURCES ${dir}/hid/NoticeWakeTest.cpp
  LIBS kvm_hid kvm_hid_sim kvm_emulator)
target_include_directories(hid_notice_tests PRIVATE ${dir}/hid)

kvm_add_test(emulator_tests
  SOURCES ${dir}/emulator/ProgrammerEmulatorTest.cpp ${dir}/emulator/FaultRuleTest.cpp
  LIBS kvm_emulator kvm_hid_sim)

kvm_add_test(firmware_image_tests
  SOURCES
    ${dir}/firmware/FirmwareImageBlockTest.cpp
    ${dir}/firmware/FirmwareImageCheckSumTest.cpp
    ${dir}/firmware/FirmwareImageContainerTest.cpp
    ${dir}/firmware/FirmwareImageNamesTest.cpp
    ${dir}/firmware/FirmwareImageLargeTest.cpp
  LIBS kvm_firmware_image)
target_compile_definitions(firmware_image_tests PRIVATE
  KVM_FIRMWARE_TEST_DATA="${PROJECT_SOURCE_DIR}/tests/data/firmware")

kvm_add_test(protocol_tests
  SOURCES
    ${dir}/protocol/BlockProgrammingTest.cpp
    ${dir}/protocol/BlockReportTest.cpp
    ${dir}/protocol/CommandTest.cpp
    ${dir}/protocol/IoErrorTextTest.cpp
    ${dir}/protocol/NoProgrammerTest.cpp
    ${dir}/protocol/ReplyStoreTest.cpp
    ${dir}/protocol/WaitReplyTest.cpp
  LIBS kvm_protocol kvm_hid kvm_hid_sim kvm_emulator)

add_library(link_test_rig STATIC ${dir}/link/ProgrammerRig.cpp)
target_include_directories(link_test_rig PUBLIC ${dir}/link)
target_link_libraries(link_test_rig PUBLIC kvm_link kvm_jobs kvm_hid kvm_hid_sim kvm_emulator kvm_test_support)

kvm_add_test(link_tests
  SOURCES ${dir}/link/DiscoveryTest.cpp ${dir}/link/ConnectionTest.cpp ${dir}/cli/RequiredSerialTest.cpp
  LIBS link_test_rig)

kvm_add_test(jobs_tests
  SOURCES ${dir}/jobs/ContainerLookalikeJobTest.cpp ${dir}/jobs/ProgrammingJobsTest.cpp
  LIBS link_test_rig)
target_include_directories(jobs_tests PRIVATE ${dir}/firmware)
target_compile_definitions(jobs_tests PRIVATE KVM_FIRMWARE_TEST_DATA="${PROJECT_SOURCE_DIR}/tests/data/firmware")

kvm_add_test(sessions_tests
  SOURCES ${dir}/jobs/ParallelSessionsTest.cpp
  LIBS kvm_jobs kvm_hid_sim kvm_emulator)

# Two cases assume Linux: that the system reports no version (so the window
# does not grow), and Qt's own file dialog with '/' in the chosen path.
set(KVM_WINDOWS_TEST_ARGS_app_tests
  --gtest_filter=-AppStartup.NewerSystemGrowsTheWindowAndTheBaseline:AppQtFileDialog.*)
kvm_add_test(app_tests
  SOURCES
    ${dir}/app/MainFormStartupTest.cpp
    ${dir}/app/StatusLogTest.cpp
    ${dir}/app/CommandsTest.cpp
    ${dir}/app/FileListsTest.cpp
    ${dir}/app/PicturesTest.cpp
    ${dir}/app/QtFileDialogTest.cpp
    ${dir}/app/ProgrammerWindowTest.cpp
    ${dir}/app/AppIconTest.cpp
  LIBS kvm_app kvm_hid_sim kvm_emulator)
