// kvm_soak: a long run of programming jobs against the emulated programmer
// with random faults (seeded), in one process, the way an operator flashes
// switch after switch. After a warm-up the process's resident memory, open
// file descriptors and threads are taken, and again at the end: they must
// stay flat.
//
//   kvm_soak [JOBS] [SEED]      defaults: 1000 jobs, seed 1
#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "FirmwareImageTestFiles.h"
#include "ProcessFigures.h"
#include "ProgrammerRig.h"
#include "RandomFault.h"
#include "WaitFor.h"
#include "firmware/ContainerHeader.h"
#include "firmware/FirmwareImage.h"

namespace {

using namespace kvm;
using namespace kvm::emulator;
using kvm::test::Figures;
using kvm::test::RandomFault;
using kvm::test::TProcessFigures;
using kvm::test::TProgrammerRig;
using kvm::test::WaitFor;

constexpr int TickMs = 5;
constexpr int WarmUpJobs = 50;


[[noreturn]] void Fail(int job, const std::string& what) {
  std::fprintf(stderr, "kvm_soak: job %d: %s\n", job, what.c_str());
  std::exit(1);
}

// The programmer behind the simulated device; replaced before every job so
// that its record of received reports does not grow with the run.
struct TProgrammerSlot {
  std::shared_ptr<TProgrammerEmulator> Current = std::make_shared<TProgrammerEmulator>();
};

std::vector<std::uint8_t> Image(std::mt19937& random, std::size_t length) {
  std::vector<std::uint8_t> bytes(length);
  for (auto& byte : bytes) byte = static_cast<std::uint8_t>(random());
  return bytes;
}

std::vector<std::uint8_t> Container(const std::vector<std::uint8_t>& image) {
  return firmware::BuildContainer(image, {300, 2, 7, 0x5C});
}

}  // namespace

int main(int argc, char** argv) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication application(argc, argv);
  const int jobs = argc > 1 ? std::atoi(argv[1]) : 1000;
  const unsigned seed = argc > 2 ? static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10)) : 1u;
  if (jobs <= WarmUpJobs) {
    std::fprintf(stderr, "usage: kvm_soak [JOBS > %d] [SEED]\n", WarmUpJobs);
    return 2;
  }
  std::mt19937 random(seed);
  test::ThrowOneException();

  firmware::test::TTempFolder folder;
  firmware::test::TScopedEnvironment tmpDir("TMPDIR", folder.Path());
  firmware::test::TScopedEnvironment runtimeDir("XDG_RUNTIME_DIR", std::nullopt);
  auto slot = std::make_shared<TProgrammerSlot>();
  const auto plugProgrammer = [&](TProgrammerRig& rig) {
    hid::platform::TSimDeviceInfo programmer = hid::platform::SimProgrammer();
    programmer.SerialNumber = u"SOAK0001";
    rig.platform->Plug(programmer, [slot](const std::uint8_t* report, std::size_t length) {
      return slot->Current->HandleReport(report, length);
    });
  };

  TProgrammerRig rig(TickMs);
  rig.window.checked[TTarget::UsbHost] = true;
  plugProgrammer(rig);
  rig.Start();
  if (!rig.WaitConnected()) Fail(0, "the programmer did not connect");

  TProcessFigures start;
  int succeeded = 0, failed = 0, unplugs = 0;
  for (int job = 1; job <= jobs; ++job) {
    slot->Current = std::make_shared<TProgrammerEmulator>();
    const std::optional<TFaultRule> fault = RandomFault(random);
    if (fault) slot->Current->AddRule(*fault);
    const std::vector<std::uint8_t> image =
        Image(random, std::uniform_int_distribution<std::size_t>(1, 400)(random));
    const bool container = random() % 2 == 0;
    const std::string path = folder / (container ? "fw.usb" : "fw.bin");
    firmware::test::WriteBytes(path, container ? Container(image) : image);
    rig.window.fileNames[TTarget::UsbHost] = path;

    rig.jobs->InProgButtonClick();

    const bool ok = !rig.window.log.empty() && rig.window.log.back() == "Program OK";
    if (ok) {
      ++succeeded;
      if (slot->Current->Image(TargetUsbHost) != image) Fail(job, "the programmed image differs from the file");
    } else {
      ++failed;
      if (!fault) Fail(job, "failed without a fault: " + (rig.window.log.empty() ? "" : rig.window.log.back()));
    }
    if (rig.window.lamps[TTarget::UsbHost] != (ok ? TLampPicture::Green : TLampPicture::Red)) Fail(job, "wrong lamp");
    if (rig.window.breakVisible || rig.jobs->Timer1().Enabled() || rig.jobs->IsRunning())
      Fail(job, "the busy state was not undone");
    if (std::filesystem::exists(firmware::IntermediateFile())) Fail(job, "the intermediate file was left behind");

    if (fault && fault->Action.Kind == TFaultKind::Unplug && !rig.state.Connected) {
      ++unplugs;
      if (!WaitFor([&] { return !rig.link->CheckTargetTimer().Enabled(); }, 2000)) Fail(job, "no rescan");
      plugProgrammer(rig);
    }
    if (!rig.state.Connected && !rig.WaitConnected(2000)) Fail(job, "the programmer did not connect again");
    // Clear Log, as an operator would now and then; the recorder's other lists too,
    // or they would be the growth this run is looking for.
    rig.window.log.clear();
    rig.window.reports.clear();
    rig.window.sorted.clear();
    if (job == WarmUpJobs) {
      start = Figures("start");
      test::PrintFigures("start", std::to_string(job) + " jobs", start);
    }
  }
  const TProcessFigures end = Figures("end");
  test::PrintFigures("end", std::to_string(jobs) + " jobs", end);
  std::printf("jobs: %d programmed, %d failed by injected faults (%d unplugs); seed %u\n", succeeded, failed, unplugs,
              seed);

  return test::StayedFlat("kvm_soak", start, end) ? 0 : 1;
}
