// The Qt open-file dialog behind "...": filters, the folder it opens in and
// the chosen file, driven through a real QFileDialog.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>

#include "app/FileDialog.h"

namespace kvm::app {
namespace {

void Touch(const QString& path) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
}

// Runs `answer` on the dialog once it is shown; rejects it after a bound so
// that a broken test cannot hang.
void AnswerWhenShown(TQtFileDialog& dialog, std::function<void(QFileDialog&)> answer) {
  QTimer::singleShot(0, [&dialog, answer] { answer(*dialog.Dialog()); });
  QTimer::singleShot(2000, dialog.Dialog(), [&dialog] { dialog.Dialog()->reject(); });
}

TEST(AppQtNameFilters, ShowBothLetterCasesAndAllFiles) {
  EXPECT_EQ(QtNameFilters("*.USB|*.USB"), QStringList({"*.USB (*.USB *.usb)", "All files (*)"}));
  EXPECT_EQ(QtNameFilters("*.OSD|*.OSD"), QStringList({"*.OSD (*.OSD *.osd)", "All files (*)"}));
  EXPECT_EQ(QtNameFilters("Images|*.bin;*.hex|Text|*.txt"),
            QStringList({"Images (*.bin *.hex)", "Text (*.txt)", "All files (*)"}));
  EXPECT_EQ(QtNameFilters(""), QStringList({"All files (*)"}));
  EXPECT_EQ(QtDefaultSuffix("*.USB"), "USB");
  EXPECT_EQ(QtDefaultSuffix("OSD"), "OSD");
}

class AppQtFileDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder.isValid());
    ASSERT_TRUE(QDir(folder.path()).mkdir("other"));
    Touch(folder.filePath("kvm.USB"));
    Touch(folder.filePath("kvm.usb"));
    Touch(folder.filePath("other/osd.OSD"));
    dialog.SetDefaultExt("*.USB");
    dialog.SetFilter("*.USB|*.USB");
  }
  QTemporaryDir folder;
  TQtFileDialog dialog{nullptr};
};

TEST_F(AppQtFileDialog, OpensInTheInitialFolderAndReturnsTheChoice) {
  dialog.SetInitialDir(folder.path() + "/");
  dialog.SetFileName("");
  QString shownIn;
  QStringList filters;
  AnswerWhenShown(dialog, [&](QFileDialog& shown) {
    shownIn = shown.directory().absolutePath();
    filters = shown.nameFilters();
    shown.selectFile(folder.filePath("kvm.usb"));
    static_cast<QDialog&>(shown).accept();  // public in QDialog
  });
  ASSERT_TRUE(dialog.Execute());
  EXPECT_EQ(shownIn, QDir(folder.path()).absolutePath());
  EXPECT_EQ(filters, QtNameFilters("*.USB|*.USB"));
  EXPECT_EQ(dialog.FileName(), folder.filePath("kvm.usb"));
  EXPECT_EQ(dialog.InitialDir(), folder.path() + "/") << "the initial folder is kept";
}

TEST_F(AppQtFileDialog, PreviousFileNameWinsOverTheInitialFolder) {
  dialog.SetInitialDir(folder.path());
  dialog.SetFileName(folder.filePath("other/osd.OSD"));
  QString shownIn;
  AnswerWhenShown(dialog, [&](QFileDialog& shown) {
    shownIn = shown.directory().absolutePath();
    shown.reject();
  });
  EXPECT_FALSE(dialog.Execute());
  EXPECT_EQ(shownIn, QDir(folder.filePath("other")).absolutePath());
  EXPECT_EQ(dialog.FileName(), folder.filePath("other/osd.OSD")) << "cancel keeps the file name";
}

}  // namespace
}  // namespace kvm::app
