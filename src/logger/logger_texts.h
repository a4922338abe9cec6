#pragma once
// Every German text the logger layer shows the operator: the captions and
// messages of the logger-file window, the export's question and its
// failures. Paths and file names in them are UTF-8.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "logger/file_io.h"

namespace trelvan::logger_text {

// The window Extraction. The caption of the reset button is the frame's.
inline constexpr std::string_view kWindowCaption = " [Datei Logging]";
inline constexpr std::string_view kFileFrame = "Auswahl der Datei";
inline constexpr std::string_view kExportButton = "&Auslesen";
inline constexpr std::string_view kResetButton = "Auswahl der &Datei";
inline constexpr std::string_view kCloseButton = "&Beenden";
inline constexpr std::string_view kResetButtonTip =
    "Ausgewählte Loggerdatei leeren oder, wenn keine da ist, \"Kestrane.log\" anlegen";

inline constexpr std::string_view kSelectFile = "Datei Auswahlen";
inline constexpr std::string_view kConfirmReset = "Rücksetzung bestätigen";
inline constexpr std::string_view kCreateQuestion = "Datei anlegen ? ";
inline constexpr std::string_view kNoReader = "Leser nicht vorhanden";
inline constexpr std::string_view kNoResetDuringExport =
    "Während des Auslesens kann keine Datei zurückgesetzt werden.";
std::string FolderUnreadable(std::string_view folder);

// The question for an output file that exists with content; Yes replaces it.
std::string ReplaceQuestion(std::string_view fileName);
// "Ende der Ablesung", with a note when a trailing fragment was passed over.
std::string Finished(std::uint64_t trailingBytes);

// Failures. `error` is an errno value, given in German (SystemErrorText).
std::string SeparatorNotInCodePage(std::string_view separator);
std::string LoggerFileUnreadable(const std::filesystem::path& file, int error);
std::string LoggerFileReadFailed(const std::filesystem::path& file, std::uint64_t records, int error);
std::string NotALoggerFile(const std::filesystem::path& file, std::uint64_t size);
std::string OutputFolderUnusable(const std::filesystem::path& folder, int error);
std::string OutputNotAFile(const std::filesystem::path& file, EntryType whatIsThere);
std::string OutputIsLoggerFile(const std::filesystem::path& file);
std::string OutputFolderBusy(const std::filesystem::path& folder);
std::string OutputChanged(const std::filesystem::path& file);
std::string OutputKept(const std::filesystem::path& file);
std::string CannotCreate(const std::filesystem::path& file, int error);
std::string CannotWrite(const std::filesystem::path& file, int error);
std::string CannotRollBack(const std::filesystem::path& file, int error);
inline constexpr std::string_view kInterrupted = "Das Auslesen wurde abgebrochen.";
inline constexpr std::string_view kAlreadyRun = "Das Auslesen ist bereits gelaufen.";
// Appended to a failure of a running export: the files it did not complete,
// which it left as they were before.
std::string NotCompleted(const std::vector<std::filesystem::path>& files);

std::string CannotReset(const std::filesystem::path& file, int error);
std::string ResetNotAFile(const std::filesystem::path& file, EntryType whatIsThere);

} // namespace trelvan::logger_text
