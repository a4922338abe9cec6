#pragma once
// The German texts the instrument communication gives the operator, in one
// place: why a port does not open, why a settings text is refused, why a
// request gave no reading. The frame codec and the line itself carry no text.

#include <QString>

#include <string>
#include <string_view>

#include "comm/settings_text.h"
#include "core/reading.h"

namespace trelvan {

// --- The port ---------------------------------------------------------------

enum class PortProblem {
  DeviceMissing, // no such device
  AccessDenied,  // no permission, or another program holds it
  AlreadyOpen,
  Unsupported,   // the device refuses a setting
};
QString PortProblemText(PortProblem problem);

QString NoPortSelectedText();
QString PortAlreadyOpenText(const QString& device);
QString PortOpenFailedText(const QString& device, const QString& reason);
QString SettingNotAppliedText(const LineSettings& settings, const QString& device, const QString& reason);
// A refused settings text of "Com k" (`device` is what Com k maps to).
QString PortSettingsFailedText(int portNumber, const QString& device, const QString& reason);
// The device went away; `detail` says how, or is empty for a line that hung up.
QString LineLostText(const QString& device, const QString& detail);

// --- The settings text "9600,n,8, 1" ------------------------------------------

enum class SettingsPiece { Shape, Speed, Parity, DataBits, StopBits };
// Why `text` is refused: its shape, or the piece that cannot be read.
std::string SettingsTextProblem(std::string_view text, SettingsPiece piece, std::string_view pieceText = {});

// --- A measurement request ----------------------------------------------------

// German name of a Modbus exception code ("unzulässige Datenadresse", ...).
std::string ExceptionCodeText(int code);

// Why the request of a channel at `station` gave no reading, one text per
// kind: the station is named, and for an exception its code and name.
std::string RequestFailureText(FailureKind kind, int station, int exceptionCode = 0);
// The same for a request that was never sent because the station's reply
// held back after a time-out did not let the line go quiet.
std::string LineNeverQuietText(int station);
// An address text that names no station; nothing was sent.
std::string NotAStationText(std::string_view addressText);
// A register block that does not exist; nothing was sent.
std::string NoSuchBlockText(int registerBase, int station);
// The line went away during the request.
std::string LineLostDuringRequestText(const QString& device, int station);

} // namespace trelvan
