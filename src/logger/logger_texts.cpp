#include "logger_texts.h"

#include <cerrno>

#include "core/system_error.h"
#include "logger/file_io.h"

namespace trelvan::logger_text {

namespace fs = std::filesystem;

namespace {

std::string Quoted(const fs::path& path) { return "'" + PathText(path) + "'"; }

constexpr std::string_view kNothingWritten = " Es wurde nichts geschrieben.";

std::string WhatIsThere(EntryType type) {
  switch (type) {
  case EntryType::Link: return "eine symbolische Verknüpfung";
  case EntryType::Folder: return "ein Ordner";
  default: return "keine gewöhnliche Datei";
  }
}

} // namespace

std::string FolderUnreadable(std::string_view folder) {
  return "Der Ordner '" + std::string(folder) + "' kann nicht geöffnet werden.";
}

std::string ReplaceQuestion(std::string_view fileName) {
  return "Datei  '" + std::string(fileName) + "'  existiert bereits.\nsoll es ersetzt werden ? ";
}

std::string Finished(std::uint64_t trailingBytes) {
  std::string text = "Ende der Ablesung";
  if (trailingBytes > 0)
    text += "\n\nDie letzten " + std::to_string(trailingBytes) +
            " Byte der Datei ergeben keinen vollständigen Datensatz und wurden übergangen.";
  return text;
}

std::string SeparatorNotInCodePage(std::string_view separator) {
  return "Das Dezimaltrennzeichen \"" + std::string(separator) +
         "\" kann in den Exportdateien (Windows-1252) nicht geschrieben werden.";
}

std::string LoggerFileUnreadable(const fs::path& file, int error) {
  return "Die Loggerdatei " + Quoted(file) + " kann nicht gelesen werden: " +
         SystemErrorText(error) + ".";
}

std::string LoggerFileReadFailed(const fs::path& file, std::uint64_t records, int error) {
  return "Fehler beim Lesen der Loggerdatei " + Quoted(file) + " nach " + std::to_string(records) +
         " Datensätzen: " + SystemErrorText(error) + ".";
}

std::string NotALoggerFile(const fs::path& file, std::uint64_t size) {
  return "Die Datei " + Quoted(file) + " ist keine Loggerdatei: sie ist " + std::to_string(size) +
         " Byte lang, kürzer als der Kopf von 58 Byte." + std::string(kNothingWritten);
}

std::string OutputFolderUnusable(const fs::path& folder, int error) {
  const std::string start = "Der Ausgabeordner " + Quoted(folder);
  if (error == ENOENT) return start + " existiert nicht.";
  if (error == ENOTDIR) return start + " ist kein Ordner.";
  return start + " kann nicht geöffnet werden: " + SystemErrorText(error) + ".";
}

std::string OutputNotAFile(const fs::path& file, EntryType type) {
  return "Die Ausgabedatei " + Quoted(file) + " ist " + WhatIsThere(type) +
         "; das Auslesen schreibt nur in gewöhnliche Dateien im Ausgabeordner." +
         std::string(kNothingWritten);
}

std::string OutputIsLoggerFile(const fs::path& file) {
  return "Die Ausgabedatei " + Quoted(file) + " ist die Loggerdatei selbst." +
         std::string(kNothingWritten);
}

std::string OutputFolderBusy(const fs::path& folder) {
  return "In den Ordner " + Quoted(folder) + " schreibt gerade ein anderes Auslesen.";
}

std::string OutputChanged(const fs::path& file) {
  return "Die Datei " + Quoted(file) + " ist während des Auslesens entstanden oder verändert worden.";
}

std::string OutputKept(const fs::path& file) {
  return "Die Datei " + Quoted(file) + " existiert bereits." + std::string(kNothingWritten);
}

std::string CannotCreate(const fs::path& file, int error) {
  return "Die Datei " + Quoted(file) + " kann nicht angelegt werden: " + SystemErrorText(error) + ".";
}

std::string CannotWrite(const fs::path& file, int error) {
  return "Fehler beim Schreiben der Datei " + Quoted(file) + ": " + SystemErrorText(error) + ".";
}

std::string CannotRollBack(const fs::path& file, int error) {
  return "Die Datei " + Quoted(file) + " konnte nicht in ihren alten Stand zurückversetzt werden: " +
         SystemErrorText(error) + ".";
}

std::string NotCompleted(const std::vector<fs::path>& files) {
  if (files.empty()) return {};
  std::string text = files.size() == 1 ? "Diese Datei wurde nicht geschrieben und ist unverändert: "
                                       : "Diese Dateien wurden nicht geschrieben und sind unverändert: ";
  for (std::size_t i = 0; i < files.size(); ++i) text += (i > 0 ? ", " : "") + Quoted(files[i]);
  return text + ".";
}

std::string CannotReset(const fs::path& file, int error) {
  return "Die Datei " + Quoted(file) + " kann nicht zurückgesetzt werden: " + SystemErrorText(error) + ".";
}

std::string ResetNotAFile(const fs::path& file, EntryType type) {
  return "Die Datei " + Quoted(file) + " ist " + WhatIsThere(type) + " und wird nicht zurückgesetzt.";
}

} // namespace trelvan::logger_text
