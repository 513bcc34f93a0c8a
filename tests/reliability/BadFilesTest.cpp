// Borderline and broken firmware files given to a job: each is programmed
// exactly or refused with a clear message before the programmer is touched;
// never a hang, and never an intermediate file left behind.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>

#include "ReliabilityRig.h"

namespace kvm::test {
namespace {

using namespace emulator;
using firmware::test::Chip300;
using firmware::test::MakeContainer;

const Bytes KeyArea{0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x1B};

Bytes Header(std::uint8_t keyOffsetByte, std::uint8_t stepByte, const Bytes& payload = {'a', 'b', 'c'}) {
  return MakeContainer(Chip300, keyOffsetByte, stepByte, KeyArea, payload);
}

Bytes FirstBytes(Bytes bytes, std::size_t count) {
  bytes.resize(count);
  return bytes;
}

struct TBadFile {
  const char* Name;
  const char* FileName;
  std::function<void(const std::string& path)> Make;
  int Result;
};

void PrintTo(const TBadFile& file, std::ostream* out) { *out << file.Name; }

std::function<void(const std::string&)> Content(Bytes bytes) {
  return [bytes](const std::string& path) { firmware::test::WriteBytes(path, bytes); };
}

std::function<void(const std::string&)> Sparse(Bytes head, std::int64_t length) {
  return [head, length](const std::string& path) { firmware::test::WriteSparse(path, head, length); };
}

void Fifo(const std::string& path) { ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0); }

const TBadFile Refused[] = {
    {"EmptyContainer", "fw.usb", Content({}), firmware::MalformedContainer},
    {"ContainerOf15Bytes", "fw.osd", Content(FirstBytes(Header(0x03, 0x05), 15)),
     firmware::MalformedContainer},
    {"ContainerOfTheHeaderAlone", "fw.28", Content(Header(0x03, 0x05, {})), firmware::ImageEmpty},
    {"StepLengthZero", "fw.usb", Content(Header(0x03, 0xF0)), firmware::MalformedContainer},
    {"KeyOffset12", "fw.usb", Content(Header(0x0C, 0x05)), firmware::MalformedContainer},
    {"KeyOffset13", "fw.usb", Content(Header(0x0D, 0x05)), firmware::MalformedContainer},
    {"KeyOffset14", "fw.usb", Content(Header(0x0E, 0x05)), firmware::MalformedContainer},
    {"KeyOffset15", "fw.usb", Content(Header(0xFF, 0x05)), firmware::MalformedContainer},
    {"PlainImageBeyondTheLastBlockNumber", "big.bin", Sparse({1, 2, 3}, firmware::MaxImageLength + 1),
     firmware::ImageTooLarge},
    {"ContainerPayloadBeyondTheLastBlockNumber", "big.usb", Sparse(Header(0x03, 0x05), 16 + firmware::MaxImageLength + 1),
     firmware::ImageTooLarge},
    {"FifoAsPlainImage", "pipe.bin", Fifo, firmware::FileUnreadable},
    {"FifoAsContainer", "pipe.usb", Fifo, firmware::FileUnreadable},
};

class BadFile : public ReliabilityTest, public ::testing::WithParamInterface<TBadFile> {};

TEST_P(BadFile, IsRefusedWithAClearMessageAndNoProgrammerTraffic) {
  ASSERT_TRUE(rig.StartConnected());
  const std::string path = folder / GetParam().FileName;
  GetParam().Make(path);
  EXPECT_EQ(Run(path), GetParam().Result);
  ExpectFailedJobEnded(firmware::ImageResultText(GetParam().Result));
  // The line before the verdict says what was wrong with which file.
  ASSERT_GE(rig.window.log.size(), 2u);
  EXPECT_NE(rig.window.log[rig.window.log.size() - 2].find(path), std::string::npos)
      << rig.window.log[rig.window.log.size() - 2];
  EXPECT_EQ(rig.emulator->ReportCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Files, BadFile, ::testing::ValuesIn(Refused),
                         [](const auto& info) { return std::string(info.param.Name); });

// One image byte: block 0 alone, the length 1, the byte and 47 zero bytes.
TEST_F(ReliabilityTest, OneByteImagesGoAsOneZeroPaddedBlock) {
  ASSERT_TRUE(rig.StartConnected());
  const Bytes padded = [] {
    Bytes bytes(48, 0);
    bytes[0] = 0xA5;
    return bytes;
  }();
  for (const auto& [name, content] : {std::pair<std::string, Bytes>{"one.bin", {0xA5}},
                                      std::pair<std::string, Bytes>{"one.usb", ContainerOf({0xA5})}}) {
    SCOPED_TRACE(name);
    const std::size_t reportsBefore = rig.emulator->ReportCount();
    EXPECT_EQ(Run(Write(name, content)), 0);
    EXPECT_EQ(rig.window.log.back(), "Program OK");
    EXPECT_EQ(rig.emulator->ToldLength(TargetUsbHost), 1u);
    EXPECT_EQ(rig.emulator->ReceivedBytes(TargetUsbHost), padded);
    EXPECT_EQ(rig.emulator->Image(TargetUsbHost), Bytes{0xA5});
    const std::vector<int> sizes = rig.BlockSizes(TargetUsbHost);
    EXPECT_EQ(sizes.back(), 52);
    // Enable, initialise, chip ID, one block, checksum, disable.
    EXPECT_EQ(rig.emulator->ReportCount() - reportsBefore, 6u);
    ExpectIdle(TTarget::UsbHost, TLampPicture::Green);
  }
}

}  // namespace
}  // namespace kvm::test
