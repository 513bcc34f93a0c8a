// The window's own controls that the link and the jobs drive beside the
// status sink: status-bar panels, the connection lamp, the Program button and
// the layout. Front ends without them use TNoWindowControls.
#pragma once

#include <string>

namespace kvm {

class IWindowControls {
 public:
  virtual ~IWindowControls() = default;

  // Panels of the status bar: 0 time, 1 status, 2 programmer.
  virtual void SetStatusPanel(int index, const std::string& text) = 0;
  virtual std::string GetStatusPanel(int index) const = 0;

  virtual void SetConnectLamp(bool on) = 0;
  virtual void EnableProgramButtons() = 0;
  virtual void DisableProgramButtons() = 0;
  virtual void UpdateProgramButton() = 0;
  virtual void RestoreLayout() = 0;
};

// For front ends that have no panels, lamp or buttons: panels remember their
// text, everything else does nothing.
class TNoWindowControls final : public IWindowControls {
 public:
  void SetStatusPanel(int index, const std::string& text) override {
    if (index >= 0 && index < 3) panels_[index] = text;
  }
  std::string GetStatusPanel(int index) const override { return index >= 0 && index < 3 ? panels_[index] : ""; }
  void SetConnectLamp(bool) override {}
  void EnableProgramButtons() override {}
  void DisableProgramButtons() override {}
  void UpdateProgramButton() override {}
  void RestoreLayout() override {}

 private:
  std::string panels_[3];
};

}  // namespace kvm
