// The station window over the simulated bus: eight units with mixed faults
// end in their colours and texts, the tally adds up, a replug makes a new
// tile, the log filters by unit, a recipe's refusal, and closing while units
// run leaves every record.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QPushButton>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include "WaitFor.h"
#include "emulator/ProgrammerEmulator.h"
#include "station/Recipe.h"
#include "app/station/UnitTile.h"
#include "app/station/demo/StationDemo.h"

namespace kvm::stationwindow {
namespace {

using demo::TDemoFault;
using demo::TStationDemo;
using test::WaitFor;

std::vector<QJsonObject> JsonLines(const std::string& path) {
  std::vector<QJsonObject> objects;
  QFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::ReadOnly)) return objects;
  for (const QByteArray& line : file.readAll().split('\n'))
    if (!line.isEmpty()) objects.push_back(QJsonDocument::fromJson(line).object());
  return objects;
}

class StationWindowTest : public ::testing::Test {
 protected:
  void Make(int replyDelayMs, int hostBlocks, int osdBlocks) {
    demo_ = std::make_unique<TStationDemo>(replyDelayMs, hostBlocks, osdBlocks);
    ASSERT_TRUE(demo_->Ready()) << demo_->Error();
    TStationWindowOptions options = demo_->WindowOptions(20);
    options.DrawMs = 10;
    window_ = std::make_unique<TStationWindow>(options);
    window_->SetFirmwareFile(TTarget::UsbHost, QString::fromStdString(demo_->UsbHostFile()));
    window_->SetFirmwareFile(TTarget::Osd, QString::fromStdString(demo_->OsdFile()));
    window_->SetLogFile(QString::fromStdString(LogPath()));
    window_->SetEventsFile(QString::fromStdString(demo_->FolderPath("events.jsonl")));
    window_->show();
    pull_.setInterval(5);
    QObject::connect(&pull_, &QTimer::timeout, [this] { demo_->PullMidJobUnits(); });
    pull_.start();
  }
  std::string LogPath() const { return demo_->FolderPath("trace.jsonl"); }
  const TTile* Tile(const std::string& port) const {
    for (const TTile& tile : window_->Board().Tiles())
      if (tile.Port == port) return &tile;
    return nullptr;
  }
  void TearDown() override {
    if (window_) {
      window_->StopClicked();
      EXPECT_TRUE(WaitFor([this] { return !window_->Running(); }, 20000));
    }
  }

  std::unique_ptr<TStationDemo> demo_;
  std::unique_ptr<TStationWindow> window_;
  QTimer pull_;
};

TEST_F(StationWindowTest, EightUnitsWithMixedFaultsEndInTheirColoursAndTheTallyAddsUp) {
  Make(1, 30, 10);
  window_->StartClicked();
  ASSERT_TRUE(window_->Running());
  struct Case {
    TDemoFault Fault;
    TColour Colour;
    const char* Status;  // the start of its text
    TLamp UsbHost, Osd;
  } cases[TStationDemo::Programmers] = {
      {TDemoFault::None, Blue, "Program OK", TLamp::Green, TLamp::Green},
      {TDemoFault::Silent, Red, "Enable Programmer failed : -2", TLamp::Red, TLamp::Red},
      {TDemoFault::None, Blue, "Program OK", TLamp::Green, TLamp::Green},
      {TDemoFault::BadCheckSum, Red, "Checksum mismatch", TLamp::Red, TLamp::Red},
      {TDemoFault::None, Blue, "Program OK", TLamp::Green, TLamp::Green},
      {TDemoFault::UnplugMidJob, Red, "the programmer was unplugged during the usb-host job", TLamp::Red, TLamp::Gray},
      {TDemoFault::None, Blue, "Program OK", TLamp::Green, TLamp::Green},
      {TDemoFault::None, Blue, "Program OK", TLamp::Green, TLamp::Green},
  };
  // Plugged in reverse: the tiles still stand in port order.
  for (int i = TStationDemo::Programmers - 1; i >= 0; --i) demo_->Plug(i, cases[i].Fault);
  ASSERT_TRUE(WaitFor([this] { return window_->Board().Tally().Finished() == TStationDemo::Programmers; }, 30000))
      << window_->TallyText().toStdString();
  window_->Draw();

  const std::vector<const TUnitTile*> tiles = window_->ShownTiles();
  ASSERT_EQ(tiles.size(), 8u);
  for (int i = 0; i < TStationDemo::Programmers; ++i) {
    SCOPED_TRACE(demo::FaultName(cases[i].Fault));
    const TUnitTile& tile = *tiles[static_cast<std::size_t>(i)];
    EXPECT_EQ(tile.Title().toStdString(), demo_->Programmer(i).Port + "  " + demo_->Programmer(i).Serial);
    EXPECT_TRUE(tile.StatusText().startsWith(cases[i].Status)) << tile.StatusText().toStdString();
    EXPECT_EQ(tile.StatusColour(), QColor(cases[i].Colour.R, cases[i].Colour.G, cases[i].Colour.B));
    EXPECT_EQ(tile.Lamp(TTarget::UsbHost), cases[i].UsbHost);
    EXPECT_EQ(tile.Lamp(TTarget::Osd), cases[i].Osd);
  }
  EXPECT_TRUE(window_->TallyText().startsWith("Programmed 5   Failed 3   Yield 62.5%")) << window_->TallyText().toStdString();

  // The log of one unit holds only its lines.
  window_->LogFilter()->setCurrentIndex(window_->LogFilter()->findData("[1-3 ZB240103] "));
  const QStringList lines = window_->LogText().split('\n');
  EXPECT_GT(lines.size(), 5);
  for (const QString& line : lines) EXPECT_TRUE(line.startsWith("[1-3 ZB240103] ")) << line.toStdString();

  // A programmer taken off frees its place; plugged in again it is a new unit.
  demo_->Unplug(0);
  ASSERT_TRUE(WaitFor([this] { return Tile("1-1") == nullptr; }, 5000));
  demo_->Plug(0, TDemoFault::None);
  ASSERT_TRUE(WaitFor([this] { return Tile("1-1") != nullptr; }, 5000));
  EXPECT_FALSE(Tile("1-1")->Finished);
  ASSERT_TRUE(WaitFor([this] { return window_->Board().Tally().Programmed == 6; }, 20000));
  window_->Draw();
  EXPECT_EQ(window_->ShownTiles().front()->StatusText(), "Program OK");

  window_->StopClicked();
  ASSERT_TRUE(WaitFor([this] { return !window_->Running(); }, 20000));
  const std::vector<QJsonObject> records = JsonLines(LogPath());
  EXPECT_EQ(records.size(), 9u);
  int ok = 0;
  for (const QJsonObject& record : records) ok += record["ok"].toBool() ? 1 : 0;
  EXPECT_EQ(ok, 6);
}

TEST_F(StationWindowTest, ClosingWhileUnitsRunStopsThemAndClosesOnceEveryRecordIsWritten) {
  Make(3, 2000, 10);
  window_->StartClicked();
  for (int i = 0; i < 3; ++i) demo_->Plug(i, TDemoFault::None);
  ASSERT_TRUE(WaitFor(
      [this] {
        const auto& tiles = window_->Board().Tiles();
        return tiles.size() == 3 && std::all_of(tiles.begin(), tiles.end(), [](const TTile& t) { return t.Position > 0; });
      },
      20000));
  window_->close();
  EXPECT_TRUE(window_->isVisible()) << "closed before the units' records were written";
  EXPECT_FALSE(window_->StopButton()->isEnabled());
  ASSERT_TRUE(WaitFor([this] { return !window_->isVisible(); }, 20000));
  EXPECT_FALSE(window_->Running());
  const std::vector<QJsonObject> records = JsonLines(LogPath());
  ASSERT_EQ(records.size(), 3u);
  for (const QJsonObject& record : records) {
    EXPECT_FALSE(record["ok"].toBool());
    EXPECT_TRUE(record["reason"].toString().startsWith("the run was interrupted during the usb-host job"))
        << record["reason"].toString().toStdString();
  }
  const std::vector<QJsonObject> events = JsonLines(demo_->FolderPath("events.jsonl"));
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.back()["event"].toString(), "station-finished");
  EXPECT_EQ(events.back()["exit_code"].toInt(), 4);
}

TEST_F(StationWindowTest, ARecipeLocksTheFilesAndAChangedFileIsRefusedBeforeAnyUnit) {
  Make(1, 10, 5);
  station::TFirmwareFile host, osd;
  std::string error;
  ASSERT_TRUE(station::CheckFirmwareFile(TTarget::UsbHost, demo_->UsbHostFile(), host, error)) << error;
  ASSERT_TRUE(station::CheckFirmwareFile(TTarget::Osd, demo_->OsdFile(), osd, error)) << error;
  // Saved from the window, read back as the operator's window would.
  const std::string path = demo_->FolderPath("line.json");
  ASSERT_TRUE(window_->SaveRecipe(QString::fromStdString(path))) << window_->MessageText().toStdString();
  EXPECT_FALSE(window_->SaveRecipe(QString::fromStdString(demo_->OsdFile()))) << "a firmware file was written over";
  EXPECT_TRUE(window_->MessageText().contains("an input of the station"));
  station::TRecipe recipe;
  ASSERT_TRUE(station::ReadRecipe(path, recipe, error)) << error;
  ASSERT_EQ(recipe.Files.size(), 2u);
  EXPECT_EQ(recipe.FileFor(TTarget::Osd)->Sha256, osd.Sha256);
  EXPECT_EQ(recipe.LogFile, LogPath());
  window_->UseRecipe(recipe);
  EXPECT_TRUE(window_->Locked());
  EXPECT_FALSE(window_->findChild<QComboBox*>("UsbHostFile")->isEnabled());
  EXPECT_TRUE(window_->FileText(TTarget::Osd).contains(osd.Sha256.left(12)));

  {
    QFile file(QString::fromStdString(demo_->OsdFile()));
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    file.seek(60);
    file.write("\x01\x02", 2);
  }
  demo_->Plug(0, TDemoFault::None);
  window_->StartClicked();
  ASSERT_TRUE(WaitFor([this] { return !window_->Running() && !window_->Board().Running(); }, 10000));
  window_->Draw();
  const std::string message = window_->MessageText().toStdString();
  EXPECT_NE(message.find(demo_->OsdFile() + " differs from the recipe"), std::string::npos) << message;
  EXPECT_NE(message.find(osd.Sha256.toStdString()), std::string::npos) << message;
  EXPECT_EQ(demo_->Programmer(0).Emulator->ReportCount(), 0u);
  EXPECT_TRUE(window_->Board().Tiles().empty());
  EXPECT_FALSE(QFile::exists(QString::fromStdString(LogPath())));
}

TEST(StationBoard, TilesStandInPortOrder) {
  struct Case {
    const char *Left, *Right;
    bool Before;
  } cases[] = {{"1-2", "1-10", true}, {"1-10", "1-2", false}, {"1-2", "1-2.1", true},
               {"2-1", "1-9", false}, {"1-3", "1-3", false}, {"1-2.4", "1-2.10", true}};
  for (const Case& c : cases) EXPECT_EQ(PortBefore(c.Left, c.Right), c.Before) << c.Left << " " << c.Right;
}

TEST(StationBoard, TheLogKeepsItsNewestEntriesOnly) {
  TStationBoard board;
  board.Start({TTarget::Osd}, 0);
  TFeedBatch batch;
  for (std::size_t i = 0; i <= TStationBoard::MaxLogEntries; ++i)
    batch.Items.push_back({TFeedItem::TKind::Line, {}, "[1-1 A] line " + std::to_string(i), 0});
  board.Apply(std::move(batch), 0);
  EXPECT_EQ(board.LogDropped() + board.Log().size(), TStationBoard::MaxLogEntries + 1);
  EXPECT_LT(board.Log().size(), TStationBoard::MaxLogEntries);
  EXPECT_EQ(board.Log().back().Text, "[1-1 A] line " + std::to_string(TStationBoard::MaxLogEntries));
  EXPECT_EQ(board.Log().back().Unit, "[1-1 A] ");
}

}  // namespace
}  // namespace kvm::stationwindow
