#include "serial_setup_window.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

#include "comm/port_access.h"
#include "comm/serial_line.h"
#include "comm/serial_port.h"
#include "core/catalogue.h"
#include "core/channel_table.h"
#include "core/prompter.h"
#include "core/station_address.h"
#include "live/station.h"

namespace trelvan {

namespace {

enum DeviceColumn { kKernel, kStable, kMaker, kProduct, kSerial, kAccess, kDeviceColumns };
enum AnswerColumn { kStation, kBlock, kSettings, kReplyTime, kRegisters, kReadAs, kAnswerColumns };

QString AccessWord(const PortAccess& a) {
  using State = PortAccess::State;
  switch (a.state) {
    case State::Free: return QStringLiteral("frei");
    case State::Missing: return QStringLiteral("nicht vorhanden");
    case State::NotADevice: return QStringLiteral("kein Gerät");
    case State::NoPermission: return QStringLiteral("keine Berechtigung");
    case State::InUse: return a.holder.isEmpty() ? QStringLiteral("belegt") : "belegt: " + a.holder;
    case State::OpenHere: return QStringLiteral("von diesem Programm geöffnet");
    case State::Unusable: return QStringLiteral("nicht nutzbar");
  }
  return {};
}

QString BlockText(Block block) { return block == Block::Master ? QStringLiteral("Master") : QStringLiteral("Ext."); }

QString RegisterText(const ScanAnswer& a) {
  if (a.exceptionCode != 0) return QStringLiteral("Ausnahme %1").arg(a.exceptionCode);
  QStringList words;
  for (std::uint16_t r : a.registers) words << QStringLiteral("%1").arg(r, 4, 16, QChar('0')).toUpper();
  return words.join(' ');
}

QTableWidgetItem* Cell(const QString& text) {
  auto* item = new QTableWidgetItem(text);
  item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
  return item;
}

QTableWidget* Table(const QStringList& headers) {
  auto* table = new QTableWidget(0, static_cast<int>(headers.size()));
  table->setHorizontalHeaderLabels(headers);
  table->setSelectionBehavior(QAbstractItemView::SelectRows);
  table->setSelectionMode(QAbstractItemView::SingleSelection);
  table->verticalHeader()->hide();
  table->horizontalHeader()->setStretchLastSection(true);
  table->setTabKeyNavigation(false);
  return table;
}

} // namespace

SerialSetupWindow::SerialSetupWindow(Station& station, Prompter& prompter, QWidget* parent,
                                     const QString& byIdRoot)
    : QWidget(parent, Qt::Window),
      station_(station),
      prompter_(prompter),
      ports_(QString::fromStdString(station.folder.string()), byIdRoot) {
  setObjectName("SerialSetupWindow");
  setWindowTitle("Serielle Schnittstelle einrichten");
  BuildControls();
  new QShortcut(QKeySequence(Qt::Key_Escape), this, [this] {
    if (scanning()) CancelScan(); else close();
  });
  Refresh();
}

void SerialSetupWindow::BuildControls() {
  folderLabel_ = new QLabel;
  folderLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  folderLabel_->setToolTip(
      "Hier liegen \"config.txt\", \"PortCom.dat\" und \"trelvan.ini\". Der Ordner ist der mit --folder "
      "genannte, sonst der aktuelle Ordner, wenn er eine \"config.txt\" enthält, sonst der Ordner "
      "\"trelvan\" in den Benutzerdaten (~/.local/share/trelvan).");

  // The devices present.
  deviceTable_ = Table({"Gerät", "Fester Name", "Hersteller", "Produkt", "Seriennummer", "Zugriff"});
  deviceTable_->setObjectName("deviceTable");
  deviceTable_->setMinimumHeight(56);
  deviceTable_->setMaximumHeight(110); // a few devices; more scroll
  accessLabel_ = new QLabel;
  accessLabel_->setObjectName("accessLabel");
  accessLabel_->setWordWrap(true);
  accessLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  refreshButton_ = new QPushButton("&Aktualisieren");
  connect(refreshButton_, &QPushButton::clicked, this, &SerialSetupWindow::Refresh);
  connect(deviceTable_, &QTableWidget::itemSelectionChanged, this, &SerialSetupWindow::ShowDeviceAccess);
  auto* devices = new QGroupBox("Serielle Geräte");
  auto* deviceLayout = new QVBoxLayout(devices);
  deviceLayout->addWidget(deviceTable_);
  deviceLayout->addWidget(accessLabel_);
  deviceLayout->addWidget(refreshButton_, 0, Qt::AlignLeft);

  // Which device each port is.
  auto* assignments = new QGroupBox("Zuordnung der Ports (in \"trelvan.ini\")");
  auto* assignmentGrid = new QGridLayout(assignments);
  for (int k = 0; k < kPortCount; ++k) {
    auto* combo = new QComboBox;
    combo->setObjectName(QStringLiteral("assignment_%1").arg(k));
    combo->setMinimumContentsLength(40);
    combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    auto* label = new QLabel(QStringLiteral("Com&%1").arg(k + 1));
    label->setBuddy(combo);
    resolved_[static_cast<std::size_t>(k)] = new QLabel;
    assignment_[static_cast<std::size_t>(k)] = combo;
    assignmentGrid->addWidget(label, k, 0);
    assignmentGrid->addWidget(combo, k, 1);
    assignmentGrid->addWidget(resolved_[static_cast<std::size_t>(k)], k, 2);
  }
  assignmentGrid->setColumnStretch(2, 1);
  saveButton_ = new QPushButton("&Zuordnung speichern");
  connect(saveButton_, &QPushButton::clicked, this, &SerialSetupWindow::SaveAssignments);
  assignmentGrid->addWidget(saveButton_, kPortCount, 0, 1, 2, Qt::AlignLeft);

  // Test and scans.
  lineLabel_ = new QLabel;
  lineLabel_->setObjectName("lineLabel");
  auto spin = [](int lo, int hi, int value) {
    auto* s = new QSpinBox;
    s->setRange(lo, hi);
    s->setValue(value);
    return s;
  };
  firstStation_ = spin(kFirstStation, kLastConfigurableStation, kFirstStation);
  firstStation_->setObjectName("firstStation");
  lastStation_ = spin(kFirstStation, kLastConfigurableStation, kLastConfigurableStation);
  lastStation_->setObjectName("lastStation");
  replyMs_ = spin(20, 10000, 300);
  replyMs_->setObjectName("replyMs");
  replyMs_->setSingleStep(50);
  replyMs_->setSuffix(" ms");
  replyMs_->setToolTip("So lange wartet jede Anfrage auf die Antwort. Die Messung wartet 2000 ms.");
  searchStation_ = spin(kFirstStation, kLastConfigurableStation, kFirstStation);
  searchStation_->setObjectName("searchStation");
  testButton_ = new QPushButton("&Verbindung testen");
  testButton_->setToolTip("Öffnet die Leitung mit den Einstellungen aus \"PortCom.dat\" und fragt die "
                          "Station jedes eingeschalteten Kanals einmal.");
  scanButton_ = new QPushButton("&Stationen suchen");
  scanButton_->setToolTip("Fragt jede Station des Bereichs nach ihrem Master- und ihrem Ext.-Block.");
  searchButton_ = new QPushButton("&Einstellungen suchen");
  searchButton_->setToolTip("Fragt die Station unter jeder Geschwindigkeit, Parität und Stoppbitzahl "
                            "des Dialogs \"Serienverbindung\" und zeigt, unter welchen sie antwortet.");
  cancelButton_ = new QPushButton("A&bbrechen");
  cancelButton_->setEnabled(false);
  connect(testButton_, &QPushButton::clicked, this, &SerialSetupWindow::TestConnection);
  connect(scanButton_, &QPushButton::clicked, this, &SerialSetupWindow::ScanStations);
  connect(searchButton_, &QPushButton::clicked, this, &SerialSetupWindow::SearchSettings);
  connect(cancelButton_, &QPushButton::clicked, this, &SerialSetupWindow::CancelScan);
  progress_ = new QProgressBar;
  progress_->setRange(0, 1);
  progress_->setValue(0);
  progressText_ = new QLabel;
  progressText_->setObjectName("progressText");
  answerTable_ = Table({"Station", "Block", "Einstellungen", "Antwortzeit", "Register", "Gelesen als"});
  answerTable_->setObjectName("answerTable");
  answerTable_->setMinimumHeight(96);
  connect(answerTable_, &QTableWidget::itemSelectionChanged, this,
          &SerialSetupWindow::ShowTypesOfSelectedAnswer);

  auto label = [](const QString& text, QWidget* buddy) {
    auto* l = new QLabel(text);
    l->setBuddy(buddy);
    return l;
  };
  auto* rangeRow = new QHBoxLayout;
  rangeRow->addWidget(label("Stationen v&on", firstStation_));
  rangeRow->addWidget(firstStation_);
  rangeRow->addWidget(label("b&is", lastStation_));
  rangeRow->addWidget(lastStation_);
  rangeRow->addSpacing(16);
  rangeRow->addWidget(label("An&twortzeit", replyMs_));
  rangeRow->addWidget(replyMs_);
  rangeRow->addSpacing(16);
  rangeRow->addWidget(testButton_);
  rangeRow->addWidget(scanButton_);
  rangeRow->addStretch(1);
  auto* searchRow = new QHBoxLayout;
  searchRow->addWidget(label("A&dresse", searchStation_));
  searchRow->addWidget(searchStation_);
  searchRow->addWidget(searchButton_);
  searchRow->addStretch(1);
  searchRow->addWidget(cancelButton_);
  auto* progressRow = new QHBoxLayout;
  progressRow->addWidget(progress_, 1);
  progressRow->addWidget(progressText_, 2);

  channel_ = new QComboBox;
  channel_->setObjectName("channel");
  for (int i = 0; i < kChannelCount; ++i) channel_->addItem(QStringLiteral("Kanal %1").arg(i));
  type_ = new QComboBox;
  type_->setObjectName("type");
  type_->setMinimumContentsLength(24);
  takeButton_ = new QPushButton("In Kanal &übernehmen");
  takeButton_->setToolTip("Trägt Station und Block der gewählten Antwort in den Kanal ein und speichert "
                          "\"config.txt\" wie der Konfigurationsdialog.");
  connect(takeButton_, &QPushButton::clicked, this, &SerialSetupWindow::TakeIntoChannel);
  auto* takeRow = new QHBoxLayout;
  takeRow->addWidget(label("&Kanal", channel_));
  takeRow->addWidget(channel_);
  takeRow->addWidget(label("T&yp", type_));
  takeRow->addWidget(type_);
  takeRow->addWidget(takeButton_);
  takeRow->addStretch(1);

  auto* scans = new QGroupBox("Verbindungstest und Suche");
  auto* scanLayout = new QVBoxLayout(scans);
  scanLayout->addWidget(lineLabel_);
  scanLayout->addLayout(rangeRow);
  scanLayout->addLayout(searchRow);
  scanLayout->addLayout(progressRow);
  scanLayout->addWidget(answerTable_, 1);
  scanLayout->addLayout(takeRow);

  auto* closeButton = new QPushButton("Sc&hließen");
  connect(closeButton, &QPushButton::clicked, this, &QWidget::close);

  auto* outer = new QVBoxLayout(this);
  outer->addWidget(folderLabel_);
  outer->addWidget(devices, 1);
  outer->addWidget(assignments);
  outer->addWidget(scans, 4);
  outer->addWidget(closeButton, 0, Qt::AlignRight);
  // Within the screen, title bar included, on a screen 800 pixels high too.
  resize(1000, std::min(900, screen() ? screen()->availableGeometry().height() - 60 : 900));
}

void SerialSetupWindow::Refresh() {
  folderLabel_->setText("Arbeitsordner: " + QString::fromStdString(station_.folder.string()));

  devices_ = ports_.Devices();
  deviceTable_->setRowCount(static_cast<int>(devices_.size()));
  for (int row = 0; row < devices_.size(); ++row) {
    const SerialDevice& d = devices_[row];
    const PortAccess access = CheckPortAccess(d.assignedName());
    const QString texts[kDeviceColumns] = {d.kernelName, d.stableName,   d.manufacturer,
                                           d.product,    d.serialNumber, AccessWord(access)};
    for (int c = 0; c < kDeviceColumns; ++c) {
      QTableWidgetItem* item = Cell(texts[c]);
      item->setToolTip(c == kAccess ? access.text : texts[c]);
      item->setData(Qt::UserRole, access.text);
      deviceTable_->setItem(row, c, item);
    }
  }
  deviceTable_->resizeColumnsToContents();
  accessLabel_->setText(devices_.isEmpty() ? QStringLiteral("Keine seriellen Geräte gefunden. Ist der "
                                                            "USB-Adapter eingesteckt?")
                                           : QStringLiteral("Ein Gerät wählen, um zu sehen, ob es sich "
                                                            "öffnen lässt."));

  for (int k = 0; k < kPortCount; ++k) {
    const int port = k + 1;
    QComboBox* combo = assignment_[static_cast<std::size_t>(k)];
    combo->clear();
    combo->addItem(QStringLiteral("(Standard: %1)").arg(PortDirectory::PlatformDefault(port)), QString());
    for (const SerialDevice& d : devices_) {
      QString text = d.assignedName();
      const QString about = QStringList{d.manufacturer, d.product}.join(' ').trimmed();
      if (!about.isEmpty()) text += "  (" + about + ")";
      combo->addItem(text, d.assignedName());
    }
    const QString stored = ports_.Assignment(port);
    int index = stored.isEmpty() ? 0 : combo->findData(stored);
    if (index < 0) { // assigned, but not plugged in now
      combo->addItem(stored + "  (nicht eingesteckt)", stored);
      index = combo->count() - 1;
    }
    combo->setCurrentIndex(index);
    const PortDirectory::Resolution r = ports_.Resolve(port);
    const bool fromEnvironment = r.source == PortDirectory::Source::Environment;
    combo->setEnabled(!fromEnvironment);
    QLabel* resolved = resolved_[static_cast<std::size_t>(k)];
    resolved->setText(fromEnvironment ? QStringLiteral("= %1 (Umgebungsvariable TRELVAN_COM%2 gilt)").arg(r.device).arg(port)
                                      : "= " + r.device);
  }

  const SerialSettings& s = station_.serialSettings;
  lineLabel_->setText(QStringLiteral("Leitung: Com%1 = %2, %3 (aus \"PortCom.dat\")")
                          .arg(s.portNumber)
                          .arg(ports_.DeviceForPort(s.portNumber), QString::fromStdString(SettingsText(s))));
}

void SerialSetupWindow::ShowDeviceAccess() {
  const int row = deviceTable_->currentRow();
  if (row < 0 || row >= devices_.size()) return;
  // Asked anew: the state may have changed since the list was made.
  const PortAccess access = CheckPortAccess(devices_[row].assignedName());
  accessLabel_->setText(access.state == PortAccess::State::Free
                            ? QStringLiteral("%1 lässt sich öffnen.").arg(access.device)
                            : access.text);
  deviceTable_->item(row, kAccess)->setText(AccessWord(access));
}

void SerialSetupWindow::SaveAssignments() {
  for (int k = 0; k < kPortCount; ++k) {
    QComboBox* combo = assignment_[static_cast<std::size_t>(k)];
    if (!combo->isEnabled()) continue;
    QString error;
    if (!ports_.Assign(k + 1, combo->currentData().toString(), &error)) {
      prompter_.beep();
      prompter_.tell(PromptIcon::Error, error.toStdString());
      return;
    }
  }
  Refresh();
}

bool SerialSetupWindow::OpenLineForScan() {
  SerialPort* port = station_.port;
  if (port == nullptr) return false;
  if (port->IsOpen() || station_.PollBusy) {
    prompter_.beep();
    prompter_.tell(PromptIcon::Warning,
                   QStringLiteral("Die Leitung %1 ist geöffnet: Eine Messung benutzt sie. Testen und Suchen "
                                  "gehen erst, wenn die Messung beendet ist.")
                       .arg(port->DeviceName())
                       .toStdString());
    return false;
  }
  const PortResult opened = OpenPort(*port, station_.serialSettings);
  if (!opened.ok) {
    prompter_.beep();
    prompter_.tell(PromptIcon::Error, ("Die Serienverbindung lässt sich nicht öffnen.\n" + opened.message).toStdString());
    return false;
  }
  return true;
}

void SerialSetupWindow::SetBusy(bool busy) {
  for (QWidget* w : std::initializer_list<QWidget*>{testButton_, scanButton_, searchButton_, takeButton_,
                                                    saveButton_, refreshButton_})
    w->setEnabled(!busy);
  cancelButton_->setEnabled(busy);
  if (busy) cancelButton_->setFocus(Qt::OtherFocusReason);
}

template <typename Work>
void SerialSetupWindow::RunScan(const QString& what, Work work) {
  if (scanning() || !OpenLineForScan()) return;
  answers_.clear();
  answerOfRow_.clear();
  answerTable_->setRowCount(0);
  type_->clear();

  AddressScan scan(*station_.port);
  scan.SetDecimalSeparator(station_.decimalSeparator);
  connect(&scan, &AddressScan::progress, this, [this](int done, int total, const QString& text) {
    progress_->setRange(0, total);
    progress_->setValue(done);
    progressText_->setText(text);
  });
  connect(&scan, &AddressScan::answered, this, &SerialSetupWindow::ShowAnswer);
  connect(&scan, &AddressScan::settingRefused, this,
          [this](const QString& reason) { ShowNoAnswer(searchStation_->value(), Block::Master, reason); });
  scan_ = &scan;
  SetBusy(true);
  QPointer<SerialSetupWindow> self(this);
  SerialPort& port = *station_.port;
  work(scan);
  ClosePort(port);
  if (!self) return; // the window went away during the scan
  scan_ = nullptr;
  SetBusy(false);
  const int found = static_cast<int>(answers_.size());
  QString summary = scan.cancelled()   ? QStringLiteral("%1 abgebrochen").arg(what)
                    : found == 0       ? QStringLiteral("%1: keine Antwort").arg(what)
                    : found == 1       ? QStringLiteral("%1: eine Antwort").arg(what)
                                       : QStringLiteral("%1: %2 Antworten").arg(what).arg(found);
  progressText_->setText(summary);
  if (!scan.lineLost().isEmpty()) {
    prompter_.beep();
    prompter_.tell(PromptIcon::Error, scan.lineLost().toStdString());
  }
  if (answerTable_->rowCount() > 0) answerTable_->selectRow(0);
}

void SerialSetupWindow::TestConnection() {
  std::vector<std::pair<int, Block>> blocks;
  const ChannelTable& table = station_.channelTable;
  for (int i = 0; i < kChannelCount; ++i) {
    if (!table[i].isEnabled()) continue;
    const std::optional<int> station = StationNumber(table[i].stationAddress);
    if (!station) continue;
    blocks.emplace_back(*station, IsMasterChannel(table, i) ? Block::Master : Block::Ext);
  }
  RunScan("Verbindungstest", [&](AddressScan& scan) {
    connect(&scan, &AddressScan::unanswered, this, &SerialSetupWindow::ShowNoAnswer);
    if (blocks.empty()) {
      progressText_->setText("Die Leitung ließ sich öffnen; kein Kanal ist eingeschaltet.");
      return;
    }
    scan.AskEach(blocks, replyMs_->value());
  });
}

void SerialSetupWindow::ScanStations() {
  ScanRange range;
  range.firstStation = firstStation_->value();
  range.lastStation = lastStation_->value();
  range.replyMs = replyMs_->value();
  if (range.firstStation > range.lastStation) std::swap(range.firstStation, range.lastStation);
  RunScan("Suche", [&](AddressScan& scan) { scan.Scan(range); });
}

void SerialSetupWindow::SearchSettings() {
  const int station = searchStation_->value();
  RunScan(QStringLiteral("Einstellungssuche an Station %1").arg(station),
          [&](AddressScan& scan) { scan.SearchSettings(station, replyMs_->value()); });
}

void SerialSetupWindow::CancelScan() {
  if (scan_) scan_->Cancel();
}

void SerialSetupWindow::ShowAnswer(const ScanAnswer& answer) {
  answers_.push_back(answer);
  const int row = answerTable_->rowCount();
  answerTable_->insertRow(row);
  answerOfRow_.push_back(static_cast<int>(answers_.size()) - 1);
  QString readAs;
  QStringList all;
  for (const TypeReading& r : answer.readings)
    all << QString::fromStdString(r.type).trimmed() + ": " + QString::fromStdString(r.text).simplified();
  if (answer.exceptionCode != 0) {
    readAs = "Station antwortet, der Block fehlt";
  } else if (!all.isEmpty()) {
    readAs = all.front() + (all.size() > 1 ? QStringLiteral("  (+%1)").arg(all.size() - 1) : QString());
  }
  const QString texts[kAnswerColumns] = {QString::number(answer.station),
                                         BlockText(answer.block),
                                         QString::fromStdString(CompactSettingsText(answer.settings)),
                                         QStringLiteral("%1 ms").arg(answer.replyMs),
                                         RegisterText(answer),
                                         readAs};
  for (int c = 0; c < kAnswerColumns; ++c) {
    QTableWidgetItem* item = Cell(texts[c]);
    if (c == kReadAs && !all.isEmpty()) item->setToolTip(all.join('\n'));
    answerTable_->setItem(row, c, item);
  }
  answerTable_->resizeColumnsToContents();
}

void SerialSetupWindow::ShowNoAnswer(int station, Block block, const QString& reason) {
  const int row = answerTable_->rowCount();
  answerTable_->insertRow(row);
  answerOfRow_.push_back(-1);
  answerTable_->setItem(row, kStation, Cell(QString::number(station)));
  answerTable_->setItem(row, kBlock, Cell(BlockText(block)));
  QTableWidgetItem* why = Cell(reason);
  why->setForeground(palette().color(QPalette::Disabled, QPalette::Text));
  answerTable_->setItem(row, kReadAs, why);
}

void SerialSetupWindow::ShowTypesOfSelectedAnswer() {
  type_->clear();
  const int row = answerTable_->currentRow();
  if (row < 0 || row >= static_cast<int>(answerOfRow_.size()) || answerOfRow_[static_cast<std::size_t>(row)] < 0)
    return;
  const ScanAnswer& a = answers_[static_cast<std::size_t>(answerOfRow_[static_cast<std::size_t>(row)])];
  type_->addItem("Typ beibehalten", -1);
  for (const TypeReading& r : a.readings)
    type_->addItem(QString::fromStdString(r.type).trimmed() + ": " + QString::fromStdString(r.text).simplified(),
                   r.typeIndex);
}

void SerialSetupWindow::TakeIntoChannel() {
  const int row = answerTable_->currentRow();
  const int index = row >= 0 && row < static_cast<int>(answerOfRow_.size())
                        ? answerOfRow_[static_cast<std::size_t>(row)]
                        : -1;
  if (index < 0) {
    prompter_.tell(PromptIcon::Information, "Bitte zuerst eine Antwort in der Liste wählen.");
    return;
  }
  const ScanAnswer& a = answers_[static_cast<std::size_t>(index)];
  if (!IsConfigurableStationAddress(std::to_string(a.station))) {
    prompter_.tell(PromptIcon::Warning, QStringLiteral("Ein Kanal liest nur die Stationen %1 bis %2, nicht %3.")
                                            .arg(kFirstStation)
                                            .arg(kLastConfigurableStation)
                                            .arg(a.station)
                                            .toStdString());
    return;
  }
  const int channel = channel_->currentIndex();
  ChannelTable table = station_.channelTable;
  ChannelConfig& c = table[channel];
  c.stationAddress = std::to_string(a.station);
  c.isMaster = a.block == Block::Master;
  c.isExt = !c.isMaster;
  if (const int type = type_->currentData().isValid() ? type_->currentData().toInt() : -1; type >= 0)
    c.typeIndex = static_cast<std::int16_t>(type);
  if (const int other = ChannelSharingStationAndBlock(table); other >= 0 && c.isEnabled()) {
    prompter_.beep();
    prompter_.tell(PromptIcon::Warning,
                   QStringLiteral("Ein anderer eingeschalteter Kanal liest schon Station %1, Block %2. "
                                  "Zwei Kanäle brauchen verschiedene Adressen oder Blöcke; nichts gespeichert.")
                       .arg(a.station)
                       .arg(BlockText(a.block))
                       .toStdString());
    return;
  }
  const ConfigStatus saved = SaveChannelTable(table, station_.folder);
  if (!saved.ok()) {
    prompter_.beep();
    prompter_.tell(PromptIcon::Error, saved.message);
    return;
  }
  station_.channelTable.channels = table.channels;
  BuildChannelCaptions(station_.channelTable);
  QString done = QStringLiteral("Kanal %1 liest jetzt Station %2, Block %3; \"config.txt\" ist gespeichert.")
                     .arg(channel)
                     .arg(a.station)
                     .arg(BlockText(a.block));
  if (!c.isEnabled()) done += QStringLiteral(" Der Kanal ist ausgeschaltet; im Konfigurationsdialog einschalten.");
  prompter_.tell(PromptIcon::Information, done.toStdString());
  emit channelTableSaved();
}

SerialSetupWindow::~SerialSetupWindow() { CancelScan(); }

void SerialSetupWindow::closeEvent(QCloseEvent* event) {
  CancelScan(); // the scan ends and closes the line
  event->accept();
}

} // namespace trelvan
