#include "mqtt_settings_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "core/prompter.h"
#include "publish/mqtt_settings.h"

namespace trelvan {

namespace {

QString Text(const std::string& s) { return QString::fromStdString(s); }

} // namespace

MqttSettingsDialog::MqttSettingsDialog(std::filesystem::path folder, Prompter& prompter, QWidget* parent)
    : QDialog(parent), folder_(std::move(folder)), prompter_(prompter) {
  setObjectName("MqttSettingsDialog");
  setWindowTitle("MQTT-Veröffentlichung");

  enabled_ = new QCheckBox("Messwerte über MQTT &veröffentlichen");
  enabled_->setObjectName("Aktiv");

  fields_ = new QWidget;
  auto* form = new QFormLayout(fields_);
  form->setContentsMargins(24, 0, 0, 0);
  url_ = new QLineEdit;
  url_->setObjectName("Url");
  url_->setPlaceholderText("mqtt://Rechner:1883 oder mqtts://Rechner:8883");
  url_->setToolTip("mqtt://Rechner:Port (unverschlüsselt, Port 1883) oder mqtts://Rechner:Port (TLS, Port 8883)");
  site_ = new QLineEdit;
  site_->setObjectName("Standort");
  site_->setPlaceholderText("leer: der Rechnername „" + Text(HostSiteName()) + "“");
  site_->setToolTip("Name dieser Messstation in den Themen trelvan/<Standort>/…; leer: der Rechnername");
  keepalive_ = new QSpinBox;
  keepalive_->setObjectName("KeepAlive");
  keepalive_->setRange(kMinKeepaliveS, kMaxKeepaliveS);
  keepalive_->setSuffix(" s");
  keepalive_->setToolTip("So schnell meldet der Broker eine abgerissene Station als „offline“");
  caFile_ = new QLineEdit;
  caFile_->setObjectName("CaDatei");
  caFile_->setPlaceholderText("leer: die Zertifikate des Systems");
  caFile_->setToolTip("CA-Zertifikat(e) im PEM-Format, nur für mqtts://");
  credentialsFile_ = new QLineEdit;
  credentialsFile_->setObjectName("Zugangsdatei");
  credentialsFile_->setPlaceholderText(QString("leer: Umgebungsvariablen %1, %2").arg(kUserVariable, kPasswordVariable));
  credentialsFile_->setToolTip(
      "Textdatei: erste Zeile Benutzername, zweite Zeile Passwort; nur für den Benutzer (und seine Gruppe) lesbar");
  haDiscovery_ = new QCheckBox("Kanäle bei &Home Assistant anmelden");
  haDiscovery_->setObjectName("HaDiscovery");

  const auto withBrowse = [this](QLineEdit* edit, const QString& caption, const QString& name) {
    auto* row = new QHBoxLayout;
    auto* browse = new QPushButton("Durchsuchen…");
    browse->setObjectName(name);
    connect(browse, &QPushButton::clicked, this, [this, edit, caption] { Browse(edit, caption); });
    row->addWidget(edit, 1);
    row->addWidget(browse);
    return row;
  };
  form->addRow("&Broker:", url_);
  form->addRow("&Standort:", site_);
  form->addRow("&Keep-Alive:", keepalive_);
  // A row made of a layout gets no buddy for its label by itself.
  const auto label = [](const QString& text, QWidget* buddy) {
    auto* l = new QLabel(text);
    l->setBuddy(buddy);
    return l;
  };
  form->addRow(label("&CA-Datei:", caFile_), withBrowse(caFile_, "CA-Datei wählen", "CaDurchsuchen"));
  form->addRow(label("&Zugangsdaten:", credentialsFile_),
               withBrowse(credentialsFile_, "Zugangsdaten-Datei wählen", "ZugangDurchsuchen"));
  form->addRow(QString(), haDiscovery_);
  connect(enabled_, &QCheckBox::toggled, fields_, &QWidget::setEnabled);

  auto* buttons = new QDialogButtonBox;
  QPushButton* ok = buttons->addButton("OK", QDialogButtonBox::AcceptRole);
  ok->setObjectName("OK");
  ok->setDefault(true);
  QPushButton* cancel = buttons->addButton("Abbrechen", QDialogButtonBox::RejectRole);
  cancel->setObjectName("Abbrechen");
  connect(ok, &QPushButton::clicked, this, &MqttSettingsDialog::Confirm);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(16, 16, 16, 16);
  outer->setSpacing(12);
  outer->addWidget(enabled_);
  outer->addWidget(fields_);
  outer->addWidget(buttons);
  const int wide = url_->fontMetrics().horizontalAdvance(credentialsFile_->placeholderText()) + 40;
  for (QLineEdit* edit : {url_, site_, caFile_, credentialsFile_}) edit->setMinimumWidth(wide);
  Load();
}

void MqttSettingsDialog::Load() {
  const MqttSettingsResult loaded = LoadMqttSettings(folder_);
  options_ = loaded.options;
  enabled_->setChecked(options_.enabled);
  fields_->setEnabled(options_.enabled);
  url_->setText(Text(options_.url));
  site_->setText(Text(options_.site));
  keepalive_->setValue(options_.keepaliveS);
  caFile_->setText(Text(options_.caFile));
  credentialsFile_->setText(Text(options_.credentialsFile));
  haDiscovery_->setChecked(options_.haDiscovery);
  std::string told;
  for (const std::string& p : loaded.problems) told += (told.empty() ? "" : "\n") + p;
  if (!told.empty()) prompter_.tell(PromptIcon::Warning, told);
}

MqttOptions MqttSettingsDialog::FromControls() const {
  MqttOptions o;
  o.enabled = enabled_->isChecked();
  o.url = url_->text().trimmed().toStdString();
  o.site = site_->text().toStdString();
  o.keepaliveS = keepalive_->value();
  o.caFile = caFile_->text().trimmed().toStdString();
  o.credentialsFile = credentialsFile_->text().trimmed().toStdString();
  o.haDiscovery = haDiscovery_->isChecked();
  return o;
}

bool MqttSettingsDialog::Confirm() {
  const MqttOptions chosen = FromControls();
  // Switched off, the values are kept as they are for the next time.
  if (chosen.enabled) {
    const MqttConfigResult checked = ResolveMqttConfig(chosen);
    if (!checked.config) {
      std::string text = "Die MQTT-Einstellungen sind so nicht verwendbar:";
      for (const std::string& p : checked.problems) text += "\n• " + p;
      prompter_.beep();
      prompter_.tell(PromptIcon::Warning, text);
      return false;
    }
  }
  if (const std::optional<std::string> error = SaveMqttSettings(folder_, chosen)) {
    prompter_.beep();
    prompter_.tell(PromptIcon::Error, *error);
    return false;
  }
  options_ = chosen;
  emit saved();
  accept();
  return true;
}

void MqttSettingsDialog::Browse(QLineEdit* into, const QString& caption) {
  const QString chosen = QFileDialog::getOpenFileName(this, caption, into->text());
  if (!chosen.isEmpty()) into->setText(chosen);
}

} // namespace trelvan
