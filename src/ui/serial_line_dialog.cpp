#include "serial_line_dialog.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QShowEvent>
#include <QStringList>
#include <QVBoxLayout>
#include <vector>

#include "comm/serial_line.h"
#include "comm/serial_port.h"
#include "core/prompter.h"
#include "live/station.h"

namespace trelvan {

namespace {

enum Frame { kPort = 0, kSpeed = 1, kParity = 2, kStop = 3 };

struct FrameText {
  const char* title;
  std::array<const char*, 4> options; // nullptr ends the list
};

const std::array<FrameText, 4> kFrames{{
    {"Port", {"Com1", "Com2", "Com3", "Com4"}},
    {"Geschwindigkeit", {"9600", "4800", "2400", nullptr}},
    {"Parität", {"OHNE", "GERADE", "UNGERADE", nullptr}},
    {"Stop", {"1", "2", nullptr, nullptr}},
}};

int OptionCount(Frame frame) {
  int n = 0;
  for (const char* text : kFrames[static_cast<std::size_t>(frame)].options) n += text ? 1 : 0;
  return n;
}

void Select(QButtonGroup* group, int option) {
  if (QAbstractButton* b = group->button(option)) b->setChecked(true);
}

} // namespace

ConfLS::ConfLS(Station& station, Prompter& prompter, QWidget* parent)
    : QWidget(parent, Qt::Dialog), station_(station), prompter_(prompter) {
  setObjectName("ConfLS");
  setWindowTitle("Konfigurieren  (Serienverbindung)");
  BuildControls();
  new QShortcut(QKeySequence(Qt::Key_Escape), this, [this] { Cancel(); });
}

void ConfLS::BuildControls() {
  auto* grid = new QGridLayout;
  grid->setSpacing(12);
  std::vector<QWidget*> tabOrder;
  for (int f = 0; f < 4; ++f) {
    const FrameText& text = kFrames[static_cast<std::size_t>(f)];
    auto* frame = new QGroupBox(QString::fromUtf8(text.title));
    frame->setObjectName(QString("Frame%1").arg(f + 1));
    auto* column = new QVBoxLayout(frame);
    auto* group = new QButtonGroup(this);
    for (int k = 0; k < OptionCount(static_cast<Frame>(f)); ++k) {
      auto* option = new QRadioButton(QString::fromUtf8(text.options[static_cast<std::size_t>(k)]));
      option->setObjectName(QString("Option%1_%2").arg(f + 1).arg(k));
      group->addButton(option, k);
      column->addWidget(option);
      if (f == kPort) portOptions_[static_cast<std::size_t>(k)] = option;
      tabOrder.push_back(option);
    }
    column->addStretch(1);
    frames_[static_cast<std::size_t>(f)] = frame;
    groups_[static_cast<std::size_t>(f)] = group;
    grid->addWidget(frame, f / 2, f % 2);
  }

  // A choice changes the record at once, with its text piece; only
  // "Bestätigen" writes the file.
  SerialSettings& s = station_.serialSettings;
  connect(groups_[kPort], &QButtonGroup::idToggled, this, [&s](int k, bool on) {
    if (on) s.SetPort(k);
  });
  connect(groups_[kSpeed], &QButtonGroup::idToggled, this, [&s](int k, bool on) {
    if (on) s.SetSpeed(k);
  });
  connect(groups_[kParity], &QButtonGroup::idToggled, this, [&s](int k, bool on) {
    if (on) s.SetParity(k);
  });
  connect(groups_[kStop], &QButtonGroup::idToggled, this, [&s](int k, bool on) {
    if (on) s.SetStopBits(k);
  });

  confirmButton_ = new QPushButton("Bestätigen");
  confirmButton_->setObjectName("Command1");
  openButton_ = new QPushButton("Auslesen");
  openButton_->setObjectName("Command2");
  cancelButton_ = new QPushButton("Abrechen");
  cancelButton_->setObjectName("Command3");
  connect(confirmButton_, &QPushButton::clicked, this, &ConfLS::Confirm);
  connect(openButton_, &QPushButton::clicked, this, &ConfLS::OpenLine);
  connect(cancelButton_, &QPushButton::clicked, this, &ConfLS::Cancel);
  for (QPushButton* b : {confirmButton_, openButton_, cancelButton_})
    b->setMinimumWidth(b->fontMetrics().horizontalAdvance("Bestätigen") + 32);
  auto* buttons = new QHBoxLayout;
  buttons->setSpacing(12);
  buttons->addWidget(openButton_);
  buttons->addSpacing(24);
  buttons->addStretch(1);
  buttons->addWidget(confirmButton_);
  buttons->addWidget(cancelButton_);

  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(16, 16, 16, 16);
  outer->setSpacing(16);
  outer->addLayout(grid);
  outer->addLayout(buttons);
  outer->setSizeConstraint(QLayout::SetFixedSize);

  tabOrder.insert(tabOrder.end(), {confirmButton_, cancelButton_, openButton_});
  for (std::size_t i = 1; i < tabOrder.size(); ++i) setTabOrder(tabOrder[i - 1], tabOrder[i]);
}

void ConfLS::Start(bool show) {
  if (started_) return;
  started_ = true;
  ReloadRecord();
  if (show) this->show();
  ProbePorts();
  SelectFromRecord();
}

void ConfLS::ProbePorts() {
  SerialPort* port = station_.port;
  if (probed_ || !port) return;
  // Trying the ports means selecting each on the one port object, which an
  // open line (a measurement) would not survive; try again when the dialog is
  // next shown.
  if (port->IsOpen()) {
    probeDeferred_ = true;
    return;
  }
  probeDeferred_ = false;
  for (int p = 1; p <= 4; ++p) {
    port->SelectPort(p);
    QString error;
    if (!port->Open(&error)) {
      // Not told: a port that is not there simply cannot be chosen. Why, the
      // option says on hovering (a disabled option shows its tooltip too).
      QRadioButton* option = portOptions_[static_cast<std::size_t>(p - 1)];
      option->setEnabled(false);
      option->setToolTip(error);
      continue;
    }
    port->Close();
  }
  probed_ = true;
}

void ConfLS::SelectFromRecord() {
  SerialSettings& s = station_.serialSettings;
  QStringList fellBack;
  auto inRange = [&](int index, Frame frame) {
    if (index >= 0 && index < OptionCount(frame)) return index;
    fellBack << QString::fromUtf8(kFrames[static_cast<std::size_t>(frame)].title);
    return 0;
  };
  const int speed = inRange(s.speedIndex, kSpeed);
  Select(groups_[kSpeed], speed);
  s.SetSpeed(speed);
  const int parity = inRange(s.parityIndex, kParity);
  Select(groups_[kParity], parity);
  s.SetParity(parity);
  s.dataBitsText.assign(1, '8'); // (not = "8": GCC 12 -O2 misreports -Wrestrict there)
  const int stop = inRange(s.stopBitsIndex, kStop);
  Select(groups_[kStop], stop);
  s.SetStopBits(stop);
  // A stored port that could not be opened falls back to Com1, in the record
  // only: the file keeps its port until "Bestätigen".
  const int port = inRange(s.portNumber - 1, kPort);
  if (portOptions_[static_cast<std::size_t>(port)]->isEnabled()) {
    Select(groups_[kPort], port);
    s.SetPort(port);
  } else {
    Select(groups_[kPort], 0);
    s.SetPort(0);
  }
  if (!fellBack.isEmpty()) {
    Tell(("Die Einstellung der Serienverbindung hat keine passende Auswahl für: " +
          fellBack.join(", ") + ". Dort gilt jetzt die erste Auswahl.")
             .toStdString());
  }
}

void ConfLS::ReloadRecord() {
  const ConfigStatus status = LoadSerialSettings(station_.serialSettings, station_.folder);
  // A missing file was told at start-up and means the first choices anyway;
  // a faulty one is told here, where its effect is seen.
  if (status.ok())
    lastToldProblem_.clear();
  else if (status.kind == ConfigStatus::Kind::Invalid)
    Tell(status.message + " Wo die Datei keine gültige Auswahl enthält, gilt die erste.");
  else if (status.kind == ConfigStatus::Kind::IoError)
    Tell(status.message);
}

void ConfLS::Tell(const std::string& problem) {
  // The same problem is told once, not on every "Abrechen".
  if (problem == lastToldProblem_) return;
  lastToldProblem_ = problem;
  prompter_.tell(PromptIcon::Warning, problem);
}

void ConfLS::Confirm() {
  // The open line keeps its settings; they apply when it is next opened.
  const ConfigStatus saved = SaveSerialSettings(station_.serialSettings, station_.folder);
  if (!saved.ok()) {
    prompter_.beep();
    prompter_.tell(PromptIcon::Error, saved.message);
    return;
  }
  hide();
  emit confirmed();
}

void ConfLS::Cancel() {
  ReloadRecord();
  SelectFromRecord();
  hide();
  emit cancelled();
}

void ConfLS::OpenLine() {
  SerialPort* port = station_.port;
  if (!port) return;
  if (port->IsOpen()) {
    prompter_.beep();
    prompter_.tell(PromptIcon::Information,
                   QString("Die Serienverbindung ist bereits geöffnet (%1).")
                       .arg(port->DeviceName())
                       .toStdString());
    return;
  }
  const PortResult result = OpenPort(*port, station_.serialSettings);
  if (!result.ok) {
    prompter_.beep();
    prompter_.tell(PromptIcon::Error,
                   ("Die Serienverbindung lässt sich nicht öffnen.\n" + result.message).toStdString());
  }
}

void ConfLS::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // The probe that an open line put off at creation.
  if (probeDeferred_ && station_.port && !station_.port->IsOpen()) {
    ProbePorts();
    SelectFromRecord();
  }
}

void ConfLS::closeEvent(QCloseEvent* event) {
  // During a poll pass the choices stay as they are; otherwise closing is
  // "Abrechen".
  if (started_ && !station_.PollBusy) {
    ReloadRecord();
    SelectFromRecord();
  }
  event->accept();
  emit closed();
}

} // namespace trelvan
