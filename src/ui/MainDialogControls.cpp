// The main window's template 102 and menu 132 as Qt controls.
#include "ui/MainDialogControls.h"

#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTreeWidget>

#include "shell/MainWindowLogic.h"
#include "ui/DialogUnits.h"

namespace kivo {

MainDialogControls::MainDialogControls(QDialog& window, std::function<void(int)> dispatch)
    : window_(window), dispatch_(std::move(dispatch)) {
  BuildMenu();
  BuildTemplate();
  LayOut();
}

QLabel* MainDialogControls::AddText(int id, const char* text, int x, int y, int width, int height) {
  // A value that needs more room than its row can give wraps.
  QLabel* label = layout_.AddText(client_, text, x, y, width, height, id != 0);
  if (id != 0) {
    label->setObjectName(QStringLiteral("control%1").arg(id));
    label->setTextFormat(Qt::PlainText);
    controls_[static_cast<std::size_t>(id - 1000)] = label;
  }
  return label;
}

QLabel* MainDialogControls::Caption(QLabel* caption, QLabel* value) {
  // Assistive technologies read the value as labelled by its caption (the
  // caption's buddy), as a sighted reader pairs them by place.
  caption->setBuddy(value);
  return value;
}

QLabel* MainDialogControls::Control(int id) const {
  const int index = id - 1000;
  return index >= 0 && index < static_cast<int>(controls_.size()) ? controls_[static_cast<std::size_t>(index)]
                                                                  : nullptr;
}

void MainDialogControls::BuildTemplate() {
  client_ = new QWidget(&window_);

  auto* line = new QFrame(client_);
  line->setFrameStyle(QFrame::HLine | QFrame::Sunken);
  layout_.Place(line, 0, 0, 397, 1);
  auto* group = new QGroupBox(QStringLiteral("Zelka Storage Controller"), client_);
  layout_.Place(group, 9, 12, 382, 192, true);

  controllerBox_ = new QComboBox(client_);
  controllerBox_->setObjectName(QStringLiteral("control1023"));
  controllerBox_->setAccessibleName(QStringLiteral("Controller"));
  layout_.Place(controllerBox_, 15, 29, 118, 48);  // the height is the drop-down's
  QObject::connect(controllerBox_, &QComboBox::currentIndexChanged, &window_,
                   [this](int) { dispatch_(command::kControllerBox); });

  AddText(1031, "", 137, 21, 166, 33);

  auto* frame = new QFrame(client_);
  frame->setFrameStyle(QFrame::Box | QFrame::Sunken);
  layout_.Place(frame, 306, 23, 74, 31);
  // The logo fills the inside of its frame, never the frame's lines.
  auto* logo = new QLabel(frame);
  logo->setObjectName(QStringLiteral("logo147"));
  auto* inside = new QHBoxLayout(frame);
  inside->setContentsMargins(0, 0, 0, 0);
  // The template sizes the frame; the picture is scaled to what is inside.
  inside->setSizeConstraint(QLayout::SetNoConstraint);
  logo->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
  inside->addWidget(logo);
  logo->setPixmap(QPixmap(QStringLiteral(":/kivo/147.png")));
  logo->setScaledContents(true);

  QLabel* units = AddText(0, "Units:", 15, 48, 19, 8);
  layout_.AddRow({{units}, {Caption(units, AddText(1037, "", 36, 46, 270, 11))}}, 380);
  unitList_ = new QTreeWidget(client_);
  unitList_->setObjectName(QStringLiteral("control1011"));
  unitList_->setAccessibleName(QStringLiteral("Units"));
  layout_.Place(unitList_, 14, 58, 366, 107);
  unitList_->setRootIsDecorated(false);
  unitList_->setUniformRowHeights(true);
  unitList_->setIconSize(QSize(kSmallIconSize, kSmallIconSize));
  unitList_->setColumnCount(0);
  unitList_->header()->setStretchLastSection(false);
  unitList_->setSortingEnabled(false);

  // The version rows share their columns.
  auto pair = [&](const char* upper, int upperId, const char* lower, int lowerId, int labelX, int labelWidth,
                  int lowerLabelWidth, int valueX, int valueWidth, int upperHeight) {
    QLabel* upperCaption = AddText(0, upper, labelX, 170, labelWidth, 8);
    QLabel* lowerCaption = AddText(0, lower, labelX, 189, lowerLabelWidth, 8);
    layout_.AddColumn({upperCaption, lowerCaption});
    layout_.AddColumn({Caption(upperCaption, AddText(upperId, "", valueX, 170, valueWidth, upperHeight)),
                       Caption(lowerCaption, AddText(lowerId, "", valueX, 189, valueWidth, 8))});
  };
  layout_.AddRow({}, 386);
  pair("Driver:", 1001, "BIOS:", 1004, 17, 22, 20, 42, 103, 17);
  pair("Firmware:", 1003, "Monitor:", 1002, 145, 33, 28, 178, 76, 8);
  pair("PCBA:", 1005, "A Chip:", 1006, 254, 22, 26, 280, 35, 8);
  pair("Model:", 1009, "P Chip:", 1007, 315, 22, 24, 341, 35, 8);
  QLabel* computerName = AddText(0, "Computer name:", 9, 209, 56, 8);
  QLabel* computerNameValue = Caption(computerName, AddText(1035, "", 74, 209, 180, 8));
  QLabel* time = AddText(0, "Time:", 254, 209, 18, 8);
  layout_.AddRow(
      {{computerName}, {computerNameValue}, {time}, {Caption(time, AddText(1008, "", 280, 209, 100, 8))}},
      397);
  QLabel* system = AddText(0, "Operating System:", 9, 220, 65, 10);
  layout_.AddRow({{system}, {Caption(system, AddText(1000, "", 74, 220, 323, 10))}}, 397);

  auto addButton = [&](int id, const char* text, int x, int width) {
    auto* button = new QPushButton(QString::fromLatin1(text), client_);
    button->setObjectName(QStringLiteral("control%1").arg(id));
    layout_.Place(button, x, 236, width, 14);
    button->setAutoDefault(false);
    QObject::connect(button, &QPushButton::clicked, &window_, [this, id] { dispatch_(id); });
    return button;
  };
  QPushButton* update = addButton(command::kUpdate, "Update", 9, 50);
  update->setDefault(true);
  layout_.AddRow({{update}, {addButton(command::kHelp, "Help", 71, 50)}}, 397);
  layout_.AddRow({{addButton(command::kReturnToTray, "Return to Tray", 335, 53)}}, 394);
  // Present in the template but neither shown nor handled.
  auto* exitButton = new QPushButton(QStringLiteral("Exit"), client_);
  exitButton->setObjectName(QStringLiteral("control1036"));
  layout_.Place(exitButton, 280, 236, 50, 14);
  exitButton->setVisible(false);
}

void MainDialogControls::LayOut() {
  const int grown = layout_.LayOut(window_.font());
  const DialogUnits du = DialogUnits::ForFont(window_.font());
  const int menuHeight = menuBar_->sizeHint().height();
  const QSize client = du.Size(398, 257) + QSize(0, grown);
  menuBar_->setGeometry(0, 0, client.width(), menuHeight);
  client_->setGeometry(0, menuHeight, client.width(), client.height());
  window_.setFixedSize(client.width(), client.height() + menuHeight);
}

void MainDialogControls::BuildMenu() {
  menuBar_ = new QMenuBar(&window_);
  menuBar_->setObjectName(QStringLiteral("menu132"));
  menuBar_->setNativeMenuBar(false);
  auto add = [this](QMenu* popup, const char* text, int id) {
    QAction* action = popup->addAction(QString::fromLatin1(text));
    action->setData(id);
    QObject::connect(action, &QAction::triggered, &window_, [this, action, id] {
      // A check item's command sets its own mark (ToggleAudio flips it), as
      // the command does when another program sends it: the toggle the
      // toolkit made on the click is taken back first.
      if (action->isCheckable()) action->setChecked(!action->isChecked());
      dispatch_(id);
    });
    return action;
  };
  QMenu* file = menuBar_->addMenu(QStringLiteral("&File"));
  add(file, "&Return to System Tray", command::kReturnToSystemTray);
  add(file, "&Snapshot", command::kSnapshot);
  add(file, "&Copy to Clipboard", command::kCopy);
  add(file, "E&xit", command::kExit);
  QMenu* view = menuBar_->addMenu(QStringLiteral("&View"));
  add(view, "&Event Log", command::kEventLog)->setEnabled(false);
  add(view, "&Audio Off", command::kAudioOff)->setCheckable(true);
  QMenu* help = menuBar_->addMenu(QStringLiteral("&Help"));
  add(help, "&Help Topics...", command::kHelp);
  add(help, "&About Kivo...", command::kAbout);
}

QAction* MainDialogControls::ActionFor(int id) const {
  for (QAction* top : menuBar_->actions()) {
    if (top->menu() == nullptr) continue;
    for (QAction* action : top->menu()->actions()) {
      if (!action->isSeparator() && action->data().isValid() && action->data().toInt() == id) return action;
    }
  }
  return nullptr;
}

}  // namespace kivo
