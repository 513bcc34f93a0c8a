// The start-up layout that every connection attempt puts back.
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>

#include "FormTestSupport.h"
#include "WaitFor.h"
#include "app/StatusBar.h"

namespace kvm::app::test {
namespace {

using kvm::test::WaitFor;

TEST(AppLayout, StatusBarFollowsTheBottomEdgeWhenTheOperatorResizes) {
  TFormFixture f;
  TMainForm& form = *f.Form;
  form.show();
  form.resize(800, 500);
  ASSERT_TRUE(WaitFor([&] { return form.ProgStatusBar->y() == 478; }, 1000)) << "status bar at " << form.ProgStatusBar->y();
  EXPECT_EQ(form.ProgStatusBar->width(), 800);
  EXPECT_GE(form.ProgStatusBar->Panel(2)->geometry().right(), 790) << "the last panel reaches the right edge";
  // Nothing else moves by itself.
  EXPECT_EQ(form.HistoryListBox->geometry(), QRect(9, 167, 648, 148));
}

TEST(AppLayout, RestoreLayoutBringsBackTheStartUpHeightAndTops) {
  TFormFixture f;
  TMainForm& form = *f.Form;
  form.show();
  form.resize(700, 520);
  ASSERT_TRUE(WaitFor([&] { return form.height() == 520 && form.ProgStatusBar->y() == 498; }, 1000));
  form.InnerGroupBox->move(9, 70);
  form.HistoryListBox->move(9, 250);
  form.ProgramProgressBar->move(8, 470);

  form.RestoreLayout();
  ASSERT_TRUE(WaitFor([&] { return form.height() == 353; }, 1000)) << "height " << form.height();
  EXPECT_EQ(form.width(), 700) << "the width is not touched";
  EXPECT_EQ(form.InnerGroupBox->pos(), QPoint(9, 48));
  EXPECT_EQ(form.HistoryListBox->pos(), QPoint(9, 167));
  EXPECT_EQ(form.ProgramProgressBar->pos(), QPoint(8, 318));
  EXPECT_EQ(form.ProgStatusBar->y(), 331);
  EXPECT_EQ(form.ProgStatusBar->geometry().bottom(), form.height() - 1);
}

TEST(AppLayout, RestoreLayoutUsesTheGrownBaseline) {
  TFormFixture f([] { return std::optional<int>(10); });
  TMainForm& form = *f.Form;
  form.show();
  form.resize(682, 300);
  ASSERT_TRUE(WaitFor([&] { return form.height() == 300; }, 1000));
  form.RestoreLayout();
  ASSERT_TRUE(WaitFor([&] { return form.height() == 361; }, 1000)) << "height " << form.height();
  EXPECT_EQ(form.ProgStatusBar->y(), 339);
  EXPECT_EQ(form.HistoryListBox->y(), 167);
}

TEST(AppLayout, RestoreLayoutOnAHiddenWindow) {
  TFormFixture f;
  TMainForm& form = *f.Form;
  form.resize(674, 600);
  form.HistoryListBox->move(9, 400);
  form.RestoreLayout();
  EXPECT_EQ(form.size(), QSize(674, 353));
  EXPECT_EQ(form.HistoryListBox->y(), 167);
  EXPECT_EQ(form.ProgStatusBar->y(), 331);
}

}  // namespace
}  // namespace kvm::app::test
