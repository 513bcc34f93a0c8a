// The per-target file lists: the "..." buttons, the most-recently-programmed
// order and "Clear All File List".
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
  // "..." of the USB Host target, choosing the file (or cancelling).
  void ChooseUsbHost(std::optional<QString> file) {
    f.Dialog->Answers.push_back(std::move(file));
    form.SpeedButton1->click();
  }
  void ChooseOsd(std::optional<QString> file) {
    f.Dialog->Answers.push_back(std::move(file));
    form.SpeedButton5->click();
  }
  TFormFixture f;
  TMainForm& form = *f.Form;
  QComboBox& usb = *form.ComboBox1;
  QComboBox& osd = *form.ComboBox5;
};

TEST_F(AppFileLists, NewestChoiceFirstThenSuccessfulJobMovesItsFileUp) {
  ChooseUsbHost("/fw/A.USB");
  ChooseUsbHost("/fw/B.USB");
  ChooseUsbHost("/fw/C.USB");
  EXPECT_EQ(Entries(usb), QStringList({"/fw/C.USB", "/fw/B.USB", "/fw/A.USB"}));
  EXPECT_EQ(form.TargetFileName(TTarget::UsbHost), "/fw/C.USB");

  usb.setCurrentIndex(2);  // the operator picks A from the list
  EXPECT_TRUE(form.SortFileList(TTarget::UsbHost));
  EXPECT_EQ(Entries(usb), QStringList({"/fw/A.USB", "/fw/C.USB", "/fw/B.USB"}));
  EXPECT_EQ(usb.currentIndex(), 0);
  EXPECT_EQ(usb.currentText(), "/fw/A.USB");

  // Already first: the order stays.
  EXPECT_TRUE(form.SortFileList(TTarget::UsbHost));
  EXPECT_EQ(Entries(usb), QStringList({"/fw/A.USB", "/fw/C.USB", "/fw/B.USB"}));
}

TEST_F(AppFileLists, SortFollowsTheTextTheBoxShowsNow) {
  ChooseUsbHost("/fw/A.USB");
  ChooseUsbHost("/fw/B.USB");
  // Edited while the job ran: the typed text names the listed A.
  usb.setEditText("/fw/A.USB");
  EXPECT_TRUE(form.SortFileList(TTarget::UsbHost));
  EXPECT_EQ(Entries(usb), QStringList({"/fw/A.USB", "/fw/B.USB"}));
}

TEST_F(AppFileLists, SameFileTwiceIsOneEntryButOtherCaseIsAnother) {
  ChooseOsd("/fw/osd.OSD");
  ChooseOsd("/fw/other.OSD");
  ChooseOsd("/fw/osd.OSD");
  EXPECT_EQ(Entries(osd), QStringList({"/fw/other.OSD", "/fw/osd.OSD"}));
  EXPECT_EQ(osd.currentIndex(), 1);
  EXPECT_EQ(osd.currentText(), "/fw/osd.OSD");

  ChooseOsd("/fw/OSD.OSD");
  EXPECT_EQ(Entries(osd), QStringList({"/fw/OSD.OSD", "/fw/other.OSD", "/fw/osd.OSD"}));
  int index = -1;
  EXPECT_TRUE(FindInComboBox(osd, "/fw/osd.OSD", index));
  EXPECT_EQ(index, 2);
  index = 7;
  EXPECT_FALSE(FindInComboBox(osd, "/FW/OSD.OSD", index));
  EXPECT_EQ(index, 7) << "index untouched when not found";
}

TEST_F(AppFileLists, ChoosingAListedFileReplacesATypedText) {
  ChooseUsbHost("/fw/A.USB");
  usb.setEditText("/typed/over.USB");
  ChooseUsbHost("/fw/A.USB");
  EXPECT_EQ(usb.currentText(), "/fw/A.USB");
  EXPECT_EQ(usb.count(), 1);
}

TEST_F(AppFileLists, TypedPathIsUsedButNeverListed) {
  ChooseUsbHost("/fw/A.USB");
  usb.lineEdit()->setText("/typed/by/hand.USB");
  // Enter in an editable combo box must not add the text.
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QApplication::sendEvent(usb.lineEdit(), &enter);
  EXPECT_EQ(form.TargetFileName(TTarget::UsbHost), "/typed/by/hand.USB");
  EXPECT_FALSE(form.SortFileList(TTarget::UsbHost));
  EXPECT_EQ(Entries(usb), QStringList({"/fw/A.USB"}));
  EXPECT_EQ(usb.currentText(), "/typed/by/hand.USB") << "a failed sort changes nothing";
}

TEST_F(AppFileLists, CancelledDialogChangesNothing) {
  ChooseUsbHost("/fw/A.USB");
  usb.setEditText("/typed.USB");
  ChooseUsbHost(std::nullopt);
  EXPECT_EQ(Entries(usb), QStringList({"/fw/A.USB"}));
  EXPECT_EQ(usb.currentText(), "/typed.USB");
}

TEST_F(AppFileLists, ClearEmptiesBothListsButKeepsTheTexts) {
  ChooseUsbHost("/fw/A.USB");
  ChooseUsbHost("/fw/B.USB");
  ChooseOsd("/fw/osd.OSD");
  form.ClearFileList1->trigger();
  EXPECT_EQ(usb.count(), 0);
  EXPECT_EQ(osd.count(), 0);
  EXPECT_EQ(form.TargetFileName(TTarget::UsbHost), "/fw/B.USB");
  EXPECT_EQ(form.TargetFileName(TTarget::Osd), "/fw/osd.OSD");
  // The next successful job finds its text unlisted and adds nothing.
  EXPECT_FALSE(form.SortFileList(TTarget::UsbHost));
  EXPECT_EQ(usb.count(), 0);
}

TEST_F(AppFileLists, EachButtonOffersItsOwnFileType) {
  ChooseUsbHost(std::nullopt);
  ChooseOsd(std::nullopt);
  ASSERT_EQ(f.Dialog->Uses.size(), 2u);
  EXPECT_EQ(f.Dialog->Uses[0].DefaultExt, "*.USB");
  EXPECT_EQ(f.Dialog->Uses[0].Filter, "*.USB|*.USB");
  EXPECT_EQ(f.Dialog->Uses[1].DefaultExt, "*.OSD");
  EXPECT_EQ(f.Dialog->Uses[1].Filter, "*.OSD|*.OSD");
}

TEST_F(AppFileLists, DialogOpensInTheBoxFolderOrWhereItWasLastTime) {
  usb.setEditText("/work/fw/host/kvm.usb");
  ChooseUsbHost("/elsewhere/new.USB");
  ASSERT_EQ(f.Dialog->Uses.size(), 1u);
  EXPECT_EQ(f.Dialog->Uses[0].InitialDir, "/work/fw/host/");
  EXPECT_EQ(f.Dialog->Uses[0].FileName, "");

  // An empty box keeps what the previous use left, even of the other target.
  ChooseOsd(std::nullopt);
  ASSERT_EQ(f.Dialog->Uses.size(), 2u);
  EXPECT_EQ(f.Dialog->Uses[1].InitialDir, "/work/fw/host/");
  EXPECT_EQ(f.Dialog->Uses[1].FileName, "/elsewhere/new.USB");

  // A non-empty box again: its own folder and no file name.
  ChooseUsbHost(std::nullopt);
  EXPECT_EQ(f.Dialog->Uses[2].InitialDir, "/elsewhere/");
  EXPECT_EQ(f.Dialog->Uses[2].FileName, "");
}

TEST(AppFileListFunctions, DirectoryPartEndsAtTheLastSeparatorOrDriveColon) {
  EXPECT_EQ(DirectoryPart("/home/op/fw/kvm.USB"), "/home/op/fw/");
  EXPECT_EQ(DirectoryPart("C:\\Firmware\\kvm.USB"), "C:\\Firmware\\");
  EXPECT_EQ(DirectoryPart("C:kvm.USB"), "C:");
  EXPECT_EQ(DirectoryPart("fw\\old/kvm.USB"), "fw\\old/");
  EXPECT_EQ(DirectoryPart("/tmp/a:b/kvm.USB"), "/tmp/a:b/");
  EXPECT_EQ(DirectoryPart("ab:c.USB"), "") << "only a drive letter's colon counts";
  EXPECT_EQ(DirectoryPart("kvm.USB"), "");
  EXPECT_EQ(DirectoryPart("/fw/"), "/fw/");
  EXPECT_EQ(DirectoryPart(""), "");
}

TEST(AppFileListFunctions, SortOnAnEmptyListFails) {
  QComboBox box;
  box.setEditable(true);
  box.setEditText("/fw/x.USB");
  EXPECT_FALSE(SortComboBox(box));
  EXPECT_EQ(box.count(), 0);
  EXPECT_EQ(box.currentText(), "/fw/x.USB");
}

}  // namespace
}  // namespace kvm::app::test
