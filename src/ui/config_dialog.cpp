#include "config_dialog.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QValidator>
#include <QVBoxLayout>

#include "core/catalogue.h"
#include "core/prompter.h"
#include "core/version.h"
#include "live/station.h"

namespace trelvan {

namespace {

constexpr const char* kWrongAddress = "Falsche Adresse";
constexpr const char* kAddressesMustDiffer = "Adressen mussen unterschiedlich sein";

// Refuses what "config.txt" cannot carry in a quoted field: a double quote, a
// line break, a character outside Windows-1252. Refusing it while typing is
// kinder than refusing the save.
class QuotedFieldValidator : public QValidator {
 public:
  using QValidator::QValidator;
  State validate(QString& input, int& /*pos*/) const override {
    return QuotedFieldProblem(input.toStdString()).empty() ? Acceptable : Invalid;
  }
};

QString ObjectName(const char* base, int element) {
  return QString("%1_%2").arg(QLatin1String(base)).arg(element);
}

template <class W>
W* Named(W* widget, const QString& name) {
  widget->setObjectName(name);
  return widget;
}

// Keeps a column's width when the rows of a disabled channel hide their
// controls, so the table does not jump about as channels are switched.
void KeepPlaceWhenHidden(QWidget* w) {
  QSizePolicy p = w->sizePolicy();
  p.setRetainSizeWhenHidden(true);
  w->setSizePolicy(p);
}

const QColor kCheckOn(0, 255, 0);
const QColor kCheckOff(255, 255, 255);
const QColor kNameOn(0, 0, 255);
const QColor kNameOff(128, 128, 128);

QString CheckStyle(const QColor& background) {
  return QString("QCheckBox { background-color: %1; padding: 4px; border: 1px solid #808080; }")
      .arg(background.name());
}

} // namespace

bool IsValidStationAddress(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return false;
  text = text.substr(first, text.find_last_not_of(" \t") - first + 1);
  // Digits, optionally a point and more digits: the poll cycle reads the same
  // characters, so what passes here is the station it will address.
  long whole = 0;
  std::size_t i = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    whole = whole * 10 + (text[i] - '0');
    if (whole > 1000) return false;
  }
  if (i == 0) return false;
  if (i < text.size() && text[i] == '.') {
    // "3.0" is station 3; "3.5" is no station at all.
    for (++i; i < text.size(); ++i)
      if (text[i] != '0') return false;
  }
  if (i != text.size()) return false;
  return whole >= 1 && whole <= 14;
}

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

  // The title is two labels, one over the other, the lower one offset as a
  // shadow.
  auto* titleCell = new QWidget;
  auto* titleGrid = new QGridLayout(titleCell);
  titleGrid->setContentsMargins(0, 0, 0, 0);
  QFont titleFont = base;
  titleFont.setPointSizeF(base.pointSizeF() * 1.8);
  titleFont.setBold(true);
  for (int e = 0; e < 2; ++e) {
    auto* title = Named(new QLabel("Kanal parametriesieren"), ObjectName("Etiquette5", e));
    title->setFont(titleFont);
    title->setAlignment(Qt::AlignCenter);
    QPalette p = title->palette();
    p.setColor(QPalette::WindowText, e == 0 ? QColor(160, 160, 160) : QColor(0, 0, 128));
    title->setPalette(p);
    if (e == 0)
      title->setContentsMargins(3, 3, 0, 0);
    else
      title->setContentsMargins(0, 0, 3, 3);
    titleGrid->addWidget(title, 0, 0);
  }

  auto* table = new QWidget;
  auto* grid = new QGridLayout(table);
  grid->setHorizontalSpacing(18);
  grid->setVerticalSpacing(10);
  QFont headingFont = base;
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

  for (int i = 0; i < kChannelCount; ++i) {
    Row& row = rows_[static_cast<std::size_t>(i)];
    const int gridRow = i + 1;

    row.check = Named(new QCheckBox, ObjectName("Coche1", i));
    row.check->setStyleSheet(CheckStyle(kCheckOff));
    row.check->setToolTip(QString("Kanal %1 messen").arg(i));
    grid->addWidget(row.check, gridRow, 0, Qt::AlignVCenter);

    row.name = Named(new QLabel(QString("Kanal %1").arg(i)), ObjectName("Etiquette1", i));
    row.name->setCursor(Qt::PointingHandCursor);
    row.name->installEventFilter(this);
    QPalette namePalette = row.name->palette();
    namePalette.setColor(QPalette::WindowText, kNameOff);
    row.name->setPalette(namePalette);
    grid->addWidget(row.name, gridRow, 1);

    row.type = Named(new QComboBox, ObjectName("ListeTypeMesure", i));
    row.type->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    row.type->setMinimumContentsLength(18);
    grid->addWidget(row.type, gridRow, 2);

    row.frame = Named(new QGroupBox, ObjectName("Frame1", i));
    auto* frameLayout = new QHBoxLayout(row.frame);
    frameLayout->setContentsMargins(8, 4, 8, 4);
    row.address = Named(new QLineEdit, ObjectName("AdresseStation", i));
    row.address->setValidator(new QuotedFieldValidator(row.address));
    row.address->setFixedWidth(row.address->fontMetrics().horizontalAdvance("0000000"));
    row.address->setToolTip("Stationsadresse 1 bis 14");
    row.address->installEventFilter(this);
    frameLayout->addWidget(row.address);
    frameLayout->addSpacing(12);
    row.optionGroup = new QButtonGroup(this);
    for (int e = 0; e < 2; ++e) {
      auto& option = row.option[static_cast<std::size_t>(e)];
      auto& label = row.optionLabel[static_cast<std::size_t>(e)];
      option = Named(new QRadioButton, ObjectName(qPrintable(QString("Option%1").arg(i + 1)), e));
      label = Named(new QLabel(e == 0 ? "Master" : "Ext."),
                    ObjectName(qPrintable(QString("Label%1").arg(i + 1)), e));
      label->installEventFilter(this);
      option->hide();
      label->hide();
      row.optionGroup->addButton(option, e);
      frameLayout->addWidget(option);
      frameLayout->addWidget(label);
      frameLayout->addSpacing(8);
    }
    frameLayout->addStretch(1);
    grid->addWidget(row.frame, gridRow, 3);

    row.marker = Named(new QLineEdit, ObjectName("Texte2", i));
    row.marker->setValidator(new QuotedFieldValidator(row.marker));
    row.marker->setMinimumWidth(row.marker->fontMetrics().horizontalAdvance("M") * 16);
    grid->addWidget(row.marker, gridRow, 4);

    for (QWidget* w : {static_cast<QWidget*>(row.type), static_cast<QWidget*>(row.frame),
                       static_cast<QWidget*>(row.address), static_cast<QWidget*>(row.marker)})
      KeepPlaceWhenHidden(w);

    connect(row.check, &QCheckBox::clicked, this, [this, i] {
      SetEnabled(i, station_.channelTable[i].enabled == 1 ? 0 : 1);
    });
    connect(row.type, &QComboBox::currentIndexChanged, this, [this, i](int index) {
      if (!showingTable_) station_.channelTable[i].typeIndex = static_cast<std::int16_t>(index);
    });
    connect(row.address, &QLineEdit::textChanged, this, [this, i](const QString& text) {
      if (!showingTable_) station_.channelTable[i].stationAddress = text.toStdString();
    });
    connect(row.marker, &QLineEdit::textChanged, this, [this, i](const QString& text) {
      if (!showingTable_) station_.channelTable[i].marker = text.toStdString();
    });
    // Choosing one of the pair clears the other flag.
    connect(row.option[0], &QRadioButton::toggled, this, [this, i](bool on) {
      if (showingTable_ || !on) return;
      station_.channelTable[i].isMaster = true;
      station_.channelTable[i].isExt = false;
    });
    connect(row.option[1], &QRadioButton::toggled, this, [this, i](bool on) {
      if (showingTable_ || !on) return;
      station_.channelTable[i].isExt = true;
      station_.channelTable[i].isMaster = false;
    });
  }

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
  content->addWidget(titleCell);
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

void ConfigW::SetTabOrder() {
  QWidget* previous = nullptr;
  auto chain = [&](QWidget* w) {
    if (previous) setTabOrder(previous, w);
    previous = w;
  };
  for (const Row& row : rows_) {
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
  for (Row& row : rows_) {
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
  for (Row& row : rows_)
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
    Row& row = rows_[static_cast<std::size_t>(i)];
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
  Row& row = rows_[static_cast<std::size_t>(channel)];
  const int enabled = station_.channelTable[channel].enabled;
  const bool on = enabled == 1;
  row.check->setStyleSheet(CheckStyle(on ? kCheckOn : kCheckOff));
  QPalette p = row.name->palette();
  p.setColor(QPalette::WindowText, on ? kNameOn : kNameOff);
  row.name->setPalette(p);
  row.type->setVisible(on);
  row.frame->setVisible(on);
  row.address->setVisible(on);
  row.marker->setVisible(on);
  row.lookEnabled = enabled;
}

void ConfigW::SetEnabled(int channel, int enabled) {
  Row& row = rows_[static_cast<std::size_t>(channel)];
  station_.channelTable[channel].enabled = static_cast<std::int16_t>(enabled);
  showingTable_ = true;
  row.check->setTristate(false);
  row.check->setChecked(enabled == 1);
  showingTable_ = false;
  ShowRowLook(channel);
}

bool ConfigW::eventFilter(QObject* watched, QEvent* event) {
  for (int i = 0; i < kChannelCount; ++i) {
    Row& row = rows_[static_cast<std::size_t>(i)];
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
  Row& row = rows_[static_cast<std::size_t>(channel)];
  if (warning_ || !isVisible() || !row.address->isVisible()) return;
  QWidget* now = QApplication::focusWidget();
  // Back in the field already, or leaving for "ABBRECHEN", which discards
  // the text anyway.
  if (now == row.address || now == cancelButton_) return;
  if (IsValidStationAddress(row.address->text().toStdString())) return;
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
    if (c.isEnabled() && !IsValidStationAddress(c.stationAddress)) {
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
