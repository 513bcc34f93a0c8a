#include "app/FileLists.h"

#include <QComboBox>
#include <algorithm>

#include "app/FileDialog.h"

namespace kvm::app {

bool FindInComboBox(const QComboBox& box, const QString& text, int& index) {
  for (int i = 0; i < box.count(); ++i) {
    if (box.itemText(i) == text) {
      index = i;
      return true;
    }
  }
  return false;
}

bool SortComboBox(QComboBox& box) {
  const QString text = box.currentText();
  int found = -1;
  if (!FindInComboBox(box, text, found)) return false;
  if (found > 0) {
    box.removeItem(found);
    box.insertItem(0, text);
  }
  box.setCurrentIndex(0);
  return true;
}

QString DirectoryPart(const QString& path) {
  qsizetype end = std::max(path.lastIndexOf(u'/'), path.lastIndexOf(u'\\'));
  const bool drive = path.size() >= 2 && path[1] == u':' && path[0].isLetter();
  if (end < 0 && drive) end = 1;
  return path.left(end + 1);
}

void BrowseForFile(IFileDialog& dialog, QComboBox& box, const QString& defaultExt, const QString& filter) {
  dialog.SetDefaultExt(defaultExt);
  dialog.SetFilter(filter);
  const QString text = box.currentText();
  if (!text.isEmpty()) {
    dialog.SetInitialDir(DirectoryPart(text));
    dialog.SetFileName(QString());
  }
  if (!dialog.Execute()) return;

  const QString chosen = dialog.FileName();
  int index = -1;
  if (!FindInComboBox(box, chosen, index)) {
    box.insertItem(0, chosen);
    index = 0;
  }
  box.setCurrentIndex(index);
  // The entry may already have been current under a text typed over it.
  box.setEditText(chosen);
}

void ClearFileList(QComboBox& box) {
  const QString text = box.currentText();
  box.clear();
  // Selecting index 0 of the now empty list must not change anything; Qt
  // would empty the text, so it is not asked to.
  box.setEditText(text);
}

}  // namespace kvm::app
