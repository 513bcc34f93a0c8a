// The per-target file lists: "...", the most-recently-programmed order and
// "Clear All File List".
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>

#include "FormTestSupport.h"
#include "app/FileLists.h"

namespace kvm::app::test {
namespace {

QStringList Entries(const QComboBox& box) {
  QStringList entries;
  for (int i = 0; i < box.count(); ++i) entries << box.itemText(i);
  return entries;
}

class AppFileLists : public ::testing::Test {
 protected:
  void Choose(QToolButton* button, std::optional<QString> file) {  // nothing: Cancel
    f.Dialog->Answers.push_back(std::move(file));
    button->click();
  }
  TFormFixture f;
  TMainForm& form = *f.Form;
  QComboBox& usb = *form.ComboBox1;
  QComboBox& osd = *form.ComboBox5;
};

TEST_F(AppFileLists, NewestChoiceFirstThenSuccessMovesTheFileUp) {
  for (const char* file : {"/fw/A.USB", "/fw/B.USB", "/fw/C.USB"}) Choose(form.SpeedButton1, file);
  EXPECT_EQ(Entries(usb), QStringList({"/fw/C.USB", "/fw/B.USB", "/fw/A.USB"}));
  EXPECT_EQ(form.TargetFileName(TTarget::UsbHost), "/fw/C.USB");
  usb.setEditText("/fw/A.USB");  // picked or typed while the job ran
  EXPECT_TRUE(form.SortFileList(TTarget::UsbHost));
  EXPECT_EQ(Entries(usb), QStringList({"/fw/A.USB", "/fw/C.USB", "/fw/B.USB"}));
  EXPECT_EQ(usb.currentIndex(), 0);
  EXPECT_EQ(usb.currentText(), "/fw/A.USB");
}

TEST_F(AppFileLists, SameFileIsOneEntryButOtherLetterCaseIsAnother) {
  Choose(form.SpeedButton5, "/fw/osd.OSD");
  Choose(form.SpeedButton5, "/fw/b.OSD");
  osd.setEditText("typed over");
  Choose(form.SpeedButton5, "/fw/osd.OSD");
  EXPECT_EQ(Entries(osd), QStringList({"/fw/b.OSD", "/fw/osd.OSD"}));
  EXPECT_EQ(osd.currentIndex(), 1);
  EXPECT_EQ(osd.currentText(), "/fw/osd.OSD");
  Choose(form.SpeedButton5, "/fw/OSD.OSD");
  EXPECT_EQ(Entries(osd), QStringList({"/fw/OSD.OSD", "/fw/b.OSD", "/fw/osd.OSD"}));
  int index = 7;
  EXPECT_FALSE(FindInComboBox(osd, "/FW/OSD.OSD", index));
  EXPECT_EQ(index, 7) << "untouched when not found";
}

TEST_F(AppFileLists, TypedPathIsUsedButNeverListed) {
  Choose(form.SpeedButton1, "/fw/A.USB");
  usb.lineEdit()->setText("/typed/by/hand.USB");
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QApplication::sendEvent(usb.lineEdit(), &enter);
  EXPECT_EQ(form.TargetFileName(TTarget::UsbHost), "/typed/by/hand.USB");
  EXPECT_FALSE(form.SortFileList(TTarget::UsbHost));
  Choose(form.SpeedButton1, std::nullopt);  // a cancelled dialog changes nothing either
  EXPECT_EQ(Entries(usb), QStringList({"/fw/A.USB"}));
  EXPECT_EQ(usb.currentText(), "/typed/by/hand.USB");
}

TEST_F(AppFileLists, ClearEmptiesBothListsButKeepsTheTexts) {
  Choose(form.SpeedButton1, "/fw/A.USB");
  Choose(form.SpeedButton5, "/fw/osd.OSD");
  form.ClearFileList1->trigger();
  EXPECT_EQ(usb.count() + osd.count(), 0);
  EXPECT_EQ(form.TargetFileName(TTarget::UsbHost), "/fw/A.USB");
  EXPECT_EQ(form.TargetFileName(TTarget::Osd), "/fw/osd.OSD");
}

TEST_F(AppFileLists, DialogOpensInTheBoxFolderOrWhereItWasLastTime) {
  usb.setEditText("/work/fw/host/kvm.usb");
  Choose(form.SpeedButton1, "/elsewhere/new.USB");
  Choose(form.SpeedButton5, std::nullopt);  // empty box: the previous use's place, whatever its target
  Choose(form.SpeedButton1, std::nullopt);
  const auto& uses = f.Dialog->Uses;
  ASSERT_EQ(uses.size(), 3u);
  EXPECT_EQ(uses[0].InitialDir + "|" + uses[0].FileName, "/work/fw/host/|");
  EXPECT_EQ(uses[1].InitialDir + "|" + uses[1].FileName, "/work/fw/host/|/elsewhere/new.USB");
  EXPECT_EQ(uses[2].InitialDir + "|" + uses[2].FileName, "/elsewhere/|");
  EXPECT_EQ(uses[0].DefaultExt + " " + uses[0].Filter, "*.USB *.USB|*.USB");
  EXPECT_EQ(uses[1].DefaultExt + " " + uses[1].Filter, "*.OSD *.OSD|*.OSD");
}

TEST(AppFileListFunctions, DirectoryPartEndsAtTheLastSeparatorOrDriveColon) {
  EXPECT_EQ(DirectoryPart("C:\\Firmware\\kvm.USB"), "C:\\Firmware\\");
  EXPECT_EQ(DirectoryPart("C:kvm.USB"), "C:");
  EXPECT_EQ(DirectoryPart("fw\\old/kvm.USB"), "fw\\old/");
  EXPECT_EQ(DirectoryPart("/tmp/a:b/kvm.USB"), "/tmp/a:b/");
  EXPECT_EQ(DirectoryPart("ab:c.USB"), "") << "only a drive letter's colon counts";
  EXPECT_EQ(DirectoryPart("kvm.USB"), "");
}

}  // namespace
}  // namespace kvm::app::test
