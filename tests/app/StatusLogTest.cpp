// The status line, the status bar panels, the history log and the lamps as
// the other subsystems drive them.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QProgressBar>

#include "FormTestSupport.h"
#include "app/StatusBar.h"

namespace kvm::app::test {
namespace {

std::vector<std::string> LogLines(const TMainForm& form) {
  std::vector<std::string> lines;
  for (int i = 0; i < form.HistoryListBox->count(); ++i) lines.push_back(form.HistoryListBox->item(i)->text().toStdString());
  return lines;
}

QColor LabelColour(const TMainForm& form) { return form.StatusLabel->palette().color(QPalette::WindowText); }

TEST(AppStatusLog, ReportStatusWritesLinePanelAndSelectedLogLine) {
  TFormFixture f;
  TMainForm& form = *f.Form;
  form.ReportStatus("Program OK", Blue);
  EXPECT_EQ(form.GetStatusText(), "Program OK");
  EXPECT_EQ(form.StatusLabel->text(), "Program OK");
  EXPECT_EQ(form.GetStatusPanel(1), "Program OK");
  EXPECT_EQ(form.GetStatusPanel(0), "");
  EXPECT_EQ(form.GetStatusPanel(2), "");
  EXPECT_EQ(LogLines(form), std::vector<std::string>{"Program OK"});
  EXPECT_EQ(form.HistoryListBox->currentRow(), 0);

  form.ReportStatus("Enable Programmer failed : -2", Red);
  EXPECT_EQ(form.GetStatusColour(), Red);
  EXPECT_EQ(LabelColour(form), QColor(255, 0, 0));
  EXPECT_EQ(form.GetStatusPanel(1), "Enable Programmer failed : -2");
  EXPECT_EQ(form.HistoryListBox->currentRow(), 1);
  ASSERT_EQ(form.HistoryListBox->selectedItems().size(), 1);
  EXPECT_EQ(form.HistoryListBox->selectedItems().front()->text(), "Enable Programmer failed : -2");
}

TEST(AppStatusLog, ColoursAreTheExactStatusColours) {
  TFormFixture f;
  TMainForm& form = *f.Form;
  form.ShowStatus("Scanning...", Green);
  EXPECT_EQ(LabelColour(form), QColor(0, 128, 0));
  EXPECT_EQ(form.GetStatusColour(), Green);
  form.SetStatusColour(Blue);
  EXPECT_EQ(LabelColour(form), QColor(0, 0, 255));
  EXPECT_EQ(form.GetStatusText(), "Scanning...") << "a colour change keeps the text";
}

TEST(AppStatusLog, ShowStatusNeitherLogsNorTouchesThePanels) {
  TFormFixture f;
  TMainForm& form = *f.Form;
  form.ReportStatus("first", Red);
  form.ShowStatus("Enable Programmer...");
  EXPECT_EQ(form.GetStatusText(), "Enable Programmer...");
  EXPECT_EQ(form.GetStatusColour(), Red) << "without a colour the colour stays";
  EXPECT_EQ(form.GetStatusPanel(1), "first");
  EXPECT_EQ(LogLines(form), std::vector<std::string>{"first"});
}

TEST(AppStatusLog, StatusLabelGrowsWithItsText) {
  TFormFixture f;
  TMainForm& form = *f.Form;
  form.ShowStatus("OK");
  const int shortWidth = form.StatusLabel->width();
  form.ShowStatus("Checksum mismatch, File=01FE, Chip=01FF");
  EXPECT_GT(form.StatusLabel->width(), shortWidth);
  EXPECT_GE(form.StatusLabel->width(), form.StatusLabel->fontMetrics().horizontalAdvance(form.StatusLabel->text()));
  EXPECT_EQ(form.StatusLabel->height(), 16);
}

TEST(AppStatusLog, LogBlankAppendsWithoutMovingTheSelection) {
  TFormFixture f;
  TMainForm& form = *f.Form;
  form.LogLine("Scanning...");
  form.LogBlank();
  EXPECT_EQ(LogLines(form), (std::vector<std::string>{"Scanning...", ""}));
  EXPECT_EQ(form.HistoryListBox->currentRow(), 0);
  form.LogLine("Target : OSD");
  EXPECT_EQ(form.HistoryListBox->currentRow(), 2);
  // A blank as the very first line selects nothing.
  TFormFixture empty;
  empty.Form->LogBlank();
  EXPECT_EQ(empty.Form->HistoryListBox->count(), 1);
  EXPECT_TRUE(empty.Form->HistoryListBox->selectedItems().isEmpty());
}

TEST(AppStatusLog, TheLogHasNoLineLimit) {
  TFormFixture f;
  TMainForm& form = *f.Form;
  for (int i = 0; i < 3000; ++i) form.LogLine("line " + std::to_string(i));
  EXPECT_EQ(form.HistoryListBox->count(), 3000);
  EXPECT_EQ(form.HistoryListBox->item(0)->text(), "line 0");
  EXPECT_EQ(form.HistoryListBox->currentRow(), 2999);
}

TEST(AppStatusLog, TheNewestLineScrollsIntoView) {
  TFormFixture f;
  TMainForm& form = *f.Form;
  form.show();
  for (int i = 0; i < 40; ++i) form.LogLine("line " + std::to_string(i));
  form.LogBlank();
  QListWidget& log = *form.HistoryListBox;
  const QRect shown = log.viewport()->rect();
  EXPECT_TRUE(shown.contains(log.visualItemRect(log.item(39)))) << "the selected line is in view";
  EXPECT_FALSE(shown.intersects(log.visualItemRect(log.item(0))));
  EXPECT_EQ(log.visualItemRect(log.item(39)).height(), 16);
}

// Status, panels, lamp and file boxes must survive a cleared log.
class AppClearLog : public ::testing::Test {
 protected:
  void SetUp() override {
    form.ReportStatus("Program OK", Blue);
    form.SetStatusPanel(0, "07");
    form.SetStatusPanel(2, "Zorbek KVM Programmer");
    form.SetConnectLamp(true);
    form.ComboBox1->setEditText("/fw/a.USB");
    form.LogBlank();
    form.LogLine("Target : USB Host");
  }
  void ExpectOnlyTheLogCleared() {
    EXPECT_EQ(form.HistoryListBox->count(), 0);
    EXPECT_EQ(form.GetStatusText(), "Program OK");
    EXPECT_EQ(form.GetStatusColour(), Blue);
    EXPECT_EQ(form.GetStatusPanel(0), "07");
    EXPECT_EQ(form.GetStatusPanel(1), "Program OK");
    EXPECT_EQ(form.GetStatusPanel(2), "Zorbek KVM Programmer");
    EXPECT_EQ(form.ConnectBallImage->pixmap().toImage(), form.Green_Image->pixmap().toImage());
    EXPECT_EQ(form.ComboBox1->currentText(), "/fw/a.USB");
  }
  TFormFixture f;
  TMainForm& form = *f.Form;
};

TEST_F(AppClearLog, FromThePopupMenu) {
  const QList<QAction*> actions = form.PopupMenu1->actions();
  ASSERT_EQ(actions.size(), 2);
  EXPECT_EQ(actions[0]->text(), "Clear &Log");
  EXPECT_EQ(actions[1]->text(), "Clear All &File List");
  EXPECT_EQ(form.HistoryListBox->contextMenuPolicy(), Qt::CustomContextMenu);
  actions[0]->trigger();
  ExpectOnlyTheLogCleared();
}

TEST_F(AppClearLog, ByDoubleClickAnywhereInTheLog) {
  QWidget* viewport = form.HistoryListBox->viewport();
  // Below the last line, where there is no item to click.
  const QPointF at(20, viewport->height() - 5);
  QMouseEvent click(QEvent::MouseButtonDblClick, at, viewport->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  QApplication::sendEvent(viewport, &click);
  ExpectOnlyTheLogCleared();
}

TEST(AppStatusLog, PanelsTakeTextByIndexAndRefuseOthers) {
  TFormFixture f;
  TMainForm& form = *f.Form;
  form.SetStatusPanel(0, "1:15");
  form.SetStatusPanel(2, "Zorbek KVM Programmer");
  EXPECT_EQ(form.ProgStatusBar->Panel(0)->text(), "1:15");
  EXPECT_EQ(form.GetStatusPanel(2), "Zorbek KVM Programmer");
  form.SetStatusPanel(3, "nowhere");
  form.SetStatusPanel(-1, "nowhere");
  EXPECT_EQ(form.GetStatusPanel(3), "");
  EXPECT_EQ(form.GetStatusPanel(0), "1:15");
  EXPECT_EQ(form.GetStatusPanel(1), "");
}

TEST(AppStatusLog, LampsCopyTheSourcePictures) {
  TFormFixture f;
  TMainForm& form = *f.Form;
  auto picture = [](const QLabel* label) { return label->pixmap().toImage(); };
  form.SetConnectLamp(true);
  EXPECT_EQ(picture(form.ConnectBallImage), picture(form.Green_Image));
  form.SetConnectLamp(false);
  EXPECT_EQ(picture(form.ConnectBallImage), picture(form.Gray_Image));

  form.SetTargetLamp(TTarget::UsbHost, TLampPicture::BlueBall);
  form.SetTargetLamp(TTarget::Osd, TLampPicture::Red);
  EXPECT_EQ(picture(form.Image1), picture(form.Blue_Image));
  EXPECT_EQ(picture(form.Image5), picture(form.Red_Image));
  form.SetTargetLamp(TTarget::UsbHost, TLampPicture::Green);
  EXPECT_EQ(picture(form.Image1), picture(form.Green_Image));
  EXPECT_EQ(picture(form.Image5), picture(form.Red_Image)) << "the other lamp keeps its picture";
  form.SetTargetLamp(TTarget::Osd, TLampPicture::Gray);
  EXPECT_EQ(picture(form.Image5), picture(form.Gray_Image));
}

TEST(AppStatusLog, ProgressBarFollowsTheBlocks) {
  TFormFixture f;
  TMainForm& form = *f.Form;
  form.SetProgress(0, 3);
  EXPECT_EQ(form.ProgramProgressBar->maximum(), 3);
  EXPECT_EQ(form.ProgramProgressBar->value(), 0);
  form.StepProgress();
  form.StepProgress();
  form.StepProgress();
  EXPECT_EQ(form.ProgramProgressBar->value(), 3);
  form.StepProgress();
  EXPECT_EQ(form.ProgramProgressBar->value(), 3) << "a step past the end stays full";
  // An empty range must not turn the bar into a busy indicator.
  form.SetProgress(0, 0);
  EXPECT_GT(form.ProgramProgressBar->maximum(), form.ProgramProgressBar->minimum());
  EXPECT_EQ(form.ProgramProgressBar->value(), 0);
}

}  // namespace
}  // namespace kvm::app::test
