#include "limit_settings.h"

#include <QLocale>
#include <QSettings>
#include <QString>

namespace trelvan {

namespace {

QString Key(int channel, const char* name) { return QStringLiteral("Kanal%1_%2").arg(channel).arg(name); }

QString SettingsPath(const std::filesystem::path& folder) {
  return QString::fromStdString((folder / kSettingsFileName).string());
}

// A number written with "." or ","; nothing for an absent key, and `bad` set
// for a text that is no number.
std::optional<double> Number(const QSettings& s, const QString& key, bool* bad) {
  if (!s.contains(key)) return std::nullopt;
  // An INI value with a comma reads as a list: "7,5" is ("7", "5").
  const QVariant raw = s.value(key);
  QString text = raw.typeId() == QMetaType::QStringList ? raw.toStringList().join(',') : raw.toString();
  text = text.trimmed();
  text.replace(',', '.');
  bool ok = false;
  const double value = text.toDouble(&ok);
  if (!ok) {
    *bad = true;
    return std::nullopt;
  }
  return value;
}

} // namespace

LimitSettings LoadLimitSettings(const std::filesystem::path& folder) {
  LimitSettings result;
  QSettings s(SettingsPath(folder), QSettings::IniFormat);
  s.beginGroup("Limits");
  for (int channel = 0; channel < kLimitChannels; ++channel) {
    bool bad = false;
    ChannelLimits l;
    l.lower = Number(s, Key(channel, "unten"), &bad);
    l.upper = Number(s, Key(channel, "oben"), &bad);
    l.hysteresis = Number(s, Key(channel, "Hysterese"), &bad).value_or(0);
    l.unit = s.value(Key(channel, "Einheit")).toString().trimmed().toStdString();
    std::optional<std::string> problem;
    if (bad) problem = "Grenzwerte müssen Zahlen sein.";
    else problem = LimitsProblem(l);
    if (problem) {
      result.problems.push_back("\"" + std::string(kSettingsFileName) + "\", Kanal " + std::to_string(channel) +
                                ": " + *problem + " Der Kanal wird ohne Grenzwerte überwacht.");
      continue;
    }
    result.limits[static_cast<std::size_t>(channel)] = l;
  }
  return result;
}

std::optional<std::string> SaveLimitSettings(const LimitTable& limits, const std::filesystem::path& folder) {
  QSettings s(SettingsPath(folder), QSettings::IniFormat);
  s.beginGroup("Limits");
  auto put = [&](const QString& key, const std::optional<double>& value) {
    if (value) s.setValue(key, QString::number(*value, 'g', QLocale::FloatingPointShortest));
    else s.remove(key);
  };
  for (int channel = 0; channel < kLimitChannels; ++channel) {
    const ChannelLimits& l = limits[static_cast<std::size_t>(channel)];
    put(Key(channel, "unten"), l.lower);
    put(Key(channel, "oben"), l.upper);
    put(Key(channel, "Hysterese"), l.hysteresis != 0 ? std::optional<double>(l.hysteresis) : std::nullopt);
    if (l.unit.empty()) s.remove(Key(channel, "Einheit"));
    else s.setValue(Key(channel, "Einheit"), QString::fromStdString(l.unit));
  }
  s.endGroup();
  s.sync();
  if (s.status() != QSettings::NoError)
    return "\"" + std::string(kSettingsFileName) + "\" kann nicht gespeichert werden.";
  return std::nullopt;
}

} // namespace trelvan
