// The window as start-up leaves it: title, controls, empty displays, the
// version-dependent growth and the layout baseline.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QToolButton>

#include "FormTestSupport.h"
#include "WaitFor.h"
#include "app/StatusBar.h"

namespace kvm::app::test {
namespace {

QImage Picture(const QLabel* label) { return label->pixmap().toImage(); }

TEST(AppStartup, TitleAndEmptyDisplays) {
  TFormFixture f;
  TMainForm& form = *f.Form;
  EXPECT_EQ(form.windowTitle(), "Zorbek Firmware Update Utility V1.0");
  EXPECT_EQ(form.State().BrandName, "Zorbek");
  EXPECT_EQ(form.GetStatusText(), "");
  for (int panel = 0; panel < 3; ++panel) EXPECT_EQ(form.GetStatusPanel(panel), "") << "panel " << panel;
  EXPECT_EQ(form.GetStatusColour(), Blue);
  EXPECT_EQ(form.HistoryListBox->count(), 0);
  EXPECT_EQ(form.ComboBox1->count(), 0);
  EXPECT_EQ(form.ComboBox5->currentText(), "");
  EXPECT_EQ(form.ProgramProgressBar->value(), 0);
  EXPECT_EQ(form.ProgramProgressBar->maximum(), 100);
}

TEST(AppStartup, StateAndButtonsAsDesigned) {
  TFormFixture f;
  TMainForm& form = *f.Form;
  EXPECT_FALSE(form.State().Connected);
  EXPECT_FALSE(form.State().UserBreak);
  EXPECT_EQ(form.State().ProgrammerDevice, nullptr);
  // Enabled as designed: only the first scan decides otherwise.
  EXPECT_TRUE(form.InProgButton->isEnabled());
  EXPECT_FALSE(form.IsBreakVisible());
  EXPECT_FALSE(form.IsTargetChecked(TTarget::UsbHost));
  EXPECT_FALSE(form.IsTargetChecked(TTarget::Osd));
  EXPECT_FALSE(form.IsAutoChecked());
  EXPECT_EQ(form.TickMs(), TestTickMs);
}

TEST(AppStartup, LampsAreGrayAndSourcePicturesHidden) {
  TFormFixture f;
  TMainForm& form = *f.Form;
  const QImage gray = Picture(form.Gray_Image);
  EXPECT_EQ(gray.size(), QSize(32, 32));
  EXPECT_EQ(Picture(form.ConnectBallImage), gray);
  EXPECT_EQ(Picture(form.Image1), gray);
  EXPECT_EQ(Picture(form.Image5), gray);
  EXPECT_NE(Picture(form.Blue_Image), gray);
  for (const QLabel* source : {form.Red_Image, form.Green_Image, form.Gray_Image, form.Blue_Image})
    EXPECT_TRUE(source->isHidden()) << source->objectName().toStdString();
  // The result lamps show the 32 x 32 picture squeezed into 16 x 16.
  EXPECT_EQ(form.Image1->size(), QSize(16, 16));
  EXPECT_TRUE(form.Image1->hasScaledContents());
  EXPECT_TRUE(form.DevListBox->isHidden());
}

TEST(AppStartup, ControlsCarryTheirDesignNamesAndPlaces) {
  TFormFixture f;
  const TMainForm& form = *f.Form;
  EXPECT_EQ(form.size(), QSize(674, 353));
  struct TPlace {
    const char* Name;
    QRect Geometry;
  };
  const TPlace places[] = {
      {"StatusLabel", {53, 18, -1, 16}},         {"ConnectBallImage", {15, 10, 32, 32}},
      {"ExitButton", {557, 17, 89, 25}},         {"BreakButton", {468, 17, 89, 25}},
      {"InnerGroupBox", {9, 48, 649, 113}},      {"HistoryListBox", {9, 167, 648, 148}},
      {"ProgramProgressBar", {8, 318, 657, 10}}, {"ProgStatusBar", {0, 331, 674, 22}},
      {"CheckBox1", {41, 25, 113, 17}},          {"ComboBox1", {211, 20, 396, 24}},
      {"SpeedButton1", {606, 21, 20, 22}},       {"CheckBox4", {41, 48, 113, 17}},
      {"ComboBox5", {211, 45, 396, 24}},         {"SpeedButton5", {606, 46, 20, 22}},
      {"Button7", {18, 78, 90, 25}},             {"Button6", {122, 78, 90, 25}},
      {"InAutoCheckBox", {337, 84, 56, 17}},     {"InProgButton", {404, 78, 90, 25}},
  };
  for (const TPlace& place : places) {
    const QWidget* control = Find<QWidget>(form, place.Name);
    if (control == nullptr) continue;
    QRect expected = place.Geometry;
    if (expected.width() < 0) expected.setWidth(control->width());  // auto width
    EXPECT_EQ(control->geometry(), expected) << place.Name;
  }
  EXPECT_EQ(Find<QPushButton>(form, "ExitButton")->text(), "Exit");
  EXPECT_EQ(Find<QGroupBox>(form, "InnerGroupBox")->title(), "On Board Programmer");
  EXPECT_EQ(Find<QCheckBox>(form, "CheckBox1")->text(), "USB Host");
  EXPECT_EQ(Find<QLabel>(form, "Label4")->text(), "Filename");
  EXPECT_EQ(Find<QToolButton>(form, "SpeedButton5")->text(), "...");
}

// Nothing may be cut off: each visible control lies inside its parent, and
// every caption fits its control with the window's font.
TEST(AppStartup, NothingIsClipped) {
  TFormFixture f;
  const TMainForm& form = *f.Form;
  for (const QWidget* control : form.findChildren<QWidget*>()) {
    if (control->isHidden() || control->isWindow() || control->objectName().isEmpty()) continue;
    const QWidget* parent = control->parentWidget();
    if (parent == form.ProgStatusBar || qobject_cast<const QAbstractScrollArea*>(parent) != nullptr) continue;
    EXPECT_TRUE(parent->rect().contains(control->geometry()))
        << control->objectName().toStdString() << " leaves its parent";
  }
  for (const QAbstractButton* button : form.findChildren<QAbstractButton*>()) {
    if (button->objectName().isEmpty()) continue;
    EXPECT_LE(button->fontMetrics().horizontalAdvance(button->text()) + 8, button->width())
        << button->objectName().toStdString();
  }
  for (const QCheckBox* box : {form.CheckBox1, form.CheckBox4, form.InAutoCheckBox})
    EXPECT_LE(box->sizeHint().width(), box->width()) << box->objectName().toStdString();
  // The "Filename" labels end before their combo boxes begin.
  EXPECT_LE(form.Label1->geometry().right(), form.ComboBox1->x());
  EXPECT_LE(form.Label4->geometry().right(), form.ComboBox5->x());
  EXPECT_LE(form.StatusLabel->fontMetrics().height(), 16);
}

TEST(AppStartup, StatusBarPanels) {
  TFormFixture f;
  const TPanelStatusBar& bar = *f.Form->ProgStatusBar;
  ASSERT_EQ(bar.PanelCount(), 3);
  EXPECT_EQ(bar.Panel(0)->width(), 50);
  EXPECT_EQ(bar.Panel(1)->width(), 400);
  EXPECT_TRUE(bar.Panel(0)->alignment() & Qt::AlignHCenter);
  EXPECT_TRUE(bar.Panel(1)->alignment() & Qt::AlignLeft);
  EXPECT_TRUE(bar.Panel(2)->alignment() & Qt::AlignLeft);
  // The last panel takes what is left up to the right edge.
  EXPECT_GE(bar.Panel(2)->width(), 50);
  EXPECT_GE(bar.Panel(2)->geometry().right(), bar.width() - 4);
  EXPECT_LT(bar.Panel(1)->geometry().right(), bar.Panel(2)->x());
}

TEST(AppStartup, NewerSystemGrowsTheWindow) {
  int queries = 0;
  TFormFixture f([&] {
    ++queries;
    return std::optional<int>(6);
  });
  const TMainForm& form = *f.Form;
  EXPECT_EQ(queries, 1);
  EXPECT_EQ(form.size(), QSize(682, 361));
  EXPECT_EQ(form.LayoutBaseline().WindowHeight, 361);
  // The status bar stays along the bottom edge of the grown window.
  EXPECT_EQ(form.ProgStatusBar->geometry(), QRect(0, 339, 682, 22));
  EXPECT_EQ(form.LayoutBaseline().ProgStatusBarTop, 339);
  EXPECT_EQ(form.LayoutBaseline().HistoryListBoxTop, 167);
}

TEST(AppStartup, OlderOrUnknownSystemKeepsTheDesignedSize) {
  TFormFixture older([] { return std::optional<int>(5); });
  EXPECT_EQ(older.Form->size(), QSize(674, 353));
  TFormFixture failed([] { return std::optional<int>(); });
  EXPECT_EQ(failed.Form->size(), QSize(674, 353));
  const TLayoutBaseline& baseline = failed.Form->LayoutBaseline();
  EXPECT_EQ(baseline.WindowHeight, 353);
  EXPECT_EQ(baseline.InnerGroupBoxTop, 48);
  EXPECT_EQ(baseline.HistoryListBoxTop, 167);
  EXPECT_EQ(baseline.ProgramProgressBarTop, 318);
  EXPECT_EQ(baseline.ProgStatusBarTop, 331);
}

TEST(AppStartup, PlatformQueryAddsNoGrowthOnLinux) {
  TMainFormOptions options;
  options.fileDialog = std::make_unique<TFakeFileDialog>();
  TMainForm form(std::move(options));
  EXPECT_EQ(form.size(), QSize(674, 353));
  EXPECT_EQ(form.TickMs(), 1000);
}

TEST(AppStartup, ResetsTheJobMemoryLast) {
  TMainFormOptions options;
  options.fileDialog = std::make_unique<TFakeFileDialog>();
  options.osVersion = [] { return std::optional<int>(6); };
  int resets = 0;
  QString titleWhenReset;
  int heightWhenReset = 0;
  options.resetJobMemory = [&] {
    ++resets;
    // Runs inside the constructor: find the window being built.
    for (QWidget* window : QApplication::topLevelWidgets()) {
      if (auto* form = dynamic_cast<TMainForm*>(window)) {
        titleWhenReset = form->windowTitle();
        heightWhenReset = form->height();
      }
    }
  };
  TMainForm form(std::move(options));
  EXPECT_EQ(resets, 1);
  // The last step: the title and the grown size are already in place.
  EXPECT_EQ(titleWhenReset, "Zorbek Firmware Update Utility V1.0");
  EXPECT_EQ(heightWhenReset, 361);
  form.ResetJobMemory();
  EXPECT_EQ(resets, 2);
}

TEST(AppStartup, EveryActivationRunsTheActivateHook) {
  TFormFixture f;
  TMainForm& form = *f.Form;
  int activations = 0;
  form.OnActivate = [&] { ++activations; };
  form.show();
  form.activateWindow();
  ASSERT_TRUE(kvm::test::WaitFor([&] { return activations >= 1; }, 1000)) << "the window was never activated";
  const int afterFirst = activations;
  form.FormActivate();
  EXPECT_EQ(activations, afterFirst + 1);
}

}  // namespace
}  // namespace kvm::app::test
