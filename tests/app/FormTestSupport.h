// Helpers for the main-window tests: a scripted open-file dialog and a form
// built with it and a short tick.
#pragma once

#include <gtest/gtest.h>

#include <QString>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

#include "app/DevReader.h"
#include "app/FileDialog.h"

namespace kvm::app::test {

class TFakeFileDialog final : public IFileDialog {
 public:
  // What the dialog had been given when it was shown.
  struct TUse {
    QString DefaultExt, Filter, InitialDir, FileName;
  };

  void SetDefaultExt(const QString& ext) override { defaultExt_ = ext; }
  void SetFilter(const QString& filter) override { filter_ = filter; }
  void SetInitialDir(const QString& dir) override { initialDir_ = dir; }
  QString InitialDir() const override { return initialDir_; }
  void SetFileName(const QString& name) override { fileName_ = name; }
  QString FileName() const override { return fileName_; }

  bool Execute() override {
    Uses.push_back({defaultExt_, filter_, initialDir_, fileName_});
    if (Answers.empty()) {
      ADD_FAILURE() << "the dialog was shown but the test gave no answer";
      return false;
    }
    const std::optional<QString> answer = Answers.front();
    Answers.pop_front();
    if (!answer) return false;
    fileName_ = *answer;
    return true;
  }

  // One per Execute: the chosen file, or nothing for Cancel.
  std::deque<std::optional<QString>> Answers;
  std::vector<TUse> Uses;

 private:
  QString defaultExt_, filter_, initialDir_, fileName_;
};

inline constexpr int TestTickMs = 10;

struct TFormFixture {
  explicit TFormFixture(TOsVersionQuery version = [] { return std::optional<int>(0); }) {
    auto dialog = std::make_unique<TFakeFileDialog>();
    Dialog = dialog.get();
    TMainFormOptions options;
    options.tickMs = TestTickMs;
    options.osVersion = std::move(version);
    options.fileDialog = std::move(dialog);
    Form = std::make_unique<TMainForm>(std::move(options));
  }

  TFakeFileDialog* Dialog = nullptr;
  std::unique_ptr<TMainForm> Form;
};

// The control of that name and kind; fails the test when there is none.
template <class T>
T* Find(const QWidget& form, const char* name) {
  T* control = form.findChild<T*>(QString::fromLatin1(name));
  EXPECT_NE(control, nullptr) << "no control " << name;
  return control;
}

}  // namespace kvm::app::test
