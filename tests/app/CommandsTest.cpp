// The Program-button rule and the window's commands: Select All,
// UnSelect All, Break, Exit, Program.
#include <QCheckBox>
#include <QPushButton>

#include "FormTestSupport.h"
#include "WaitFor.h"

namespace kvm::app::test {
namespace {

class AppProgramButton : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override { form.State().Connected = GetParam(); }
  bool Enabled() const { return form.InProgButton->isEnabled(); }
  TFormFixture f;
  TMainForm& form = *f.Form;
};

TEST_P(AppProgramButton, FollowsTheTargetBoxesAndTheConnection) {
  const bool connected = GetParam();
  form.CheckBox1->click();
  EXPECT_EQ(Enabled(), connected);
  form.CheckBox4->click();
  EXPECT_EQ(Enabled(), connected);
  form.CheckBox1->click();
  EXPECT_EQ(Enabled(), connected) << "OSD alone still counts";
  form.CheckBox4->click();
  EXPECT_FALSE(Enabled()) << "no target ticked";
}

TEST_P(AppProgramButton, SelectAllThenUnSelectAllLeavesItDisabled) {
  form.Button7->click();
  EXPECT_TRUE(form.CheckBox1->isChecked());
  EXPECT_TRUE(form.CheckBox4->isChecked());
  EXPECT_EQ(Enabled(), GetParam());
  form.Button6->click();
  EXPECT_FALSE(form.CheckBox1->isChecked());
  EXPECT_FALSE(form.CheckBox4->isChecked());
  EXPECT_FALSE(Enabled());
}

TEST_P(AppProgramButton, AutoBoxRunsTheRuleButIsNotATarget) {
  form.InAutoCheckBox->click();
  EXPECT_FALSE(Enabled()) << "start-up left it enabled; the Auto handler applies the rule";
  form.Button7->click();
  form.Button6->click();
  EXPECT_TRUE(form.IsAutoChecked()) << "Select All / UnSelect All leave Auto alone";
}

TEST_P(AppProgramButton, EnableProgramButtonsAppliesTheRule) {
  form.CheckBox1->setChecked(true);
  form.DisableProgramButtons();
  EXPECT_FALSE(Enabled());
  form.EnableProgramButtons();
  EXPECT_EQ(Enabled(), GetParam());
}

INSTANTIATE_TEST_SUITE_P(Connected, AppProgramButton, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Connected" : "NotConnected"; });

TEST(AppCommands, ConnectingLaterAndUpdatingEnablesProgram) {
  TFormFixture f;
  TMainForm& form = *f.Form;
  form.CheckBox4->setChecked(true);
  EXPECT_FALSE(form.InProgButton->isEnabled());
  form.State().Connected = true;
  form.UpdateProgramButton();
  EXPECT_TRUE(form.InProgButton->isEnabled());
}

TEST(AppCommands, SelectAllRunsBothClickHandlersOnce) {
  TFormFixture f;
  TMainForm& form = *f.Form;
  form.State().Connected = true;
  form.CheckBox1->setChecked(true);
  form.DisableProgramButtons();
  // CheckBox1 is already ticked, so only CheckBox4's change reaches the rule.
  form.Button7Click();
  EXPECT_TRUE(form.InProgButton->isEnabled());
}

TEST(AppCommands, BreakHidesItselfAndRequestsTheStop) {
  TFormFixture f;
  TMainForm& form = *f.Form;
  form.show();
  form.SetBreakVisible(true);
  EXPECT_TRUE(form.IsBreakVisible());
  EXPECT_TRUE(form.BreakButton->isVisible());
  form.ShowStatus("Programming...", Green);
  form.BreakButton->click();
  EXPECT_TRUE(form.State().UserBreak);
  EXPECT_FALSE(form.IsBreakVisible());
  EXPECT_EQ(form.GetStatusText(), "Programming...") << "Break does nothing else";
  EXPECT_TRUE(form.isVisible());
}

TEST(AppCommands, ExitRequestsTheStopAndClosesTheWindow) {
  TFormFixture f;
  TMainForm& form = *f.Form;
  form.show();
  ASSERT_TRUE(form.isVisible());
  form.ExitButton->click();
  EXPECT_TRUE(form.State().UserBreak);
  EXPECT_FALSE(form.isVisible());
}

TEST(AppCommands, ClosingTheWindowAlsoRequestsTheStop) {
  TFormFixture f;
  TMainForm& form = *f.Form;
  form.show();
  form.close();
  EXPECT_TRUE(form.State().UserBreak);
}

TEST(AppCommands, ProgramRunsTheProgramHook) {
  TFormFixture f;
  TMainForm& form = *f.Form;
  form.InProgButton->click();  // no hook yet: nothing happens
  int clicks = 0;
  form.OnProgramClick = [&] { ++clicks; };
  form.InProgButton->click();
  EXPECT_EQ(clicks, 1);
  form.DisableProgramButtons();
  form.InProgButton->click();
  EXPECT_EQ(clicks, 1) << "a disabled button starts nothing";
}

}  // namespace
}  // namespace kvm::app::test
