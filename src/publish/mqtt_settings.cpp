#include "mqtt_settings.h"

#include <QSettings>

namespace trelvan {

namespace {

QString IniPath(const std::filesystem::path& folder) {
  return QString::fromStdString((folder / kSettingsFileName).string());
}

QString StatusText(QSettings::Status status) {
  return status == QSettings::FormatError ? QStringLiteral("Format der Datei fehlerhaft")
                                          : QStringLiteral("nicht beschreibbar");
}

} // namespace

MqttSettingsResult LoadMqttSettings(const std::filesystem::path& folder) {
  MqttSettingsResult result;
  QSettings ini(IniPath(folder), QSettings::IniFormat);
  ini.beginGroup("MQTT");
  MqttOptions& o = result.options;
  const auto flag = [&](const char* key, bool& into) {
    if (!ini.contains(key)) return;
    const QString text = ini.value(key).toString().trimmed().toLower();
    if (text == "true" || text == "1")
      into = true;
    else if (text == "false" || text == "0")
      into = false;
    else
      result.problems.push_back(QString("In \"%1\" ist [MQTT] %2=%3 weder true noch false; es gilt %4.")
                                    .arg(kSettingsFileName, key, text, into ? "true" : "false")
                                    .toStdString());
  };
  flag("Enabled", o.enabled);
  flag("HaDiscovery", o.haDiscovery);
  o.url = ini.value("Url").toString().toStdString();
  o.site = ini.value("Site").toString().toStdString();
  o.caFile = ini.value("CaFile").toString().toStdString();
  o.credentialsFile = ini.value("CredentialsFile").toString().toStdString();
  if (ini.contains("Keepalive")) {
    bool ok = false;
    const int seconds = ini.value("Keepalive").toString().trimmed().toInt(&ok);
    if (ok)
      o.keepaliveS = seconds;
    else
      result.problems.push_back(QString("In \"%1\" ist [MQTT] Keepalive=%2 keine Zahl; es gilt %3.")
                                    .arg(kSettingsFileName, ini.value("Keepalive").toString())
                                    .arg(o.keepaliveS)
                                    .toStdString());
  }
  ini.endGroup();
  if (ini.status() != QSettings::NoError)
    result.problems.push_back(
        QString("\"%1\" lässt sich nicht lesen: %2.").arg(kSettingsFileName, StatusText(ini.status())).toStdString());
  return result;
}

std::optional<std::string> SaveMqttSettings(const std::filesystem::path& folder, const MqttOptions& o) {
  QSettings ini(IniPath(folder), QSettings::IniFormat);
  ini.beginGroup("MQTT");
  ini.setValue("Enabled", o.enabled);
  ini.setValue("Url", QString::fromStdString(o.url));
  ini.setValue("Site", QString::fromStdString(o.site));
  ini.setValue("Keepalive", o.keepaliveS);
  ini.setValue("HaDiscovery", o.haDiscovery);
  ini.setValue("CaFile", QString::fromStdString(o.caFile));
  ini.setValue("CredentialsFile", QString::fromStdString(o.credentialsFile));
  ini.endGroup();
  ini.sync();
  if (ini.status() != QSettings::NoError)
    return QString("Die MQTT-Einstellungen lassen sich nicht in \"%1\" speichern: %2.")
        .arg(kSettingsFileName, StatusText(ini.status()))
        .toStdString();
  return std::nullopt;
}

bool TakeMqttOption(const QStringList& args, int& i, MqttOptions& options, QString& problem) {
  const QString& a = args[i];
  const auto value = [&]() -> std::optional<QString> {
    if (i + 1 >= args.size()) {
      problem = a + " braucht einen Wert";
      return std::nullopt;
    }
    return args[++i];
  };
  const auto text = [&](std::string& into) {
    if (const auto v = value()) into = v->toStdString();
  };
  if (a == "--mqtt") {
    options.enabled = true;
    text(options.url);
  } else if (a == "--site") {
    text(options.site);
  } else if (a == "--keepalive") {
    if (const auto v = value()) {
      bool ok = false;
      options.keepaliveS = v->toInt(&ok);
      if (!ok) problem = "--keepalive erwartet Sekunden (" + QString::number(kMinKeepaliveS) + " bis " +
                         QString::number(kMaxKeepaliveS) + ")";
    }
  } else if (a == "--ha-discovery") {
    options.haDiscovery = true;
  } else if (a == "--mqtt-ca") {
    text(options.caFile);
  } else if (a == "--mqtt-credentials") {
    text(options.credentialsFile);
  } else {
    return false;
  }
  return true;
}

QList<MqttCommandOption> MqttCommandOptions() {
  return {
      {"mqtt", "URL",
       "Jede Ablesung an einen MQTT-Broker veröffentlichen: mqtt://rechner[:1883]\n"
       "oder mqtts://rechner[:8883] (TLS)."},
      {"site", "NAME", "Standortname in den Themen trelvan/NAME/... (Vorgabe: der Rechnername)."},
      {"keepalive", "S",
       QString("Keep-Alive in Sekunden, %1 bis %2 (Vorgabe %3); so schnell meldet der\n"
               "Broker einen abgerissenen Standort als \"offline\".")
           .arg(kMinKeepaliveS)
           .arg(kMaxKeepaliveS)
           .arg(kDefaultKeepaliveS)},
      {"ha-discovery", "", "Jeden Kanal bei Home Assistant als Sensor anmelden."},
      {"mqtt-ca", "FILE", "CA-Zertifikat(e) für mqtts:// in PEM (Vorgabe: die des Systems)."},
      {"mqtt-credentials", "FILE",
       QString("Zeile 1 Benutzername, Zeile 2 Passwort (nur für Eigentümer und Gruppe\n"
               "lesbar); ohne Datei gelten %1 und %2.")
           .arg(kUserVariable, kPasswordVariable)},
  };
}

} // namespace trelvan
