// The station end to end over the simulated bus: units in parallel, faults
// confined to their unit, unplug and re-plug, filters, the ways a run ends,
// and the events and records it leaves.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QJsonArray>
#include <QTemporaryDir>
#include <algorithm>
#include <map>
#include <set>

#include "StationRig.h"
#include "hid/record/RecordingHidPlatform.h"
#include "hid/record/RecordingWriter.h"
#include "hid/record/ReplayReport.h"

namespace kvm::station::test {
namespace {

using emulator::TFaultAction;
using emulator::TFaultKind;
using emulator::TFaultRule;
using Lines = std::vector<std::string>;

TFaultRule Everything(TFaultAction action) { return {{}, std::move(action)}; }
TFaultRule Blocks(TFaultAction action) {
  TFaultRule rule;
  rule.Match.Command = emulator::CmdBlockWrite;
  rule.Action = std::move(action);
  return rule;
}

// The lines of one unit, without its prefix.
Lines UnitLines(const Lines& lines, const std::string& prefix) {
  Lines mine;
  for (const std::string& line : lines)
    if (line.rfind(prefix, 0) == 0) mine.push_back(line.substr(prefix.size()));
  return mine;
}

int IndexOf(const std::vector<QJsonObject>& events, const std::function<bool(const QJsonObject&)>& match,
            bool last = false) {
  int found = -1;
  for (int i = 0; i < static_cast<int>(events.size()); ++i)
    if (match(events[i])) {
      found = i;
      if (!last) break;
    }
  return found;
}

std::function<bool(const QJsonObject&)> Event(const char* name, const std::string& port = {}) {
  return [name, port](const QJsonObject& event) {
    return event["event"].toString() == name &&
           (port.empty() || event["unit"].toObject()["port"].toString().toStdString() == port);
  };
}

std::map<std::string, QJsonObject> RecordsByPort(const std::vector<QJsonObject>& records) {
  std::map<std::string, QJsonObject> byPort;
  for (const QJsonObject& record : records) byPort[record["unit"].toObject()["port"].toString().toStdString()] = record;
  return byPort;
}

TEST(Station, ProgramsAllUnitsInParallelWithTheWindowsLogEventsAndRecords) {
  TStationRig rig;
  rig.UsbHost = rig.Firmware("host.bin", 150);
  rig.Osd = rig.Firmware("osd.bin", 20);
  for (int i = 1; i <= 3; ++i) rig.Plug("PRG-" + std::to_string(i), "1-" + std::to_string(i)).Emulator->SetReplyDelay(1);
  rig.Configure([](TStationConfig& config) { config.Units = 3; });
  ASSERT_EQ(rig.Run(), 0);

  const Lines lines = rig.Lines();
  for (const auto& programmer : rig.Programmers()) {
    const std::string serial = programmer->Serial;
    EXPECT_EQ(UnitLines(lines, "[" + programmer->Port + " " + serial + "] "),
              (Lines{"", "Scanning...", "Zorbek KVM Switch Programmer " + serial + " is connected.", "",
                     "Target : USB Host", "File : " + rig.UsbHost, "Programming...", "Program OK", "",
                     "Target : OSD", "File : " + rig.Osd, "Programming...", "Program OK"}));
    EXPECT_EQ(programmer->Emulator->BlockCount(emulator::TargetUsbHost), 150);
    EXPECT_EQ(programmer->Emulator->BlockCount(emulator::TargetOsd), 20);
  }
  EXPECT_EQ(lines.back(), "Station: 3 succeeded, 0 failed");

  const std::vector<QJsonObject> events = rig.Events();
  // In parallel: every unit had started its first job before any unit finished.
  const int lastFirstJob = IndexOf(events, [](const QJsonObject& e) {
    return e["event"].toString() == "job-started" && e["target"].toString() == "usb-host";
  }, true);
  EXPECT_LT(lastFirstJob, IndexOf(events, Event("unit-finished")));
  EXPECT_EQ(IndexOf(events, Event("station-started")), 0);
  EXPECT_EQ(IndexOf(events, Event("station-finished")), static_cast<int>(events.size()) - 1);
  const std::map<QString, QStringList> keys{
      {"station-started", {"files"}},
      {"unit-arrived", {"unit"}},
      {"unit-connected", {"unit"}},
      {"job-started", {"unit", "target", "path", "sha256", "blocks"}},
      {"progress", {"unit", "target", "block", "blocks", "bytes_per_s", "eta_s"}},
      {"log", {"unit", "text", "colour"}},
      {"job-finished", {"unit", "target", "result", "message", "duration_s"}},
      {"unit-finished", {"unit", "ok", "results", "duration_s"}},
      {"station-finished", {"units_ok", "units_failed", "exit_code"}}};
  std::set<QString> seen;
  for (const QJsonObject& event : events) {
    const QString name = event["event"].toString();
    seen.insert(name);
    EXPECT_EQ(event["schema"].toInt(), 1);
    EXPECT_TRUE(event["time"].toString().endsWith('Z'));
    ASSERT_TRUE(keys.count(name)) << name.toStdString();
    for (const QString& key : keys.at(name)) EXPECT_TRUE(event.contains(key)) << name.toStdString() << " " << key.toStdString();
    if (event.contains("unit")) {
      for (const char* key : {"port", "serial", "node"}) EXPECT_TRUE(event["unit"].toObject().contains(key));
    }
  }
  EXPECT_EQ(seen.size(), keys.size());
  // Each job's last progress event confirms all of its blocks.
  for (const auto& programmer : rig.Programmers()) {
    const int last = IndexOf(events, [&](const QJsonObject& e) {
      return Event("progress", programmer->Port)(e) && e["target"].toString() == "usb-host";
    }, true);
    ASSERT_GE(last, 0);
    EXPECT_EQ(events[last]["block"].toInt(), 150);
    EXPECT_EQ(events[last]["blocks"].toInt(), 150);
  }
  EXPECT_EQ(rig.Events("station-started")[0]["files"].toObject()["usb-host"].toObject()["image_length"].toInt(),
            48 + 56 * 149);

  const auto records = RecordsByPort(rig.Records());
  ASSERT_EQ(records.size(), 3u);
  for (const auto& [port, record] : records) {
    EXPECT_TRUE(record["ok"].toBool()) << port;
    EXPECT_EQ(record["results"].toObject(), (QJsonObject{{"usb-host", 0}, {"osd", 0}}));
    EXPECT_EQ(record["messages"].toObject()["osd"].toString(), "Program OK");
    EXPECT_EQ(record["files"].toObject()["osd"].toObject()["sha256"].toString().size(), 64);
    EXPECT_TRUE(record["reason"].isNull());
  }
}

TEST(Station, OneUnitsFaultFailsOnlyThatUnit) {
  struct Case {
    const char* Name;
    std::function<void(TStationRig&, TRigProgrammer&)> Fault;
    const char* Message;  // of the faulty unit's USB Host job
  } cases[] = {
      {"silent", [](TStationRig&, TRigProgrammer& p) { p.Emulator->AddRule(Everything(TFaultKind::Silence)); },
       "Enable Programmer failed : -2"},
      {"failing", [](TStationRig&, TRigProgrammer& p) { p.Emulator->SetChipID(emulator::TargetUsbHost, 0x1234); },
       "Incompatible Chip ID: 1234"},
      {"unplugged mid-job",
       [](TStationRig& rig, TRigProgrammer& p) {
         p.Emulator->AddRule(Blocks(TFaultAction::Delayed(2)));
         rig.When([&p] { return p.Emulator->BlockCount(emulator::TargetUsbHost) >= 5; }, [&rig, &p] { rig.Unplug(p); });
       },
       nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TStationRig rig(50);
    // Short enough that the healthy units finish within the silent unit's
    // first six-tick wait even on a busy machine.
    rig.UsbHost = rig.Firmware("host.bin", 20);
    rig.Osd = rig.Firmware("osd.bin", 5);
    TRigProgrammer& a = rig.Plug("A", "1-1");
    TRigProgrammer& faulty = rig.Plug("B", "1-2");
    TRigProgrammer& c3 = rig.Plug("C", "1-3");
    rig.Configure([](TStationConfig& config) { config.Units = 3; });
    c.Fault(rig, faulty);
    ASSERT_EQ(rig.Run(), 1);

    const auto records = RecordsByPort(rig.Records());
    ASSERT_EQ(records.size(), 3u);
    EXPECT_TRUE(records.at("1-1")["ok"].toBool());
    EXPECT_TRUE(records.at("1-3")["ok"].toBool());
    EXPECT_FALSE(records.at("1-2")["ok"].toBool());
    EXPECT_FALSE(records.at("1-2")["reason"].toString().isEmpty());
    if (c.Message) {
      EXPECT_EQ(records.at("1-2")["messages"].toObject()["usb-host"].toString().toStdString(), c.Message);
    }
    for (TRigProgrammer* good : {&a, &c3}) EXPECT_EQ(good->Emulator->BlockCount(emulator::TargetOsd), 5);
    // The others did not wait for the faulty unit's time-outs.
    const std::vector<QJsonObject> events = rig.Events();
    const int firstTimeout = IndexOf(events, [](const QJsonObject& e) {
      return e["event"].toString() == "log" && e["text"].toString() == "KVM Programmer is time out.";
    });
    if (firstTimeout >= 0) {
      EXPECT_LT(IndexOf(events, Event("unit-finished", "1-1")), firstTimeout);
      EXPECT_LT(IndexOf(events, Event("unit-finished", "1-3")), firstTimeout);
    }
    EXPECT_EQ(rig.Lines().back(), "Station: 2 succeeded, 1 failed");
  }
}

// Recorded into a folder (--record), each arrival gets a file of its own.
TEST(Station, AReplugIsANewUnit) {
  TStationRig rig;
  rig.Osd = rig.Firmware("osd.bin", 10);
  TRigProgrammer& first = rig.Plug("SAME", "1-1");
  QTemporaryDir folder;
  std::string error;
  std::shared_ptr<hid::record::TRecordingWriter> recorder =
      hid::record::TRecordingWriter::ToFolder(folder.filePath("units").toStdString(), {rig.Osd}, error);
  ASSERT_TRUE(recorder) << error;
  rig.Configure([&](TStationConfig& config) {
    config.Units = 2;
    config.UnitPlatform = [&] {
      return std::make_shared<hid::record::TRecordingHidPlatform>(rig.PlatformPtr(), recorder);
    };
  });
  TRigProgrammer* second = nullptr;
  rig.When([&] { return rig.Events("unit-finished").size() == 1; }, [&] { rig.Unplug(first); });
  rig.When([&] { return rig.Events("unit-removed").size() == 1; }, [&] { second = &rig.Plug("SAME", "1-1"); });
  ASSERT_EQ(rig.Run(), 0);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(rig.Records().size(), 2u);
  // The two arrivals of one programmer differ by their arrival number, in
  // every unit event and in the records.
  std::vector<int> arrivals;
  for (const QJsonObject& event : rig.Events())
    if (event.contains("unit")) arrivals.push_back(event["unit"]["arrival"].toInt());
  ASSERT_FALSE(arrivals.empty());
  EXPECT_EQ(arrivals.front(), 1);
  EXPECT_EQ(arrivals.back(), 2);
  EXPECT_TRUE(std::is_sorted(arrivals.begin(), arrivals.end()));
  EXPECT_EQ(rig.Records()[1]["unit"].toObject()["arrival"].toInt(), 2);
  EXPECT_EQ(rig.Events("unit-arrived").size(), 2u);
  EXPECT_EQ(first.Emulator->BlockCount(emulator::TargetOsd), 10);
  EXPECT_EQ(second->Emulator->BlockCount(emulator::TargetOsd), 10);
  ASSERT_TRUE(recorder->Finish(error)) << error;
  const QStringList files = QDir(folder.filePath("units")).entryList(QDir::Files, QDir::Name);
  ASSERT_EQ(files, (QStringList{"unit-1-1-2.jsonl", "unit-1-1.jsonl"}));
  for (const QString& file : files) {
    hid::record::TRecording recording;
    ASSERT_TRUE(hid::record::ReadRecordingFile(folder.filePath("units/" + file).toStdString(), recording, error))
        << error;
    ASSERT_EQ(recording.Devices.size(), 1u);
    EXPECT_EQ(recording.Devices[0].Identity.PortPath, "1-1");
  }
}

// Unplugged mid-job: the record names the cause and the confirmed blocks, the
// unit ends right after its removal, no resend goes out to a programmer that
// has gone, and the last progress event tells the blocks confirmed.
TEST(Station, AnUnplugMidJobIsRecordedAsSuch) {
  TStationRig rig(100);
  rig.Osd = rig.Firmware("osd.bin", 60);
  TRigProgrammer& programmer = rig.Plug("GONE", "1-1");
  programmer.Emulator->AddRule(Blocks(TFaultAction::Delayed(5)));
  rig.Configure([](TStationConfig& config) { config.Units = 1; });
  rig.When([&] { return programmer.Emulator->BlockCount(emulator::TargetOsd) >= 10; }, [&] { rig.Unplug(programmer); });
  EXPECT_EQ(rig.Run(), 1);
  ASSERT_EQ(rig.Records().size(), 1u);
  const std::string reason = rig.Records()[0]["reason"].toString().toStdString();
  const std::string head = "the programmer was unplugged during the osd job, ";
  ASSERT_EQ(reason.rfind(head, 0), 0u) << reason;
  const int confirmed = std::stoi(reason.substr(head.size()));
  EXPECT_EQ(reason, head + std::to_string(confirmed) + " of 60 blocks confirmed");
  EXPECT_GE(confirmed, 9);
  const std::vector<QJsonObject> progress = rig.Events("progress");
  ASSERT_FALSE(progress.empty());
  EXPECT_EQ(progress.back()["block"].toInt(), confirmed);
  EXPECT_TRUE(rig.Events("retry").empty());
  // Well within the reply wait of six 100 ms ticks.
  const auto time = [](const QJsonObject& event) {
    return QDateTime::fromString(event["time"].toString(), Qt::ISODateWithMs);
  };
  EXPECT_LT(time(rig.Events("unit-removed")[0]).msecsTo(time(rig.Events("unit-finished")[0])), 300);
}

TEST(Station, FiltersServeOnlyTheUnitsAskedFor) {
  struct Case {
    std::vector<std::string> Ports, Serials;
    std::set<std::string> Served;  // ports
  } cases[] = {
      {{"1-2"}, {}, {"1-2"}},
      {{}, {"PRG-2"}, {"1-2", "1-3"}},
      {{"1-1"}, {"PRG-2"}, {"1-1", "1-2", "1-3"}},  // a unit matching any one filter is served
      {{}, {"prg-1"}, {"1-1"}},                      // serials in any letter case
  };
  for (const Case& c : cases) {
    TStationRig rig;
    rig.Osd = rig.Firmware("osd.bin", 5);
    rig.Plug("PRG-1", "1-1");
    rig.Plug("PRG-2", "1-2");
    rig.Plug("PRG-2", "1-3");
    rig.Configure([&](TStationConfig& config) {
      config.Ports = c.Ports;
      config.Serials = c.Serials;
      config.Units = static_cast<int>(c.Served.size());
    });
    ASSERT_EQ(rig.Run(), 0);
    for (const auto& programmer : rig.Programmers()) {
      const bool served = c.Served.count(programmer->Port) != 0;
      EXPECT_EQ(programmer->Emulator->ReportCount() > 0, served) << programmer->Port;
    }
    const Lines errors = rig.Errors();
    EXPECT_EQ(std::count_if(errors.begin(), errors.end(),
                            [](const std::string& e) { return e.find("left alone") != std::string::npos; }),
              static_cast<long>(3 - c.Served.size()));
  }
}

TEST(Station, IdleExitEndsARunWithoutUnitsOrAfterTheLastLeft) {
  {
    TStationRig rig;
    rig.Osd = rig.Firmware("osd.bin", 5);
    rig.Configure([](TStationConfig& config) { config.IdleExitSeconds = 0.1; });
    EXPECT_EQ(rig.Run(), 3);
    EXPECT_EQ(rig.Events("station-finished")[0]["exit_code"].toInt(), 3);
  }
  TStationRig rig;
  rig.Osd = rig.Firmware("osd.bin", 5);
  TRigProgrammer& programmer = rig.Plug("A", "1-1");
  rig.Configure([](TStationConfig& config) { config.IdleExitSeconds = 0.1; });
  rig.When([&] { return rig.Events("unit-finished").size() == 1; }, [&] { rig.Unplug(programmer); });
  EXPECT_EQ(rig.Run(), 0);
  EXPECT_EQ(rig.Records().size(), 1u);

  // Operators leave the last units in: a finished unit still plugged in is idle.
  TStationRig leftIn;
  leftIn.Osd = leftIn.Firmware("osd.bin", 5);
  leftIn.Plug("A", "1-1");
  leftIn.Plug("B", "1-2");
  leftIn.Configure([](TStationConfig& config) { config.IdleExitSeconds = 0.1; });
  EXPECT_EQ(leftIn.Run(5000), 0);
  EXPECT_EQ(leftIn.Records().size(), 2u);
}

TEST(Station, AnInterruptBreaksTheRunningUnits) {
  TStationRig rig;
  rig.UsbHost = rig.Firmware("host.bin", 400);
  rig.Osd = rig.Firmware("osd.bin", 5);
  for (int i = 1; i <= 3; ++i) {
    const std::string n = std::to_string(i);
    rig.Plug(std::string("P").append(n), std::string("1-").append(n)).Emulator->AddRule(Blocks(TFaultAction::Delayed(2)));
  }
  rig.Configure();
  rig.When(
      [&] {
        return std::all_of(rig.Programmers().begin(), rig.Programmers().end(),
                           [](const auto& p) { return p->Emulator->BlockCount(emulator::TargetUsbHost) >= 3; });
      },
      [&] { rig.Station().Interrupt(); });
  ASSERT_EQ(rig.Run(), 4);
  const Lines lines = rig.Lines();
  for (const auto& programmer : rig.Programmers()) {
    const Lines mine = UnitLines(lines, "[" + programmer->Port + " " + programmer->Serial + "] ");
    ASSERT_FALSE(mine.empty());
    EXPECT_EQ(mine.back(), "User break");
    EXPECT_EQ(programmer->Emulator->ReportCount() > 0, true);
    EXPECT_EQ(programmer->Emulator->BlockCount(emulator::TargetOsd), 0);
  }
  for (const QJsonObject& record : rig.Records()) {
    EXPECT_FALSE(record["ok"].toBool());
    EXPECT_EQ(record["results"].toObject(), (QJsonObject{{"usb-host", -99}}));
  }
  EXPECT_EQ(rig.Events("station-finished")[0]["exit_code"].toInt(), 4);
}

// Every resend of a block is an event, the unannounced first one included;
// the log keeps only the window's two retry lines.
TEST(Station, EachResendOfABlockIsARetryEvent) {
  TStationRig rig;
  rig.Osd = rig.Firmware("osd.bin", 6);
  TRigProgrammer& programmer = rig.Plug("RETRY", "1-1");
  for (int occurrence = 1; occurrence <= 3; ++occurrence)
    programmer.Emulator->AddRule({{emulator::CmdBlockWrite, {}, 3, occurrence}, TFaultKind::Drop});
  rig.Configure([](TStationConfig& config) { config.Units = 1; });
  ASSERT_EQ(rig.Run(), 0);
  const std::vector<QJsonObject> retries = rig.Events("retry");
  ASSERT_EQ(retries.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(retries[i]["target"].toString(), "osd");
    EXPECT_EQ(retries[i]["block"].toInt(), 3);
    EXPECT_EQ(retries[i]["attempt"].toInt(), i + 2);
    EXPECT_EQ(retries[i]["reason"].toString().toStdString(), "Retry KVM Programmer (2) [3]: #" + std::to_string(i + 1));
  }
  const Lines lines = UnitLines(rig.Lines(), "[1-1 RETRY] ");
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const std::string& line) { return line.rfind("Retry", 0) == 0; }), 2);
}

}  // namespace
}  // namespace kvm::station::test
