// The per-target file lists: an editable combo box whose text is the file the
// next job uses and whose entries are the files chosen since start-up, the
// most recently programmed first.
#pragma once

#include <QString>

class QComboBox;

namespace kvm::app {

class IFileDialog;

// True and the index of the first entry equal to text (exact, with case);
// false with index untouched.
bool FindInComboBox(const QComboBox& box, const QString& text, int& index);

// Moves the box's text to the top of its list; false (nothing changes) when
// the text was never listed.
bool SortComboBox(QComboBox& box);

// Lets the operator pick a file for the box through the shared dialog.
void BrowseForFile(IFileDialog& dialog, QComboBox& box, const QString& defaultExt, const QString& filter);

// Everything up to and including the last '/' or '\', or the colon of a
// leading drive ("C:"); empty when there is none.
QString DirectoryPart(const QString& path);

// Empties the list, keeping the text the box shows.
void ClearFileList(QComboBox& box);

}  // namespace kvm::app
