#include "operator_texts.h"

namespace trelvan {

QString PortProblemText(PortProblem problem) {
  switch (problem) {
    case PortProblem::DeviceMissing: return QStringLiteral("Gerät nicht vorhanden");
    case PortProblem::AccessDenied: return QStringLiteral("Zugriff verweigert oder von einem anderen Programm belegt");
    case PortProblem::AlreadyOpen: return QStringLiteral("bereits geöffnet");
    case PortProblem::Unsupported: return QStringLiteral("Einstellung wird vom Gerät nicht unterstützt");
  }
  return {};
}

QString NoPortSelectedText() { return QStringLiteral("Keine Schnittstelle gewählt"); }

QString PortAlreadyOpenText(const QString& device) {
  return QStringLiteral("Die Schnittstelle %1 ist bereits geöffnet").arg(device);
}

QString PortOpenFailedText(const QString& device, const QString& reason) {
  return QStringLiteral("Die Schnittstelle %1 kann nicht geöffnet werden: %2").arg(device, reason);
}

QString SettingNotAppliedText(const LineSettings& settings, const QString& device, const QString& reason) {
  const QString text = QString::fromStdString(CompactSettingsText(settings));
  return QStringLiteral("Die Einstellung \"%1\" lässt sich an %2 nicht setzen: %3").arg(text, device, reason);
}

QString PortSettingsFailedText(int portNumber, const QString& device, const QString& reason) {
  return QStringLiteral("Com%1 (%2): %3").arg(portNumber).arg(device, reason);
}

QString LineLostText(const QString& device, const QString& detail) {
  return QStringLiteral("Verbindung zu %1 verloren: %2")
      .arg(device, detail.isEmpty() ? QStringLiteral("Gegenstelle hat aufgelegt") : detail);
}

std::string SettingsTextProblem(std::string_view text, SettingsPiece piece, std::string_view pieceText) {
  const std::string head = "Schnittstelleneinstellung \"" + std::string(text) + "\"";
  const std::string quoted = "\"" + std::string(pieceText) + "\"";
  switch (piece) {
    case SettingsPiece::Shape: return head + " hat nicht die Form Geschwindigkeit,Parität,Datenbits,Stoppbits";
    case SettingsPiece::Speed: return head + ": unbekannte Geschwindigkeit " + quoted;
    case SettingsPiece::Parity: return head + ": unbekannte Parität " + quoted;
    case SettingsPiece::DataBits: return head + ": unzulässige Datenbits " + quoted;
    case SettingsPiece::StopBits: return head + ": unzulässige Stoppbits " + quoted;
  }
  return head;
}

std::string ReplyMsSettingProblemText(const std::string& value) {
  return "\"trelvan.ini\", [Line] reply_ms=" + value + ": keine Millisekundenzahl von 100 bis 10000; es gilt 2000";
}

std::string ExceptionCodeText(int code) {
  switch (code) {
    case 1: return "unzulässige Funktion";
    case 2: return "unzulässige Datenadresse";
    case 3: return "unzulässiger Datenwert";
    case 4: return "Gerätefehler";
    case 5: return "Anfrage angenommen, Bearbeitung dauert";
    case 6: return "Gerät beschäftigt";
    case 8: return "Speicher-Paritätsfehler";
    case 10: return "Gateway-Pfad nicht verfügbar";
    case 11: return "Gateway-Ziel antwortet nicht";
    default: return "unbekannte Ausnahme";
  }
}

std::string RequestFailureText(FailureKind kind, int station, int exceptionCode) {
  const std::string s = "Station " + std::to_string(station);
  const std::string invalid = "Ungültige Antwort von " + s + ": ";
  switch (kind) {
    case FailureKind::None: return {};
    case FailureKind::TimedOut: return s + " antwortet nicht";
    case FailureKind::HeldBack: return s + " hat eben nicht geantwortet; in diesem Durchlauf nicht erneut gefragt";
    case FailureKind::BadCrc: return invalid + "Prüfsumme falsch";
    case FailureKind::WrongStation: return invalid + "Antwort von einer anderen Station";
    case FailureKind::WrongFunction: return invalid + "falscher Funktionscode";
    case FailureKind::WrongByteCount: return invalid + "falsche Byteanzahl";
    case FailureKind::Exception:
      return s + " lehnt die Anfrage ab: Ausnahme " + std::to_string(exceptionCode) + " (" +
             ExceptionCodeText(exceptionCode) + ")";
    case FailureKind::NotOpen: return "Die Schnittstelle ist nicht geöffnet; an " + s + " nichts gesendet";
    case FailureKind::LineLost: return "Die Verbindung ging während der Anfrage an " + s + " verloren";
    case FailureKind::NotAStation: return "Stationsadresse " + std::to_string(station) + " liegt nicht in 1..247; nichts gesendet";
  }
  return {};
}

std::string LineNeverQuietText(int station) {
  return "Station " + std::to_string(station) +
         " hat zuletzt nicht geantwortet, und die Leitung kommt nicht zur Ruhe; nichts gesendet";
}

std::string NotAStationText(std::string_view addressText) {
  return "Die Adresse \"" + std::string(addressText) + "\" nennt keine Station (1..247); nichts gesendet";
}

std::string NoSuchBlockText(int registerBase, int station) {
  return "Registerblock ab " + std::to_string(registerBase) + " gibt es nicht; an Station " +
         std::to_string(station) + " nichts gesendet";
}

std::string LineLostDuringRequestText(const QString& device, int station) {
  return QStringLiteral("Die Schnittstelle %1 wurde während der Anfrage an Station %2 geschlossen")
      .arg(device)
      .arg(station)
      .toStdString();
}

} // namespace trelvan
