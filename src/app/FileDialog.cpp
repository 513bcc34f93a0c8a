#include "app/FileDialog.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QSettings>

namespace kvm::app {

QStringList QtNameFilters(const QString& filter) {
  QStringList result;
  const QStringList parts = filter.split(u'|');
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    const QStringList patterns = parts[i + 1].split(u';', Qt::SkipEmptyParts);
    QStringList shown = patterns;
    for (const QString& pattern : patterns) {
      const QString lower = pattern.toLower();
      if (!shown.contains(lower)) shown.append(lower);
    }
    result.append(parts[i] + " (" + shown.join(u' ') + ")");
  }
  result.append(QStringLiteral("All files (*)"));
  return result;
}

QString QtDefaultSuffix(const QString& ext) {
  QString suffix = ext;
  if (suffix.startsWith(u'*')) suffix.remove(0, 1);
  if (suffix.startsWith(u'.')) suffix.remove(0, 1);
  return suffix;
}

TQtFileDialog::TQtFileDialog(QWidget* parent) : parent_(parent) {}

TQtFileDialog::~TQtFileDialog() = default;

void TQtFileDialog::SetDefaultExt(const QString& ext) { defaultExt_ = ext; }
void TQtFileDialog::SetFilter(const QString& filter) { filter_ = filter; }
void TQtFileDialog::SetInitialDir(const QString& dir) { initialDir_ = dir; }
QString TQtFileDialog::InitialDir() const { return initialDir_; }
void TQtFileDialog::SetFileName(const QString& name) { fileName_ = name; }
QString TQtFileDialog::FileName() const { return fileName_; }

namespace {
// QFileDialog saves its history, sidebar and view mode into the user's
// QtProject.conf when it is destroyed, and nothing turns that off. The window
// saves nothing, so those settings go to a place no file can be made in.
void KeepDialogSettingsUnsaved() {
#ifndef _WIN32
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("/dev/null"));
#endif
}
}  // namespace

QFileDialog* TQtFileDialog::Dialog() {
  if (!dialog_) {
    KeepDialogSettingsUnsaved();
    dialog_ = std::make_unique<QFileDialog>(parent_);
    dialog_->setObjectName(QStringLiteral("FileOpenDialog"));
    dialog_->setAcceptMode(QFileDialog::AcceptOpen);
    dialog_->setFileMode(QFileDialog::ExistingFile);
  }
  return dialog_.get();
}

bool TQtFileDialog::Execute() {
  // An emptied name must show as an empty File name field. QFileDialog
  // ignores an empty selectFile() and would offer the previous use's file
  // (one key press from programming the wrong one), so a dialog that has been
  // shown makes way for a fresh one that carries its layout and history.
  if (fileName_.isEmpty() && dialog_ && shown_) {
    const QByteArray state = dialog_->saveState();
    const QByteArray geometry = dialog_->saveGeometry();
    dialog_.reset();
    Dialog()->restoreState(state);
    dialog_->restoreGeometry(geometry);
  }
  QFileDialog* dialog = Dialog();
  shown_ = true;
  dialog->setDefaultSuffix(QtDefaultSuffix(defaultExt_));
  dialog->setNameFilters(QtNameFilters(filter_));

  // A file name with a folder opens in that folder (the name of the previous
  // use); otherwise the initial directory decides.
  const QFileInfo previous(fileName_);
  if (!fileName_.isEmpty() && previous.isAbsolute()) {
    dialog->setDirectory(previous.absolutePath());
    dialog->selectFile(previous.fileName());
  } else {
    dialog->setDirectory(initialDir_.isEmpty() ? QDir::currentPath() : initialDir_);
    dialog->selectFile(fileName_);
  }

  if (dialog->exec() != QDialog::Accepted) return false;
  const QStringList chosen = dialog->selectedFiles();
  if (chosen.isEmpty()) return false;
  fileName_ = QDir::toNativeSeparators(chosen.first());
  return true;
}

}  // namespace kvm::app
