// The window design: every control with its name, kind, caption, place and
// initial state. Positions are left, top, width, height in the parent.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QToolButton>

#include "app/DevReader.h"
#include "app/Pictures.h"
#include "app/StatusBar.h"

namespace kvm::app {

namespace {

constexpr int ClientWidth = 674;
constexpr int ClientHeight = 353;
constexpr int LogLineHeight = 16;

template <class T>
T* Place(T* control, const char* name, int left, int top, int width, int height) {
  control->setObjectName(QString::fromLatin1(name));
  control->setGeometry(left, top, width, height);
  return control;
}

// An auto-sized label: its width follows its text.
QLabel* PlaceLabel(QWidget* parent, const char* name, const QString& caption, int left, int top) {
  auto* label = new QLabel(caption, parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setTextFormat(Qt::PlainText);
  label->move(left, top);
  label->adjustSize();
  return label;
}

QLabel* PlacePicture(QWidget* parent, const char* name, TBallColour colour, int left, int top, int size) {
  auto* picture = Place(new QLabel(parent), name, left, top, size, size);
  picture->setScaledContents(true);
  picture->setPixmap(DrawBall(colour, parent->palette().color(QPalette::Window), picture->devicePixelRatioF()));
  return picture;
}

// Rows of the history log are one text line of 16 pixels.
class TFixedRowDelegate final : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    return {QStyledItemDelegate::sizeHint(option, index).width(), LogLineHeight};
  }
};

// The design's font is 13 pixels high, a cell height that includes the
// internal leading; Qt's pixel size is the em, so take the largest size whose
// line height is 13 pixels.
QFont WindowFont(bool bold) {
  constexpr int CellHeight = 13;
  QFont font;
  font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                    QStringLiteral("DejaVu Sans"), QStringLiteral("Liberation Sans")});
  font.setStyleHint(QFont::SansSerif);
  font.setBold(bold);
  int size = CellHeight;
  font.setPixelSize(size);
  while (size > 8 && QFontMetrics(font).height() > CellHeight) font.setPixelSize(--size);
  return font;
}

QComboBox* PlaceFileBox(QWidget* parent, const char* name, int left, int top) {
  auto* box = Place(new QComboBox(parent), name, left, top, 396, 24);
  box->setEditable(true);
  // Only "..." adds entries; a text typed and confirmed with Enter stays a text.
  box->setInsertPolicy(QComboBox::NoInsert);
  box->setDuplicatesEnabled(true);
  // Entries differ by letter case, so completion must respect it.
  box->completer()->setCaseSensitivity(Qt::CaseSensitive);
  return box;
}

}  // namespace

void TMainForm::CreateControls() {
  setFont(WindowFont(false));
  QPalette face = palette();
  face.setColor(QPalette::Window, face.color(QPalette::Button));
  setPalette(face);
  setAutoFillBackground(true);
  resize(ClientWidth, ClientHeight);

  // Created first so that the buttons stay on top of a long status text.
  StatusLabel = Place(new QLabel(this), "StatusLabel", 53, 18, 0, 16);
  StatusLabel->setTextFormat(Qt::PlainText);
  StatusLabel->setFont(WindowFont(true));
  SetStatusColour(Blue);

  ConnectBallImage = PlacePicture(this, "ConnectBallImage", TBallColour::Gray, 15, 10, BallPictureSize);
  Red_Image = PlacePicture(this, "Red_Image", TBallColour::Red, 385, 11, BallPictureSize);
  Green_Image = PlacePicture(this, "Green_Image", TBallColour::Green, 419, 11, BallPictureSize);
  Gray_Image = PlacePicture(this, "Gray_Image", TBallColour::Gray, 453, 11, BallPictureSize);
  Blue_Image = PlacePicture(this, "Blue_Image", TBallColour::Yellow, 353, 11, BallPictureSize);
  for (QLabel* source : {Red_Image, Green_Image, Gray_Image, Blue_Image}) source->hide();

  ExitButton = Place(new QPushButton(QStringLiteral("Exit"), this), "ExitButton", 557, 17, 89, 25);
  BreakButton = Place(new QPushButton(QStringLiteral("Break"), this), "BreakButton", 468, 17, 89, 25);
  BreakButton->hide();

  InnerGroupBox = Place(new QGroupBox(QStringLiteral("On Board Programmer"), this), "InnerGroupBox", 9, 48, 649, 113);
  // The caption sits on the frame line, leaving the box's inside to the
  // controls placed from its top.
  InnerGroupBox->setStyleSheet(QStringLiteral(
      "QGroupBox#InnerGroupBox { border: 1px solid palette(mid); border-radius: 2px; margin-top: 6px; }"
      "QGroupBox#InnerGroupBox::title { subcontrol-origin: margin; left: 7px; padding: 0 2px; }"));
  QWidget* box = InnerGroupBox;
  CheckBox1 = Place(new QCheckBox(QStringLiteral("USB Host"), box), "CheckBox1", 41, 25, 113, 17);
  Image1 = PlacePicture(box, "Image1", TBallColour::Gray, 15, 25, 16);
  Label1 = PlaceLabel(box, "Label1", QStringLiteral("Filename"), 153, 25);
  ComboBox1 = PlaceFileBox(box, "ComboBox1", 211, 20);
  SpeedButton1 = Place(new QToolButton(box), "SpeedButton1", 606, 21, 20, 22);
  SpeedButton1->setText(QStringLiteral("..."));
  CheckBox4 = Place(new QCheckBox(QStringLiteral("OSD"), box), "CheckBox4", 41, 48, 113, 17);
  Image5 = PlacePicture(box, "Image5", TBallColour::Gray, 15, 48, 16);
  Label4 = PlaceLabel(box, "Label4", QStringLiteral("Filename"), 153, 49);
  ComboBox5 = PlaceFileBox(box, "ComboBox5", 211, 45);
  SpeedButton5 = Place(new QToolButton(box), "SpeedButton5", 606, 46, 20, 22);
  SpeedButton5->setText(QStringLiteral("..."));
  Button7 = Place(new QPushButton(QStringLiteral("Select All"), box), "Button7", 18, 78, 90, 25);
  Button6 = Place(new QPushButton(QStringLiteral("UnSelect All"), box), "Button6", 122, 78, 90, 25);
  InAutoCheckBox = Place(new QCheckBox(QStringLiteral("Auto"), box), "InAutoCheckBox", 337, 84, 56, 17);
  InProgButton = Place(new QPushButton(QStringLiteral("Program"), box), "InProgButton", 404, 78, 90, 25);
  // Labels sit under the check boxes they touch, as graphic controls do.
  Label1->lower();
  Label4->lower();

  HistoryListBox = Place(new QListWidget(this), "HistoryListBox", 9, 167, 648, 148);
  HistoryListBox->setItemDelegate(new TFixedRowDelegate(HistoryListBox));
  HistoryListBox->setUniformItemSizes(true);
  HistoryListBox->setSelectionMode(QAbstractItemView::SingleSelection);
  HistoryListBox->setContextMenuPolicy(Qt::CustomContextMenu);
  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
  Clear1 = PopupMenu1->addAction(QStringLiteral("Clear &Log"));
  Clear1->setObjectName(QStringLiteral("Clear1"));
  ClearFileList1 = PopupMenu1->addAction(QStringLiteral("Clear All &File List"));
  ClearFileList1->setObjectName(QStringLiteral("ClearFileList1"));

  ProgramProgressBar = Place(new QProgressBar(this), "ProgramProgressBar", 8, 318, 657, 10);
  ProgramProgressBar->setRange(0, 100);
  ProgramProgressBar->setValue(0);
  ProgramProgressBar->setTextVisible(false);

  ProgStatusBar = new TPanelStatusBar({{QStringLiteral("Time"), 50, Qt::AlignHCenter},
                                       {QStringLiteral("Status"), 400, Qt::AlignLeft},
                                       {QStringLiteral("Programmer Version"), 50, Qt::AlignLeft}},
                                      this);
  ProgStatusBar->setObjectName(QStringLiteral("ProgStatusBar"));
  ProgStatusBar->Place({0, 331, ClientWidth, 22});

  DevListBox = Place(new QListWidget(this), "DevListBox", 33, 357, 320, 97);
  DevListBox->hide();
}

}  // namespace kvm::app
