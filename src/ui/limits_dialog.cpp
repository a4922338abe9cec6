#include "limits_dialog.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>

#include "core/prompter.h"
#include "core/reading_json.h"
#include "live/limit_settings.h"

namespace trelvan {

namespace {

QString Text(const std::optional<double>& value, const std::string& separator) {
  if (!value) return {};
  std::string text = JsonNumber(*value);
  if (const auto point = text.find('.'); point != std::string::npos) text.replace(point, 1, separator);
  return QString::fromStdString(text);
}

// An empty field is no value; `ok` false for a text that is no number.
std::optional<double> Value(const QLineEdit* field, bool* ok) {
  QString text = field->text().trimmed();
  if (text.isEmpty()) return std::nullopt;
  text.replace(',', '.');
  bool parsed = false;
  const double value = text.toDouble(&parsed);
  if (!parsed || !std::isfinite(value)) {
    *ok = false;
    return std::nullopt;
  }
  return value;
}

} // namespace

LimitsDialog::LimitsDialog(std::filesystem::path folder, std::string decimalSeparator, Prompter& prompter,
                           QWidget* parent)
    : QWidget(parent), folder_(std::move(folder)), separator_(std::move(decimalSeparator)), prompter_(prompter) {
  setObjectName("LimitsDialog");
  setWindowTitle("Grenzwerte");
  auto* layout = new QVBoxLayout(this);
  auto* grid = new QGridLayout;
  const char* headers[] = {"", "Unterer Grenzwert", "Oberer Grenzwert", "Hysterese", "Einheit"};
  for (int c = 0; c < 5; ++c) grid->addWidget(new QLabel(headers[c], this), 0, c);
  for (int channel = 0; channel < kLimitChannels; ++channel) {
    Row& row = rows_[static_cast<std::size_t>(channel)];
    auto* label = new QLabel(QStringLiteral("Kanal &%1").arg(channel), this);
    grid->addWidget(label, channel + 1, 0);
    auto field = [&](const char* name, int column) {
      auto* edit = new QLineEdit(this);
      edit->setObjectName(QStringLiteral("%1_%2").arg(name).arg(channel));
      grid->addWidget(edit, channel + 1, column);
      return edit;
    };
    row.lower = field("Lower", 1);
    row.upper = field("Upper", 2);
    row.hysteresis = field("Hysteresis", 3);
    row.unit = field("Unit", 4);
    row.unit->setPlaceholderText("beliebig");
    row.unit->setToolTip("Die Einheit der Grenzwerte (kOhm, µS, m3/h, pH, …). Messwerte in anderer "
                         "Einheit werden nicht geprüft; leer: jede Einheit.");
    label->setBuddy(row.lower);
  }
  layout->addLayout(grid);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  auto* save = new QPushButton("&Speichern", this);
  save->setObjectName("SaveLimits");
  save->setDefault(true);
  auto* cancel = new QPushButton("&Abbrechen", this);
  cancel->setObjectName("CancelLimits");
  buttons->addWidget(save);
  buttons->addWidget(cancel);
  layout->addLayout(buttons);
  connect(save, &QPushButton::clicked, this, &LimitsDialog::Save);
  connect(cancel, &QPushButton::clicked, this, &LimitsDialog::Cancel);
}

void LimitsDialog::Start() {
  const LimitSettings loaded = LoadLimitSettings(folder_);
  limits_ = loaded.limits;
  Fill();
  show();
  raise();
  activateWindow();
  if (!loaded.problems.empty()) {
    std::string text;
    for (const std::string& p : loaded.problems) text += p + "\n";
    prompter_.tell(PromptIcon::Warning, text);
  }
}

void LimitsDialog::Fill() {
  for (int channel = 0; channel < kLimitChannels; ++channel) {
    const ChannelLimits& l = limits_[static_cast<std::size_t>(channel)];
    Row& row = rows_[static_cast<std::size_t>(channel)];
    row.lower->setText(Text(l.lower, separator_));
    row.upper->setText(Text(l.upper, separator_));
    row.hysteresis->setText(l.hysteresis != 0 ? Text(l.hysteresis, separator_) : QString());
    row.unit->setText(QString::fromStdString(l.unit));
  }
}

bool LimitsDialog::Save() {
  LimitTable table;
  for (int channel = 0; channel < kLimitChannels; ++channel) {
    const Row& row = rows_[static_cast<std::size_t>(channel)];
    ChannelLimits& l = table[static_cast<std::size_t>(channel)];
    bool ok = true;
    l.lower = Value(row.lower, &ok);
    l.upper = Value(row.upper, &ok);
    l.hysteresis = Value(row.hysteresis, &ok).value_or(0);
    l.unit = row.unit->text().trimmed().toStdString();
    std::optional<std::string> problem;
    if (!ok) problem = "Grenzwerte müssen Zahlen sein.";
    else problem = LimitsProblem(l);
    if (problem) {
      prompter_.tell(PromptIcon::Error, "Kanal " + std::to_string(channel) + ": " + *problem);
      row.lower->setFocus();
      return false;
    }
  }
  if (const auto problem = SaveLimitSettings(table, folder_)) {
    prompter_.tell(PromptIcon::Error, *problem);
    return false;
  }
  limits_ = table;
  hide();
  emit limitsSaved(limits_);
  return true;
}

void LimitsDialog::Cancel() {
  Fill();
  hide();
}

} // namespace trelvan
