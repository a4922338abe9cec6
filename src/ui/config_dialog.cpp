#include "config_dialog.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFocusEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QVBoxLayout>

#include "core/catalogue.h"
#include "core/prompter.h"
#include "core/station_address.h"
#include "core/version.h"
#include "live/station.h"

namespace trelvan {

namespace {

constexpr const char* kWrongAddress = "Falsche Adresse";
constexpr const char* kAddressesMustDiffer = "Adressen mussen unterschiedlich sein";

template <class W>
W* Named(W* widget, const QString& name) {
  widget->setObjectName(name);
  return widget;
}

} // namespace

ConfigW::ConfigW(Station& station, Prompter& prompter, QWidget* parent)
    : QWidget(parent), station_(station), prompter_(prompter) {
  setObjectName("ConfigW");
  setWindowTitle("Konfigurieren [ Application ]  ");
  BuildControls();
  SetTabOrder();
  new QShortcut(QKeySequence(Qt::Key_Escape), this, [this] { Cancel(); });
}

void ConfigW::BuildControls() {
  QFont base = font();
  base.setPointSizeF(base.pointSizeF() * 1.15);
  setFont(base);
  QWidget* title = BuildTitle();
  QWidget* table = BuildTable();
  for (int i = 0; i < kChannelCount; ++i) ConnectRow(i);

  okButton_ = Named(new QPushButton("OK"), "Commande1");
  cancelButton_ = Named(new QPushButton("ABBRECHEN"), "Commande2");
  for (QPushButton* b : {okButton_, cancelButton_})
    b->setMinimumWidth(b->fontMetrics().horizontalAdvance("ABBRECHEN") + 48);
  connect(okButton_, &QPushButton::clicked, this, &ConfigW::Confirm);
  connect(cancelButton_, &QPushButton::clicked, this, &ConfigW::Cancel);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(okButton_);
  buttons->addSpacing(16);
  buttons->addWidget(cancelButton_);

  // The content keeps its natural size in the middle of the maximised window.
  auto* content = new QVBoxLayout;
  content->addWidget(title);
  content->addSpacing(24);
  content->addWidget(table);
  content->addSpacing(24);
  content->addLayout(buttons);
  auto* across = new QHBoxLayout;
  across->addStretch(1);
  across->addLayout(content);
  across->addStretch(1);
  auto* outer = new QVBoxLayout(this);
  outer->addStretch(1);
  outer->addLayout(across);
  outer->addStretch(2);
}

QWidget* ConfigW::BuildTitle() {
  // Two labels, one over the other, the lower one offset as a shadow.
  auto* cell = new QWidget;
  auto* grid = new QGridLayout(cell);
  grid->setContentsMargins(0, 0, 0, 0);
  QFont titleFont = font();
  titleFont.setPointSizeF(titleFont.pointSizeF() * 1.8);
  titleFont.setBold(true);
  for (int e = 0; e < 2; ++e) {
    auto* title = Named(new QLabel("Kanal parametriesieren"), QString("Etiquette5_%1").arg(e));
    title->setFont(titleFont);
    title->setAlignment(Qt::AlignCenter);
    QPalette p = title->palette();
    p.setColor(QPalette::WindowText, e == 0 ? QColor(160, 160, 160) : QColor(0, 0, 128));
    title->setPalette(p);
    title->setContentsMargins(e == 0 ? QMargins(3, 3, 0, 0) : QMargins(0, 0, 3, 3));
    grid->addWidget(title, 0, 0);
  }
  return cell;
}

QWidget* ConfigW::BuildTable() {
  auto* table = new QWidget;
  auto* grid = new QGridLayout(table);
  grid->setHorizontalSpacing(18);
  grid->setVerticalSpacing(10);
  QFont headingFont = font();
  headingFont.setBold(true);
  auto heading = [&](const char* name, const char* text, int column, int span) {
    auto* label = Named(new QLabel(text), name);
    label->setFont(headingFont);
    grid->addWidget(label, 0, column, 1, span, Qt::AlignLeft | Qt::AlignBottom);
  };
  heading("Etiquette6", "Auswahl", 0, 2);
  heading("Etiquette2", "Messung Typ", 2, 1);
  heading("Etiquette3", "Zuordnung", 3, 1);
  heading("Etiquette4", "Merkzeichen", 4, 1);
  for (int i = 0; i < kChannelCount; ++i) rows_[static_cast<std::size_t>(i)].Build(i, *grid, i + 1, this);
  return table;
}

void ConfigW::ConnectRow(int i) {
  // Every change writes the channel table at once, unless the table is what
  // is being shown.
  const ChannelRow& row = rows_[static_cast<std::size_t>(i)];
  auto edit = [this, i](auto change) {
    if (!showingTable_) change(station_.channelTable[i]);
  };
  connect(row.check, &QCheckBox::clicked, this, [this, i] {
    SetEnabled(i, station_.channelTable[i].enabled == 1 ? 0 : 1);
  });
  connect(row.type, &QComboBox::currentIndexChanged, this, [edit](int index) {
    edit([index](ChannelConfig& c) { c.typeIndex = static_cast<std::int16_t>(index); });
  });
  connect(row.address, &QLineEdit::textChanged, this, [edit](const QString& text) {
    edit([&text](ChannelConfig& c) { c.stationAddress = text.toStdString(); });
  });
  connect(row.marker, &QLineEdit::textChanged, this, [edit](const QString& text) {
    edit([&text](ChannelConfig& c) { c.marker = text.toStdString(); });
  });
  // Choosing one of the pair clears the other flag.
  for (int e = 0; e < 2; ++e) {
    connect(row.option[static_cast<std::size_t>(e)], &QRadioButton::toggled, this, [edit, e](bool on) {
      if (!on) return;
      edit([e](ChannelConfig& c) {
        c.isMaster = e == 0;
        c.isExt = e == 1;
      });
    });
  }
}

void ConfigW::SetTabOrder() {
  QWidget* previous = nullptr;
  auto chain = [&](QWidget* w) {
    if (previous) setTabOrder(previous, w);
    previous = w;
  };
  for (const ChannelRow& row : rows_) {
    chain(row.check);
    chain(row.type);
    chain(row.address);
    chain(row.option[0]);
    chain(row.option[1]);
    chain(row.marker);
  }
  chain(okButton_);
  chain(cancelButton_);
}

void ConfigW::Start(bool show) {
  if (started_) return;
  started_ = true;
  if (show) showMaximized();

  showingTable_ = true;
  for (ChannelRow& row : rows_) {
    row.type->clear();
    for (const MeasurementType& type : MeasurementTypeCatalogue())
      row.type->addItem(QString::fromUtf8(type.listLabel.data(),
                                          static_cast<qsizetype>(type.listLabel.size())));
  }
  showingTable_ = false;

  const ConfigStatus channels = LoadChannelTable(station_.channelTable, station_.folder);
  ShowTable();
  const ConfigStatus serial = LoadSerialSettings(station_.serialSettings, station_.folder);
  station_.AppTitle = std::string("TRELVAN  ") + VersionText;
  // The Master/Ext. choices exist in every version of "config.txt" this
  // program reads.
  for (ChannelRow& row : rows_)
    for (int e = 0; e < 2; ++e) {
      row.option[static_cast<std::size_t>(e)]->show();
      row.optionLabel[static_cast<std::size_t>(e)]->show();
    }

  for (const ConfigStatus* status : {&channels, &serial})
    if (!status->ok()) startupProblems_ << QString::fromStdString(status->message);
  if (!channels.ok()) lastToldProblem_ = channels.message;
  if (!startupProblems_.isEmpty())
    prompter_.tell(PromptIcon::Warning, startupProblems_.join("\n\n").toStdString());
}

void ConfigW::ShowTable() {
  showingTable_ = true;
  for (int i = 0; i < kChannelCount; ++i) {
    ChannelRow& row = rows_[static_cast<std::size_t>(i)];
    const ChannelConfig& c = station_.channelTable[i];
    row.check->setCheckState(c.enabled == 1   ? Qt::Checked
                             : c.enabled == 0 ? Qt::Unchecked
                                              : Qt::PartiallyChecked);
    row.type->setCurrentIndex(c.typeIndex >= 0 && c.typeIndex < row.type->count() ? c.typeIndex : -1);
    row.address->setText(QString::fromStdString(c.stationAddress));
    row.marker->setText(QString::fromStdString(c.marker));
    // Both flags may be clear, which an exclusive group cannot show.
    row.optionGroup->setExclusive(false);
    row.option[0]->setChecked(c.isMaster);
    row.option[1]->setChecked(c.isExt && !c.isMaster);
    row.optionGroup->setExclusive(true);
    if (c.enabled != row.lookEnabled) ShowRowLook(i);
  }
  showingTable_ = false;
}

void ConfigW::ShowRowLook(int channel) {
  rows_[static_cast<std::size_t>(channel)].ShowLook(station_.channelTable[channel].enabled);
}

void ConfigW::SetEnabled(int channel, int enabled) {
  ChannelRow& row = rows_[static_cast<std::size_t>(channel)];
  station_.channelTable[channel].enabled = static_cast<std::int16_t>(enabled);
  showingTable_ = true;
  row.check->setTristate(false);
  row.check->setChecked(enabled == 1);
  showingTable_ = false;
  ShowRowLook(channel);
}

bool ConfigW::eventFilter(QObject* watched, QEvent* event) {
  for (int i = 0; i < kChannelCount; ++i) {
    ChannelRow& row = rows_[static_cast<std::size_t>(i)];
    if (watched == row.name && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
      SetEnabled(i, station_.channelTable[i].enabled == 1 ? 0 : 1);
      return true;
    }
    for (int e = 0; e < 2; ++e) {
      // The text beside a Master/Ext. button chooses it too.
      if (watched == row.optionLabel[static_cast<std::size_t>(e)] &&
          event->type() == QEvent::MouseButtonRelease) {
        row.option[static_cast<std::size_t>(e)]->click();
        return true;
      }
    }
    if (watched == row.address && event->type() == QEvent::FocusOut) {
      // Only moving within the dialog leaves the field; another window or a
      // message box taking over does not.
      const auto reason = static_cast<QFocusEvent*>(event)->reason();
      if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
        // Checked once the focus has settled: a message box in the middle of
        // a mouse press would leave the pressed button hanging.
        QMetaObject::invokeMethod(this, [this, i] { CheckAddressOnLeave(i); }, Qt::QueuedConnection);
      }
    }
  }
  return QWidget::eventFilter(watched, event);
}

void ConfigW::CheckAddressOnLeave(int channel) {
  ChannelRow& row = rows_[static_cast<std::size_t>(channel)];
  if (warning_ || !isVisible() || !row.address->isVisible()) return;
  QWidget* now = QApplication::focusWidget();
  // Back in the field already, or leaving for "ABBRECHEN", which discards
  // the text anyway.
  if (now == row.address || now == cancelButton_) return;
  if (IsConfigurableStationAddress(row.address->text().toStdString())) return;
  WarnWrongAddress(channel);
}

void ConfigW::WarnWrongAddress(int channel) {
  QLineEdit* field = rows_[static_cast<std::size_t>(channel)].address;
  warning_ = true;
  field->setFocus(Qt::OtherFocusReason);
  prompter_.beep();
  prompter_.tell(PromptIcon::Warning, kWrongAddress);
  field->setFocus(Qt::OtherFocusReason);
  warning_ = false;
}

bool ConfigW::RangeCheckEnabledChannels() {
  // An enabled channel with no valid address would be polled at station 0.
  for (int i = 0; i < kChannelCount; ++i) {
    const ChannelConfig& c = station_.channelTable[i];
    if (c.isEnabled() && !IsConfigurableStationAddress(c.stationAddress)) {
      WarnWrongAddress(i);
      return false;
    }
  }
  return true;
}

void ConfigW::Confirm() {
  if (!RangeCheckEnabledChannels()) return;

  const int conflictChannel = ChannelSharingStationAndBlock(station_.channelTable);
  if (conflictChannel >= 0) {
    rows_[static_cast<std::size_t>(conflictChannel)].address->setFocus(Qt::OtherFocusReason);
    prompter_.beep();
    prompter_.tell(PromptIcon::Warning, kAddressesMustDiffer);
    rows_[static_cast<std::size_t>(conflictChannel)].address->setFocus(Qt::OtherFocusReason);
    return;
  }

  const ConfigStatus saved = SaveChannelTable(station_.channelTable, station_.folder);
  if (!saved.ok()) {
    prompter_.beep();
    prompter_.tell(PromptIcon::Error, saved.message);
    return;
  }
  BuildChannelCaptions(station_.channelTable);
  hide();
  emit confirmed();
}

void ConfigW::ReloadTable() {
  const ConfigStatus status = LoadChannelTable(station_.channelTable, station_.folder);
  ShowTable();
  TellLoadProblem(status);
}

void ConfigW::TellLoadProblem(const ConfigStatus& status) {
  if (status.ok()) {
    lastToldProblem_.clear();
    return;
  }
  // The same problem as last time (a file that was missing at start is still
  // missing) is not told again.
  if (status.message == lastToldProblem_) return;
  lastToldProblem_ = status.message;
  prompter_.tell(PromptIcon::Warning, status.message);
}

void ConfigW::Cancel() {
  ReloadTable();
  BuildChannelCaptions(station_.channelTable);
  hide();
  emit cancelled();
}

void ConfigW::closeEvent(QCloseEvent* event) {
  // Closing through the frame discards the unsaved edits, so that the
  // measurement never goes on with a table the operator did not confirm.
  if (started_) {
    ReloadTable();
    BuildChannelCaptions(station_.channelTable);
  }
  event->accept();
  emit closed();
}

} // namespace trelvan
