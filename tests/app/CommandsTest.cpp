// The Program-button rule and the commands Select All, UnSelect All, Break,
// Exit and Program.
#include <QCheckBox>
#include <QPushButton>

#include "FormTestSupport.h"

namespace kvm::app::test {
namespace {

class AppProgramButton : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override { form.State().Connected = GetParam(); }
  bool Enabled() const { return form.InProgButton->isEnabled(); }
  TFormFixture f;
  TMainForm& form = *f.Form;
};

TEST_P(AppProgramButton, NeedsATargetAndTheConnection) {
  form.CheckBox4->click();
  EXPECT_EQ(Enabled(), GetParam());
  form.CheckBox4->click();
  EXPECT_FALSE(Enabled());
  form.InAutoCheckBox->click();  // runs the rule, but is not a target
  EXPECT_FALSE(Enabled());
  form.Button7->click();
  EXPECT_TRUE(form.CheckBox1->isChecked() && form.CheckBox4->isChecked());
  EXPECT_EQ(Enabled(), GetParam());
  form.Button6->click();
  EXPECT_FALSE(form.CheckBox1->isChecked() || form.CheckBox4->isChecked());
  EXPECT_FALSE(Enabled());
  EXPECT_TRUE(form.IsAutoChecked()) << "Select All / UnSelect All leave Auto alone";
  form.CheckBox1->setChecked(true);
  form.DisableProgramButtons();
  form.EnableProgramButtons();
  EXPECT_EQ(Enabled(), GetParam());
}

INSTANTIATE_TEST_SUITE_P(Connected, AppProgramButton, ::testing::Bool());

TEST(AppCommands, BreakAndExitRequestTheStop) {
  TFormFixture f;
  TMainForm& form = *f.Form;
  form.show();
  form.SetBreakVisible(true);
  EXPECT_TRUE(form.BreakButton->isVisible());
  form.BreakButton->click();
  EXPECT_TRUE(form.State().UserBreak);
  EXPECT_FALSE(form.IsBreakVisible());
  EXPECT_TRUE(form.isVisible());

  form.State().UserBreak = false;
  form.ExitButton->click();
  EXPECT_TRUE(form.State().UserBreak);
  EXPECT_FALSE(form.isVisible());
  form.State().UserBreak = false;
  form.show();
  form.close();  // the window manager's close button
  EXPECT_TRUE(form.State().UserBreak);
}

TEST(AppCommands, ProgramRunsItsHookWhileEnabled) {
  TFormFixture f;
  TMainForm& form = *f.Form;
  form.InProgButton->click();  // no hook: nothing happens
  int clicks = 0;
  form.OnProgramClick = [&] { ++clicks; };
  form.InProgButton->click();
  form.DisableProgramButtons();
  form.InProgButton->click();
  EXPECT_EQ(clicks, 1);
}

}  // namespace
}  // namespace kvm::app::test
