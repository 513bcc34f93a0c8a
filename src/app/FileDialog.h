// The open-file dialog that the "..." buttons share. It keeps its initial
// directory and file name from one use to the next.
#pragma once

#include <QString>
#include <QStringList>
#include <memory>

class QFileDialog;
class QWidget;

namespace kvm::app {

class IFileDialog {
 public:
  virtual ~IFileDialog() = default;

  // Default extension in the "*.USB" form.
  virtual void SetDefaultExt(const QString& ext) = 0;
  // Filter in the "description|pattern|description|pattern" form.
  virtual void SetFilter(const QString& filter) = 0;
  virtual void SetInitialDir(const QString& dir) = 0;
  virtual QString InitialDir() const = 0;
  virtual void SetFileName(const QString& name) = 0;
  // After a successful Execute: the chosen file's full name.
  virtual QString FileName() const = 0;
  // Shows the dialog; false when the operator cancels.
  virtual bool Execute() = 0;
};

// "*.USB|*.USB" -> "*.USB (*.USB *.usb)", "All files (*)". Linux names are
// case-sensitive, so each pattern also matches its lower-case form (the
// scrambled containers end in ".usb" and ".osd"); the last choice shows every
// file for plain images with other names.
QStringList QtNameFilters(const QString& filter);

// "*.USB" -> "USB".
QString QtDefaultSuffix(const QString& ext);

class TQtFileDialog final : public IFileDialog {
 public:
  explicit TQtFileDialog(QWidget* parent);
  ~TQtFileDialog() override;

  void SetDefaultExt(const QString& ext) override;
  void SetFilter(const QString& filter) override;
  void SetInitialDir(const QString& dir) override;
  QString InitialDir() const override;
  void SetFileName(const QString& name) override;
  QString FileName() const override;
  bool Execute() override;

  // The dialog shown by Execute (created on first use, replaced when a used
  // dialog must open with an empty file name).
  QFileDialog* Dialog();

 private:
  QWidget* parent_;
  std::unique_ptr<QFileDialog> dialog_;
  QString defaultExt_;
  QString filter_;
  QString initialDir_;
  QString fileName_;
  bool shown_ = false;
};

}  // namespace kvm::app
