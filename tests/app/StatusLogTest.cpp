// The status line, panels, log, lamps and progress bar as the subsystems
// drive them, and the commands that clear the log.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QProgressBar>

#include "FormTestSupport.h"

namespace kvm::app::test {
namespace {

QStringList Log(const TMainForm& form) {
  QStringList lines;
  for (int i = 0; i < form.HistoryListBox->count(); ++i) lines << form.HistoryListBox->item(i)->text();
  return lines;
}

TEST(AppStatusLog, ReportStatusShowStatusAndLogBlank) {
  TFormFixture f;
  TMainForm& form = *f.Form;
  form.LogLine("Scanning...");
  form.LogBlank();
  EXPECT_EQ(form.HistoryListBox->currentRow(), 0) << "a blank line does not move the selection";
  form.ReportStatus("Enable Programmer failed : -2", Red);
  EXPECT_EQ(form.StatusLabel->text(), "Enable Programmer failed : -2");
  EXPECT_EQ(form.StatusLabel->palette().color(QPalette::WindowText), QColor(255, 0, 0));
  EXPECT_EQ(form.GetStatusPanel(1), "Enable Programmer failed : -2");
  EXPECT_EQ(Log(form), QStringList({"Scanning...", "", "Enable Programmer failed : -2"}));
  EXPECT_EQ(form.HistoryListBox->currentRow(), 2);

  form.ShowStatus("Get chip ID...");  // status line only, colour kept
  EXPECT_EQ(form.GetStatusText(), "Get chip ID...");
  EXPECT_EQ(form.GetStatusColour(), Red);
  EXPECT_EQ(form.GetStatusPanel(1), "Enable Programmer failed : -2");
  EXPECT_EQ(form.HistoryListBox->count(), 3);
  form.ShowStatus("Scanning...", Green);
  EXPECT_EQ(form.StatusLabel->palette().color(QPalette::WindowText), QColor(0, 128, 0));
  form.SetStatusColour(Blue);
  EXPECT_EQ(form.GetStatusColour(), Blue);
  EXPECT_EQ(form.GetStatusText(), "Scanning...");
  EXPECT_GE(form.StatusLabel->width(), form.StatusLabel->fontMetrics().horizontalAdvance("Scanning..."));
}

TEST(AppStatusLog, LogIsUnlimitedAndTheNewestLineScrollsIntoView) {
  TFormFixture f;
  TMainForm& form = *f.Form;
  form.show();
  for (int i = 0; i < 1000; ++i) form.LogLine("line " + std::to_string(i));
  QListWidget& log = *form.HistoryListBox;
  EXPECT_EQ(log.count(), 1000);
  EXPECT_TRUE(log.viewport()->rect().contains(log.visualItemRect(log.item(999))));
  EXPECT_EQ(log.visualItemRect(log.item(999)).height(), 16);
}

TEST(AppStatusLog, PanelsLampsAndProgress) {
  TFormFixture f;
  TMainForm& form = *f.Form;
  form.SetStatusPanel(0, "1:15");
  form.SetStatusPanel(3, "nowhere");  // refused with a warning
  EXPECT_EQ(form.GetStatusPanel(0), "1:15");
  EXPECT_EQ(form.GetStatusPanel(3), "");

  form.SetConnectLamp(true);
  EXPECT_EQ(Picture(form.ConnectBallImage), Picture(form.Green_Image));
  form.SetTargetLamp(TTarget::UsbHost, TLampPicture::BlueBall);
  form.SetTargetLamp(TTarget::Osd, TLampPicture::Red);
  EXPECT_EQ(Picture(form.Image1), Picture(form.Blue_Image));
  EXPECT_EQ(Picture(form.Image5), Picture(form.Red_Image));

  form.SetProgress(0, 2);
  for (int step = 0; step < 3; ++step) form.StepProgress();
  EXPECT_EQ(form.ProgramProgressBar->value(), 2) << "a step past the end stays full";
  form.SetProgress(0, 0);
  EXPECT_GT(form.ProgramProgressBar->maximum(), 0) << "no busy indicator for an empty range";
}

// Clearing the log leaves status, panels, lamp and file boxes alone.
class AppClearLog : public ::testing::Test {
 protected:
  void SetUp() override {
    form.ReportStatus("Program OK", Blue);
    form.SetStatusPanel(0, "07");
    form.SetConnectLamp(true);
    form.ComboBox1->setEditText("/fw/a.USB");
    form.LogBlank();
  }
  void TearDown() override {
    EXPECT_EQ(form.HistoryListBox->count(), 0);
    EXPECT_EQ(form.GetStatusText(), "Program OK");
    EXPECT_EQ(form.GetStatusPanel(0) + form.GetStatusPanel(1), "07Program OK");
    EXPECT_EQ(Picture(form.ConnectBallImage), Picture(form.Green_Image));
    EXPECT_EQ(form.ComboBox1->currentText(), "/fw/a.USB");
  }
  TFormFixture f;
  TMainForm& form = *f.Form;
};

TEST_F(AppClearLog, FromThePopupMenu) {
  ASSERT_EQ(form.PopupMenu1->actions().size(), 2);
  EXPECT_EQ(form.PopupMenu1->actions()[1]->text(), "Clear All &File List");
  EXPECT_EQ(form.PopupMenu1->actions()[0]->text(), "Clear &Log");
  form.PopupMenu1->actions()[0]->trigger();
}

TEST_F(AppClearLog, ByDoubleClickBelowTheLastLine) {
  QWidget* viewport = form.HistoryListBox->viewport();
  const QPointF at(20, viewport->height() - 5);
  QMouseEvent click(QEvent::MouseButtonDblClick, at, viewport->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  QApplication::sendEvent(viewport, &click);
}

}  // namespace
}  // namespace kvm::app::test
