// The reader's overlapped reads. A message-mode pipe stands in for a device
// that sends reports (each message one report); Wine's virtual devices, which
// never send any, show time-outs and cancelling against the real driver.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "WineHid.h"
#include "hid/platform/windows/WindowsHidHandle.h"

namespace kvm::hid::platform::windows::test {
namespace {

// The reading end is overlapped, like the reader's handle on a device.
class ReportPipe {
 public:
  ReportPipe() {
    static int serial = 0;
    const std::string name =
        "\\\\.\\pipe\\kvmflash-test-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++serial);
    readEnd_ = CreateNamedPipeA(name.c_str(), PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED,
                                PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, 0, 4096, 0, nullptr);
    writeEnd_ = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  }
  ~ReportPipe() { CloseWriteEnd(); }
  bool Valid() const { return readEnd_ != INVALID_HANDLE_VALUE && writeEnd_ != INVALID_HANDLE_VALUE; }

  // The handle takes the reading end.
  std::unique_ptr<TWindowsHidHandle> Reader() { return std::make_unique<TWindowsHidHandle>(readEnd_, TOpenMode::Read); }
  void Send(const std::string& report) {
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(writeEnd_, report.data(), static_cast<DWORD>(report.size()), &written, nullptr));
  }
  void CloseWriteEnd() {
    if (writeEnd_ != INVALID_HANDLE_VALUE) CloseHandle(writeEnd_);
    writeEnd_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE readEnd_ = INVALID_HANDLE_VALUE;
  HANDLE writeEnd_ = INVALID_HANDLE_VALUE;
};

struct TReadResult {
  TReadStatus status;
  std::string data;
  std::uint32_t error;
};

TReadResult ReadOnce(THidHandle& handle, int timeoutMs, std::size_t capacity = 8) {
  std::uint8_t buffer[64] = {};
  std::size_t got = 0;
  std::uint32_t error = 0;
  const TReadStatus status = handle.Read(buffer, capacity, got, timeoutMs, error);
  return {status, std::string(reinterpret_cast<char*>(buffer), got), error};
}

}  // namespace

TEST(OverlappedRead, AReportIsDeliveredWhole) {
  ReportPipe pipe;
  ASSERT_TRUE(pipe.Valid());
  auto reader = pipe.Reader();
  pipe.Send(std::string("\x00\x10\x20\x30\x40\x50\x60\x70", 8));
  const TReadResult result = ReadOnce(*reader, 200);
  ASSERT_EQ(result.status, TReadStatus::Data);
  EXPECT_EQ(result.data, std::string("\x00\x10\x20\x30\x40\x50\x60\x70", 8));
  EXPECT_FALSE(reader->HasPendingRead());
}

TEST(OverlappedRead, AReadThatTimesOutStaysPendingAndLosesNothing) {
  ReportPipe pipe;
  ASSERT_TRUE(pipe.Valid());
  auto reader = pipe.Reader();
  EXPECT_EQ(ReadOnce(*reader, 20).status, TReadStatus::Timeout);
  EXPECT_TRUE(reader->HasPendingRead());
  EXPECT_EQ(ReadOnce(*reader, 0).status, TReadStatus::Timeout);
  // Arrives between two reads, into the read still outstanding.
  pipe.Send("first");
  pipe.Send("second");
  EXPECT_EQ(ReadOnce(*reader, 200).data, "first");
  EXPECT_EQ(ReadOnce(*reader, 200).data, "second");
}

TEST(OverlappedRead, AnEmptyCompletionDeliversNothing) {
  ReportPipe pipe;
  ASSERT_TRUE(pipe.Valid());
  auto reader = pipe.Reader();
  pipe.Send("");
  pipe.Send("next");
  const TReadResult result = ReadOnce(*reader, 200);
  EXPECT_EQ(result.status, TReadStatus::Data);
  EXPECT_EQ(result.data, "next");
}

TEST(OverlappedRead, AFailedReadCarriesTheSystemsCode) {
  ReportPipe pipe;
  ASSERT_TRUE(pipe.Valid());
  auto reader = pipe.Reader();
  pipe.Send("far too long for the report");
  const TReadResult tooLong = ReadOnce(*reader, 200, 8);
  EXPECT_EQ(tooLong.status, TReadStatus::Error);
  EXPECT_EQ(tooLong.error, static_cast<std::uint32_t>(ERROR_MORE_DATA));

  ReportPipe closing;
  ASSERT_TRUE(closing.Valid());
  auto closingReader = closing.Reader();
  EXPECT_EQ(ReadOnce(*closingReader, 0).status, TReadStatus::Timeout);
  closing.CloseWriteEnd();
  const TReadResult broken = ReadOnce(*closingReader, 200);
  EXPECT_EQ(broken.status, TReadStatus::Error);
  EXPECT_EQ(broken.error, static_cast<std::uint32_t>(ERROR_BROKEN_PIPE));
}

TEST(OverlappedRead, CancelFromAnotherThreadEndsAWaitingRead) {
  ReportPipe pipe;
  ASSERT_TRUE(pipe.Valid());
  auto reader = pipe.Reader();
  EXPECT_EQ(ReadOnce(*reader, 0).status, TReadStatus::Timeout);

  TReadResult result{};
  ULONGLONG took = 0;
  std::atomic<bool> reading{false};
  std::thread readerThread([&] {
    reading = true;
    const ULONGLONG start = GetTickCount64();
    result = ReadOnce(*reader, 10000);
    took = GetTickCount64() - start;
  });
  // Cancel while the reader waits, as far as a test can arrange it; a cancel
  // just before its read must end it all the same.
  while (!reading) std::this_thread::yield();
  reader->Cancel();
  readerThread.join();
  EXPECT_EQ(result.status, TReadStatus::Gone);
  EXPECT_LT(took, 1000u);
  EXPECT_FALSE(reader->HasPendingRead()) << "the cancelled read has been waited for";

  // Reports sent after the cancel are never read.
  pipe.Send("late");
  EXPECT_EQ(ReadOnce(*reader, 200).status, TReadStatus::Gone);
}

// The completion wakes only the thread that started the read; another thread
// waiting on it must still see it promptly.
TEST(OverlappedRead, AReadStartedByAnotherThreadIsDeliveredPromptly) {
  ReportPipe pipe;
  ASSERT_TRUE(pipe.Valid());
  auto reader = pipe.Reader();
  EXPECT_EQ(ReadOnce(*reader, 0).status, TReadStatus::Timeout);

  TReadResult result{};
  ULONGLONG took = 0;
  std::atomic<bool> reading{false};
  std::thread readerThread([&] {
    reading = true;
    const ULONGLONG start = GetTickCount64();
    result = ReadOnce(*reader, 5000);
    took = GetTickCount64() - start;
  });
  while (!reading) std::this_thread::yield();
  pipe.Send("report");
  readerThread.join();
  EXPECT_EQ(result.status, TReadStatus::Data);
  EXPECT_EQ(result.data, "report");
  EXPECT_LT(took, 1000u);
}

TEST(OverlappedRead, OnlyTheReadersHandleReads) {
  ReportPipe pipe;
  ASSERT_TRUE(pipe.Valid());
  auto reader = pipe.Reader();
  TWindowsHidHandle general(INVALID_HANDLE_VALUE, TOpenMode::ReadWrite);
  const TReadResult result = ReadOnce(general, 10);
  EXPECT_EQ(result.status, TReadStatus::Error);
  EXPECT_EQ(result.error, static_cast<std::uint32_t>(ERROR_INVALID_FUNCTION));
}

TEST_F(WineHidTest, ADevicesReadTimesOutUntilCancelled) {
  const auto path = FindDevice(kWineKeyboardID);
  ASSERT_TRUE(path);
  std::uint32_t error = 0;
  auto handle = platform.Open(*path, TOpenMode::Read, error);
  ASSERT_NE(handle, nullptr) << platform.ErrorText(error);
  auto& reader = static_cast<TWindowsHidHandle&>(*handle);

  const ULONGLONG start = GetTickCount64();
  EXPECT_EQ(ReadOnce(reader, 30, 64).status, TReadStatus::Timeout);
  EXPECT_GE(GetTickCount64() - start, 20u);
  EXPECT_TRUE(reader.HasPendingRead());
  EXPECT_EQ(ReadOnce(reader, 10, 64).status, TReadStatus::Timeout);

  TReadResult result{};
  std::thread readerThread([&] { result = ReadOnce(reader, 10000, 64); });
  reader.Cancel();
  readerThread.join();
  EXPECT_EQ(result.status, TReadStatus::Gone);
  EXPECT_FALSE(reader.HasPendingRead());
  EXPECT_EQ(ReadOnce(reader, 10000, 64).status, TReadStatus::Gone);
}

TEST_F(WineHidTest, ClosingAHandleEndsItsOutstandingRead) {
  const auto path = FindDevice(kWineMouseID);
  ASSERT_TRUE(path);
  std::uint32_t error = 0;
  auto handle = platform.Open(*path, TOpenMode::Read, error);
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(ReadOnce(*handle, 0, 64).status, TReadStatus::Timeout);
  const ULONGLONG start = GetTickCount64();
  handle.reset();
  EXPECT_LT(GetTickCount64() - start, 1000u);
}

}  // namespace kvm::hid::platform::windows::test
