// The station window on the real Linux back end (hidraw, udev, the
// exclusive hold) against three programmers emulated with umockdev.
#include <gtest/gtest.h>

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <fstream>

#include "EmulatedProgrammer.h"
#include "UmockdevHid.h"
#include "WaitFor.h"
#include "app/station/StationWindow.h"
#include "app/station/UnitTile.h"

namespace kvm::stationwindow {
namespace {

using emulator::TProgrammerEmulator;
using test::TUmockdevHid;

TEST(StationWindowUmockdev, ThreeUnitsOnHidrawEachGetATileAndARecord) {
  if (!TUmockdevHid::Available()) GTEST_SKIP() << "umockdev preload not active: hidraw emulation unavailable";
  QTemporaryDir folder;
  qputenv("XDG_RUNTIME_DIR", folder.path().toUtf8());
  TUmockdevHid bed;
  std::vector<std::shared_ptr<TProgrammerEmulator>> programmers;
  for (const char* serial : {"A1", "B2", "C3"}) {
    programmers.push_back(std::make_shared<TProgrammerEmulator>());
    test::TEmulatedHid programmer = TUmockdevHid::Programmer();
    programmer.Serial = serial;
    bed.Plug(programmer, test::ServeEmulator(programmers.back()));
  }
  const QString osd = folder.filePath("osd.bin");
  {
    std::vector<char> image(48 + 56 * 9);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<char>(i * 5 + 3);
    std::ofstream(osd.toStdString(), std::ios::binary).write(image.data(), static_cast<std::streamsize>(image.size()));
  }
  const QString log = folder.filePath("trace.jsonl");

  TStationWindowOptions options;  // the machine's own devices
  options.TickMs = 50;
  options.DrawMs = 10;
  TStationWindow window(options);
  window.SetFirmwareFile(TTarget::Osd, osd);
  window.SetLogFile(log);
  window.show();
  window.StartClicked();
  ASSERT_TRUE(test::WaitFor([&] { return window.Board().Tally().Finished() == 3; }, 20000))
      << window.TallyText().toStdString() << "\n" << window.LogText().toStdString();
  window.Draw();
  const std::vector<const TUnitTile*> tiles = window.ShownTiles();
  ASSERT_EQ(tiles.size(), 3u);
  const char* titles[] = {"1-1  A1", "1-2  B2", "1-3  C3"};
  for (std::size_t i = 0; i < tiles.size(); ++i) {
    EXPECT_EQ(tiles[i]->Title().toStdString(), titles[i]);
    EXPECT_EQ(tiles[i]->StatusText(), "Program OK");
    EXPECT_EQ(tiles[i]->StatusColour(), QColor(0, 0, 255));
    EXPECT_EQ(tiles[i]->Lamp(TTarget::Osd), TLamp::Green);
  }
  for (const auto& programmer : programmers) EXPECT_EQ(programmer->BlockCount(emulator::TargetOsd), 10);
  window.StopClicked();
  ASSERT_TRUE(test::WaitFor([&] { return !window.Running(); }, 10000));
  QFile file(log);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QList<QByteArray> lines = file.readAll().trimmed().split('\n');
  ASSERT_EQ(lines.size(), 3);
  for (const QByteArray& line : lines) EXPECT_TRUE(QJsonDocument::fromJson(line).object()["ok"].toBool()) << line.toStdString();
}

}  // namespace
}  // namespace kvm::stationwindow
