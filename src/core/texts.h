#pragma once
// The operator texts of the core, in one place: what the messages about
// "config.txt" and "PortCom.dat" say, how they name the fields of the files,
// the caption lines of a flow gauge and the failure text of a value label.
// German (one English label text, as the station has it), UTF-8.

#include <cstddef>
#include <string>
#include <string_view>

namespace trelvan::core_texts {

// Fields of "config.txt" as the messages name them ("Adresse von Kanal 0").
inline constexpr std::string_view kCheckState = "Auswahl";
inline constexpr std::string_view kTypeIndex = "Messung Typ";
inline constexpr std::string_view kAddress = "Adresse";
inline constexpr std::string_view kMarker = "Merkzeichen";
inline constexpr std::string_view kMasterFlag = "Master";
inline constexpr std::string_view kExtFlag = "Ext.";
// Fields of "PortCom.dat".
inline constexpr std::string_view kPort = "Port";
inline constexpr std::string_view kSpeed = "Geschwindigkeit";
inline constexpr std::string_view kParity = "Parität";
inline constexpr std::string_view kStopBits = "Stop";

// The lines a flow gauge's caption adds below the marker.
inline constexpr std::string_view kDailyVolume = "Tages Volumen";
inline constexpr std::string_view kTotalVolume = "Gesamtvolumen";

// The value label of a channel whose instrument did not answer; the redox
// instrument's label says it in English.
inline constexpr std::string_view kOutOfOrder = "Außer Betrieb";
inline constexpr std::string_view kOutOfOrderRedox = "Out of order";

// What is in use when a configuration file cannot be read.
inline constexpr std::string_view kChannelDefaults = "Alle Kanäle sind ausgeschaltet";
inline constexpr std::string_view kSerialDefaults =
    "Es gilt Com1, 9600 Baud, ohne Parität, 8 Datenbits, 1 Stoppbit";

// Why a file cannot be read (besides the system's own reasons).
inline constexpr std::string_view kNotARegularFile = "ist keine gewöhnliche Datei";
std::string TooLarge(std::size_t limit);

// "Die Datei "config.txt" fehlt. <defaults>; die Datei wird beim nächsten
// Speichern angelegt."
std::string FileMissing(std::string_view fileName, std::string_view defaults);
// "Die Datei "config.txt" kann nicht gelesen werden: <reason>. <defaults>."
std::string FileUnreadable(std::string_view fileName, std::string_view reason,
                           std::string_view defaults);

// "Die Datei "config.txt" ist fehlerhaft: <problems>"; each problem is one
// FieldProblem sentence.
std::string FileFaulty(std::string_view fileName, std::string_view problems);
// "Zeile 3, <field>: <what>."
std::string FieldProblem(int line, std::string_view field, std::string_view what);
// "Adresse von Kanal 0"
std::string FieldOfChannel(std::string_view field, int channel);

inline constexpr std::string_view kFileEndsEarly = "Datei endet zu früh";
inline constexpr std::string_view kQuoteNotClosed = "schließendes Anführungszeichen fehlt";
inline constexpr std::string_view kANumber = "einer Zahl";
inline constexpr std::string_view kAQuotedText = "eines Textes in Anführungszeichen";
inline constexpr std::string_view kAFlag = "#TRUE# oder #FALSE#";
// "dort steht <field> statt <expected>"; the field as it stands in the file
// (Windows-1252 bytes, quotes included when it was quoted), cut short.
std::string FoundInsteadOf(std::string_view cp1252Field, bool quoted, std::string_view expected);
// "70000 liegt nicht zwischen 0 und 2"
std::string OutOfRange(long long value, long long lo, long long hi);
// The channels from `first` to the last take their defaults.
std::string ChannelsSwitchedOff(int first, int last);

// Why a text cannot stand in a quoted field of "config.txt".
inline constexpr std::string_view kHoldsQuote = "enthält ein Anführungszeichen";
inline constexpr std::string_view kHoldsLineBreak = "enthält einen Zeilenumbruch";
inline constexpr std::string_view kHoldsUnstorable =
    "enthält ein Zeichen, das die Datei nicht speichern kann";

// ""config.txt" wurde nicht gespeichert: <field> <problem>."
std::string NotSaved(std::string_view fileName, std::string_view field, std::string_view problem);
// ""config.txt" kann nicht gespeichert werden: <reason>."
std::string CannotSave(std::string_view fileName, std::string_view reason);
std::string SaveAbandoned(std::string_view fileName);

// At most `maxCharacters` characters of a Windows-1252 text as UTF-8, with
// "…" where it was cut: a message never carries a whole field of any size.
std::string Excerpt(std::string_view cp1252, std::size_t maxCharacters = 24);

} // namespace trelvan::core_texts
