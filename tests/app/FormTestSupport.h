// A scripted open-file dialog and a main window built with it, a short tick
// and a chosen system version.
#pragma once

#include <gtest/gtest.h>

#include <QLabel>
#include <deque>
#include <optional>
#include <vector>

#include "app/DevReader.h"

namespace kvm::app::test {

class TFakeFileDialog final : public IFileDialog {
 public:
  struct TUse {  // what the dialog had been given when shown
    QString DefaultExt, Filter, InitialDir, FileName;
  };
  void SetDefaultExt(const QString& ext) override { ext_ = ext; }
  void SetFilter(const QString& filter) override { filter_ = filter; }
  void SetInitialDir(const QString& dir) override { dir_ = dir; }
  QString InitialDir() const override { return dir_; }
  void SetFileName(const QString& name) override { name_ = name; }
  QString FileName() const override { return name_; }
  bool Execute() override {
    Uses.push_back({ext_, filter_, dir_, name_});
    if (Answers.empty()) ADD_FAILURE() << "the dialog was shown without a scripted answer";
    std::optional<QString> answer = Answers.empty() ? std::nullopt : Answers.front();
    if (!Answers.empty()) Answers.pop_front();
    if (answer) name_ = *answer;
    return answer.has_value();
  }
  std::deque<std::optional<QString>> Answers;  // chosen file, or nothing for Cancel
  std::vector<TUse> Uses;

 private:
  QString ext_, filter_, dir_, name_;
};

struct TFormFixture {
  explicit TFormFixture(std::optional<int> osMajor = 0, std::function<void()> resetJobMemory = {}) {
    auto dialog = std::make_unique<TFakeFileDialog>();
    Dialog = dialog.get();
    TMainFormOptions options;
    options.tickMs = 10;
    options.osVersion = [osMajor] { return osMajor; };
    options.fileDialog = std::move(dialog);
    options.resetJobMemory = std::move(resetJobMemory);
    Form = std::make_unique<TMainForm>(std::move(options));
  }
  TFakeFileDialog* Dialog = nullptr;
  std::unique_ptr<TMainForm> Form;
};

inline QImage Picture(const QLabel* label) { return label->pixmap().toImage(); }

}  // namespace kvm::app::test
