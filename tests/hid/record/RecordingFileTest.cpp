// The recording's file format: what is written reads back the same, and a
// damaged, cut or empty recording is refused with the line and the reason.
#include <gtest/gtest.h>

#include <QByteArrayList>
#include <functional>

#include "hid/record/RecordingJson.h"

namespace kvm::hid::record {
namespace {

TRecording Sample() {
  TRecording recording;
  recording.Firmware = {"host.usb"};
  TRecordedDevice device;
  device.Identity.Attributes = THidAttributes{12, 0x0B39, 0xFF03, 0x0100};
  device.Identity.SerialNumber = u"PRG-\u00E91";
  device.Identity.ReportDescriptor = {0x06, 0x00, 0xFF};
  device.Identity.Caps = THidCaps{1, 0xFF00, 8, 64, 0, 1};
  device.Identity.PortPath = "1-2.3";
  TRecordedEvent write;
  write.TimeUs = 10;
  write.Bytes = {0x04, 0x00, 0x02};
  write.Written = 3;
  TRecordedEvent read;
  read.Kind = TEventKind::Read;
  read.TimeUs = 900;
  read.Bytes = {0x01, 0x01, 0x02};
  TRecordedEvent failedWrite = write;
  failedWrite.TimeUs = 1000;
  failedWrite.Ok = false;
  failedWrite.Written = 0;
  failedWrite.Error = 5;
  TRecordedEvent gone;
  gone.Kind = TEventKind::Read;
  gone.TimeUs = 1001;
  gone.Status = platform::TReadStatus::Gone;
  gone.Error = 19;
  TRecordedEvent unplug;
  unplug.Kind = TEventKind::Unplug;
  unplug.TimeUs = 1002;
  device.Events = {write, read, failedWrite, gone, unplug};
  recording.Devices.push_back(device);
  return recording;
}

QByteArray Text(const TRecording& recording) {
  QByteArray text = HeaderLine(recording.Firmware) + '\n';
  std::uint64_t events = 0;
  for (std::uint32_t i = 0; i < recording.Devices.size(); ++i) {
    text += DeviceLine(i, recording.Devices[i].Identity) + '\n';
    for (TRecordedEvent event : recording.Devices[i].Events) {
      event.Device = i;
      text += EventLine(event) + '\n';
      ++events;
    }
  }
  return text + EndLine(events) + '\n';
}

TEST(RecordingFile, WhatIsWrittenReadsBackTheSame) {
  const TRecording sample = Sample();
  TRecording read;
  std::string error;
  ASSERT_TRUE(ParseRecording(Text(sample), read, error)) << error;
  EXPECT_EQ(read.Firmware, sample.Firmware);
  ASSERT_EQ(read.Devices.size(), 1u);
  const TRecordedIdentity& identity = read.Devices[0].Identity;
  EXPECT_EQ(identity.Attributes->ProductID, 0xFF03);
  EXPECT_EQ(identity.SerialNumber, sample.Devices[0].Identity.SerialNumber);
  EXPECT_FALSE(identity.Manufacturer);
  EXPECT_EQ(identity.ReportDescriptor, sample.Devices[0].Identity.ReportDescriptor);
  EXPECT_EQ(identity.Caps->OutputReportByteLength, 64);
  EXPECT_EQ(identity.PortPath, "1-2.3");
  const auto& events = read.Devices[0].Events;
  ASSERT_EQ(events.size(), 5u);
  EXPECT_EQ(events[0].Bytes, sample.Devices[0].Events[0].Bytes);
  EXPECT_EQ(events[0].Written, 3u);
  EXPECT_EQ(events[1].TimeUs, 900);
  EXPECT_FALSE(events[2].Ok);
  EXPECT_EQ(events[2].Error, 5u);
  EXPECT_EQ(events[3].Status, platform::TReadStatus::Gone);
  EXPECT_EQ(events[4].Kind, TEventKind::Unplug);
  EXPECT_EQ(SpacedHex({0x04, 0xAB}), "04 AB");
}

struct TBadRecording {
  const char* Name;
  std::function<QByteArray(QByteArray)> Damage;
  const char* Message;
};

void PrintTo(const TBadRecording& bad, std::ostream* out) { *out << bad.Name; }

QByteArray ReplaceIn(QByteArray text, const char* from, const char* to) { return text.replace(from, to); }

const TBadRecording BadRecordings[] = {
    {"Empty", [](QByteArray) { return QByteArray(); }, "the recording is empty"},
    {"OnlyBlanks", [](QByteArray) { return QByteArray("\n \n"); }, "the recording is empty"},
    {"CutInALine", [](QByteArray t) { return t.left(t.indexOf("\"op\":\"read\"") + 5); }, "line 4: not a JSON object"},
    {"CutAtALineEnd", [](QByteArray t) { return t.left(t.lastIndexOf("{\"end\"")); },
     "the recording is cut short (no end line after line 7)"},
    {"EventLost",
     [](QByteArray t) {
       QList<QByteArray> lines = t.split('\n');
       lines.removeAt(3);
       return lines.join('\n');
     },
     "line 7: the end line counts 5 events, the recording holds 4"},
    {"NotARecording", [](QByteArray t) { return ReplaceIn(t, "kvmflash-recording", "something-else"); },
     "line 1: not a kvmflash recording"},
    {"NewerVersion", [](QByteArray t) { return ReplaceIn(t, "\"version\":1}", "\"version\":2}"); },
     "line 1: recording format version 2 (this program reads version 1)"},
    {"OddHex", [](QByteArray t) { return ReplaceIn(t, "\"040002\"", "\"04002\""); },
     "line 3: \"bytes\" must be hex digits in pairs"},
    {"NotHex", [](QByteArray t) { return ReplaceIn(t, "\"040002\"", "\"04zz02\""); },
     "line 3: \"bytes\" must be hex digits in pairs"},
    {"EventBeforeItsDevice", [](QByteArray t) { return ReplaceIn(t, "\"device\":0", "\"device\":1"); },
     "line 2: device 1 out of order"},
    {"TimeGoesBack", [](QByteArray t) { return ReplaceIn(t, "\"t\":900", "\"t\":5"); },
     "line 4: time 5 us is earlier than the event before it"},
    {"UnknownOp", [](QByteArray t) { return ReplaceIn(t, "\"op\":\"unplug\"", "\"op\":\"explode\""); },
     "line 7: unknown \"op\" \"explode\""},
    {"NegativeTime", [](QByteArray t) { return ReplaceIn(t, "\"t\":10,", "\"t\":-10,"); },
     "line 3: \"t\" must be a whole number"},
    {"VendorOutOfRange", [](QByteArray t) { return ReplaceIn(t, "\"vendor\":2873", "\"vendor\":70000"); },
     "line 2: \"vendor\" must be a whole number from 0 to 65535"},
    {"TextAfterTheEnd", [](QByteArray t) { return t + "{}\n"; }, "line 9: text after the end line"},
    {"BinaryGarbage", [](QByteArray) { return QByteArray("\x00\xFF\x10{", 4); }, "line 1: not a JSON object"},
};

class BadRecording : public ::testing::TestWithParam<TBadRecording> {};

TEST_P(BadRecording, IsRefusedWithTheLineAndTheReason) {
  TRecording read;
  std::string error;
  EXPECT_FALSE(ParseRecording(GetParam().Damage(Text(Sample())), read, error));
  EXPECT_EQ(error.rfind(GetParam().Message, 0), 0u) << error;
}

INSTANTIATE_TEST_SUITE_P(Damage, BadRecording, ::testing::ValuesIn(BadRecordings),
                         [](const auto& info) { return std::string(info.param.Name); });

}  // namespace
}  // namespace kvm::hid::record
