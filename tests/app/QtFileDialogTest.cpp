// The Qt open-file dialog behind "...", driven through a real QFileDialog.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>

#include "app/FileDialog.h"
#include "app/FileLists.h"

namespace kvm::app {
namespace {

TEST(AppQtNameFilters, BothLetterCasesAndAllFiles) {
  EXPECT_EQ(QtNameFilters("*.OSD|*.OSD"), QStringList({"*.OSD (*.OSD *.osd)", "All files (*)"}));
  EXPECT_EQ(QtNameFilters("Images|*.bin;*.hex|Text|*.txt"),
            QStringList({"Images (*.bin *.hex)", "Text (*.txt)", "All files (*)"}));
  EXPECT_EQ(QtDefaultSuffix("*.USB"), "USB");
}

TEST(AppQtFileDialog, OpensWhereToldAndKeepsTheChoice) {
  QTemporaryDir folder;
  ASSERT_TRUE(QDir(folder.path()).mkdir("other"));
  for (const char* name : {"kvm.usb", "other/osd.OSD"}) QFile(folder.filePath(name)).open(QIODevice::WriteOnly);
  TQtFileDialog dialog(nullptr);
  dialog.SetFilter("*.USB|*.USB");
  dialog.SetInitialDir(folder.path() + "/");
  QString shownIn;
  // Answered from inside exec(); rejected after a bound should that fail.
  auto answer = [&](bool accept) {
    QTimer::singleShot(0, [&, accept] {
      QFileDialog& shown = *dialog.Dialog();
      shownIn = shown.directory().absolutePath();
      shown.selectFile(folder.filePath("kvm.usb"));
      accept ? static_cast<QDialog&>(shown).accept() : shown.reject();
    });
    QTimer::singleShot(2000, dialog.Dialog(), &QDialog::reject);
  };
  answer(true);
  ASSERT_TRUE(dialog.Execute());
  EXPECT_EQ(shownIn, QDir(folder.path()).absolutePath());
  EXPECT_EQ(dialog.Dialog()->nameFilters(), QtNameFilters("*.USB|*.USB"));
  EXPECT_EQ(dialog.FileName(), folder.filePath("kvm.usb"));

  // The previous file's folder wins over the initial one; Cancel keeps the name.
  dialog.SetFileName(folder.filePath("other/osd.OSD"));
  answer(false);
  EXPECT_FALSE(dialog.Execute());
  EXPECT_EQ(shownIn, QDir(folder.filePath("other")).absolutePath());
  EXPECT_EQ(dialog.FileName(), folder.filePath("other/osd.OSD"));
}

TEST(AppQtFileDialog, BoxWithTextOpensWithAnEmptyFileName) {
  // The OSD file is chosen first; the USB Host box's "..." must then not
  // offer it, so Enter in that dialog picks nothing.
  QTemporaryDir folder;
  for (const char* name : {"kvm.usb", "osd.OSD"}) QFile(folder.filePath(name)).open(QIODevice::WriteOnly);
  TQtFileDialog dialog(nullptr);
  QComboBox osd, usbHost;
  usbHost.setEditable(true);
  usbHost.setEditText(folder.filePath("kvm.usb"));
  // Answered from inside exec(); rejected after a bound should that fail.
  auto answer = [&](std::function<void(QFileDialog&)> act) {
    QTimer::singleShot(0, &osd, [&dialog, act] { act(*dialog.Dialog()); });
    QTimer::singleShot(2000, &osd, [&dialog] { dialog.Dialog()->reject(); });
  };
  answer([&](QFileDialog& shown) {
    shown.selectFile(folder.filePath("osd.OSD"));
    static_cast<QDialog&>(shown).accept();
  });
  BrowseForFile(dialog, osd, "*.OSD", "*.OSD|*.OSD");
  ASSERT_EQ(osd.currentText(), folder.filePath("osd.OSD"));

  QString field = "not shown";
  bool enterPicked = true;
  answer([&](QFileDialog& shown) {
    field = shown.findChild<QLineEdit*>("fileNameEdit")->text();
    static_cast<QDialog&>(shown).accept();  // Enter
    enterPicked = !shown.isVisible();
    shown.reject();
  });
  BrowseForFile(dialog, usbHost, "*.USB", "*.USB|*.USB");
  EXPECT_EQ(field, "");
  EXPECT_FALSE(enterPicked);
  EXPECT_EQ(usbHost.currentText(), folder.filePath("kvm.usb"));
  EXPECT_EQ(usbHost.count(), 0);
}

TEST(AppQtFileDialog, UsingTheDialogWritesNoSettings) {
  // The user's configuration folder, as Qt's settings would find it.
  QTemporaryDir home;
  ASSERT_TRUE(home.isValid());
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, home.path());
  {
    TQtFileDialog dialog(nullptr);
    dialog.SetInitialDir(home.path());
    QTimer::singleShot(0, [&] { dialog.Dialog()->reject(); });
    QTimer::singleShot(2000, dialog.Dialog(), &QDialog::reject);
    EXPECT_FALSE(dialog.Execute());
  }
  EXPECT_EQ(QDir(home.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
}

}  // namespace
}  // namespace kvm::app
