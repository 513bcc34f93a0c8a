// A status bar of fixed-width text panels laid side by side; the last panel
// reaches the right edge.
#pragma once

#include <QFrame>
#include <QString>
#include <vector>

class QLabel;

namespace kvm::app {

class TPanelStatusBar final : public QFrame {
 public:
  struct TPanel {
    QString Text;
    int Width;
    Qt::Alignment Alignment;
  };

  TPanelStatusBar(const std::vector<TPanel>& panels, QWidget* parent);

  int PanelCount() const { return static_cast<int>(labels_.size()); }
  // Out-of-range indexes are refused with a warning.
  void SetPanelText(int index, const QString& text);
  QString PanelText(int index) const;
  QLabel* Panel(int index) const;
  // Sets the bar's geometry and lays the panels out at once; a hidden
  // widget would get its resize event only when shown.
  void Place(const QRect& geometry);

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  bool ValidIndex(int index) const;
  void LayoutPanels();

  std::vector<QLabel*> labels_;
  std::vector<int> widths_;
};

}  // namespace kvm::app
