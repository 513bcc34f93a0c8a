#include "app/StatusBar.h"

#include <QLabel>
#include <QtGlobal>
#include <algorithm>

namespace kvm::app {

namespace {
constexpr int PanelGap = 2;
constexpr int PanelMargin = 2;
}  // namespace

TPanelStatusBar::TPanelStatusBar(const std::vector<TPanel>& panels, QWidget* parent) : QFrame(parent) {
  for (const TPanel& panel : panels) {
    auto* label = new QLabel(panel.Text, this);
    label->setObjectName(QStringLiteral("Panel%1").arg(labels_.size()));
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setAlignment(panel.Alignment | Qt::AlignVCenter);
    label->setIndent(2);
    label->setTextFormat(Qt::PlainText);
    labels_.push_back(label);
    widths_.push_back(panel.Width);
  }
  LayoutPanels();
}

bool TPanelStatusBar::ValidIndex(int index) const { return index >= 0 && index < PanelCount(); }

void TPanelStatusBar::SetPanelText(int index, const QString& text) {
  if (!ValidIndex(index)) {
    qWarning("status bar: there is no panel %d (it has %d)", index, PanelCount());
    return;
  }
  labels_[index]->setText(text);
  labels_[index]->setToolTip(text);
}

QString TPanelStatusBar::PanelText(int index) const { return ValidIndex(index) ? labels_[index]->text() : QString(); }

QLabel* TPanelStatusBar::Panel(int index) const { return ValidIndex(index) ? labels_[index] : nullptr; }

void TPanelStatusBar::Place(const QRect& geometry) {
  setGeometry(geometry);
  LayoutPanels();
}

void TPanelStatusBar::resizeEvent(QResizeEvent* event) {
  QFrame::resizeEvent(event);
  LayoutPanels();
}

void TPanelStatusBar::LayoutPanels() {
  const int top = PanelMargin;
  const int height = std::max(0, this->height() - 2 * PanelMargin);
  int left = 0;
  for (int i = 0; i < PanelCount(); ++i) {
    const bool last = i + 1 == PanelCount();
    const int width = last ? std::max(widths_[i], this->width() - left - PanelMargin) : widths_[i];
    labels_[i]->setGeometry(left, top, width, height);
    left += width + PanelGap;
  }
}

}  // namespace kvm::app
