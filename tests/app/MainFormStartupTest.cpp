// The window as start-up leaves it, the version-dependent growth and the
// layout that connection attempts restore.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>

#include "FormTestSupport.h"
#include "WaitFor.h"
#include "app/StatusBar.h"

namespace kvm::app::test {
namespace {

TEST(AppStartup, TitleEmptyDisplaysGrayLampsAndDesignedButtons) {
  TFormFixture f;
  TMainForm& form = *f.Form;
  EXPECT_EQ(form.windowTitle(), "Zorbek Firmware Update Utility V1.0");
  EXPECT_EQ(form.State().BrandName, "Zorbek");
  EXPECT_EQ(form.GetStatusText(), "");
  for (int panel = 0; panel < 3; ++panel) EXPECT_EQ(form.GetStatusPanel(panel), "") << panel;
  for (const QLabel* lamp : {form.ConnectBallImage, form.Image1, form.Image5})
    EXPECT_EQ(Picture(lamp), Picture(form.Gray_Image)) << lamp->objectName().toStdString();
  EXPECT_NE(Picture(form.Blue_Image), Picture(form.Gray_Image));
  EXPECT_TRUE(form.InProgButton->isEnabled()) << "enabled as designed until the first scan";
  EXPECT_FALSE(form.IsBreakVisible());
  EXPECT_FALSE(form.State().Connected || form.State().UserBreak || form.State().ProgrammerDevice);
  EXPECT_EQ(form.TickMs(), 10);
  EXPECT_EQ(form.size(), QSize(674, 353));
  EXPECT_EQ(form.findChild<QWidget*>("ProgStatusBar")->geometry(), QRect(0, 331, 674, 22));
}

// Each visible control lies inside its parent and every caption fits.
TEST(AppStartup, NothingIsClipped) {
  TFormFixture f;
  const TMainForm& form = *f.Form;
  for (const QWidget* control : form.findChildren<QWidget*>()) {
    const QWidget* parent = control->parentWidget();
    if (control->isHidden() || control->objectName().isEmpty() || parent == form.ProgStatusBar) continue;
    if (qobject_cast<const QAbstractScrollArea*>(parent) != nullptr) continue;
    EXPECT_TRUE(parent->rect().contains(control->geometry())) << control->objectName().toStdString();
  }
  for (const QAbstractButton* button : form.findChildren<QAbstractButton*>()) {
    const bool box = qobject_cast<const QCheckBox*>(button) != nullptr;
    const int needed = box ? button->sizeHint().width() : button->fontMetrics().horizontalAdvance(button->text()) + 8;
    EXPECT_LE(needed, button->width()) << button->objectName().toStdString();
  }
  EXPECT_LE(form.Label1->geometry().right(), form.ComboBox1->x());
  EXPECT_GE(form.ProgStatusBar->Panel(2)->geometry().right(), form.width() - 4) << "last panel to the edge";
  EXPECT_EQ(form.ProgStatusBar->Panel(1)->width(), 400);
}

TEST(AppStartup, NewerSystemGrowsTheWindowAndTheBaseline) {
  TFormFixture grown(6);
  EXPECT_EQ(grown.Form->size(), QSize(682, 361));
  EXPECT_EQ(grown.Form->ProgStatusBar->geometry(), QRect(0, 339, 682, 22)) << "still along the bottom edge";
  EXPECT_EQ(grown.Form->LayoutBaseline().WindowHeight, 361);
  for (std::optional<int> major : {std::optional<int>(5), std::optional<int>()}) {
    TFormFixture kept(major);
    EXPECT_EQ(kept.Form->size(), QSize(674, 353));
    const TLayoutBaseline& base = kept.Form->LayoutBaseline();
    EXPECT_EQ(std::vector<int>({base.WindowHeight, base.InnerGroupBoxTop, base.HistoryListBoxTop,
                                base.ProgramProgressBarTop, base.ProgStatusBarTop}),
              std::vector<int>({353, 48, 167, 318, 331}));
  }
  TMainFormOptions platformOptions;  // the platform's own answer
  platformOptions.fileDialog = std::make_unique<TFakeFileDialog>();
  EXPECT_EQ(TMainForm(std::move(platformOptions)).size(), QSize(674, 353));
}

TEST(AppStartup, JobMemoryIsResetLastAndActivationRunsItsHook) {
  QString titleWhenReset;
  TFormFixture f(6, [&] {
    for (QWidget* window : QApplication::topLevelWidgets())
      if (auto* form = dynamic_cast<TMainForm*>(window)) titleWhenReset = form->windowTitle() + " " + QString::number(form->height());
  });
  EXPECT_EQ(titleWhenReset, "Zorbek Firmware Update Utility V1.0 361");
  int activations = 0;
  f.Form->OnActivate = [&] { ++activations; };
  f.Form->show();
  f.Form->activateWindow();
  EXPECT_TRUE(kvm::test::WaitFor([&] { return activations >= 1; }, 1000));
}

TEST(AppLayout, StatusBarFollowsTheBottomAndRestoreLayoutPutsAllBack) {
  TFormFixture f;
  TMainForm& form = *f.Form;
  form.show();
  form.resize(700, 520);
  ASSERT_TRUE(kvm::test::WaitFor([&] { return form.ProgStatusBar->y() == 498; }, 1000));
  EXPECT_EQ(form.ProgStatusBar->width(), 700);
  form.InnerGroupBox->move(9, 70);
  form.HistoryListBox->move(9, 250);
  form.ProgramProgressBar->move(8, 470);

  form.RestoreLayout();
  ASSERT_TRUE(kvm::test::WaitFor([&] { return form.height() == 353; }, 1000)) << form.height();
  EXPECT_EQ(form.width(), 700) << "the width is not touched";
  EXPECT_EQ(form.InnerGroupBox->y(), 48);
  EXPECT_EQ(form.HistoryListBox->y(), 167);
  EXPECT_EQ(form.ProgramProgressBar->y(), 318);
  EXPECT_EQ(form.ProgStatusBar->y(), 331);
}

TEST(AppLayout, RestoreLayoutUsesTheGrownBaseline) {
  TFormFixture f(10);
  f.Form->resize(682, 300);
  f.Form->RestoreLayout();
  EXPECT_EQ(f.Form->height(), 361);
  EXPECT_EQ(f.Form->ProgStatusBar->y(), 339);
}

}  // namespace
}  // namespace kvm::app::test
