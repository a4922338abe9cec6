#include "texts.h"

#include "cp1252.h"

namespace trelvan::core_texts {

namespace {
std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }
} // namespace

std::string TooLarge(std::size_t limit) {
  return "ist größer als " + std::to_string(limit / 1024) + " KiB";
}

std::string FileMissing(std::string_view fileName, std::string_view defaults) {
  return "Die Datei " + Quoted(fileName) + " fehlt. " + std::string(defaults) +
         "; die Datei wird beim nächsten Speichern angelegt.";
}

std::string FileUnreadable(std::string_view fileName, std::string_view reason,
                           std::string_view defaults) {
  return "Die Datei " + Quoted(fileName) + " kann nicht gelesen werden: " + std::string(reason) +
         ". " + std::string(defaults) + ".";
}

std::string FileFaulty(std::string_view fileName, std::string_view problems) {
  return "Die Datei " + Quoted(fileName) + " ist fehlerhaft: " + std::string(problems);
}

std::string FieldProblem(int line, std::string_view field, std::string_view what) {
  return "Zeile " + std::to_string(line) + ", " + std::string(field) + ": " + std::string(what) + ".";
}

std::string FieldOfChannel(std::string_view field, int channel) {
  return std::string(field) + " von Kanal " + std::to_string(channel);
}

std::string FoundInsteadOf(std::string_view cp1252Field, bool quoted, std::string_view expected) {
  const std::string shown = quoted ? Quoted(Excerpt(cp1252Field))
                            : cp1252Field.empty() ? std::string("nichts")
                                                  : Excerpt(cp1252Field);
  return "dort steht " + shown + " statt " + std::string(expected);
}

std::string OutOfRange(long long value, long long lo, long long hi) {
  return std::to_string(value) + " liegt nicht zwischen " + std::to_string(lo) + " und " +
         std::to_string(hi);
}

std::string ChannelsSwitchedOff(int first, int last) {
  if (first == last)
    return "Kanal " + std::to_string(first) + " kann nicht gelesen werden und ist ausgeschaltet.";
  return "Kanal " + std::to_string(first) + " bis " + std::to_string(last) +
         " können nicht gelesen werden und sind ausgeschaltet.";
}

std::string NotSaved(std::string_view fileName, std::string_view field, std::string_view problem) {
  return Quoted(fileName) + " wurde nicht gespeichert: " + std::string(field) + " " +
         std::string(problem) + ".";
}

std::string CannotSave(std::string_view fileName, std::string_view reason) {
  return Quoted(fileName) + " kann nicht gespeichert werden: " + std::string(reason) + ".";
}

std::string SaveAbandoned(std::string_view fileName) {
  return Quoted(fileName) + ": Speichern abgebrochen.";
}

std::string Excerpt(std::string_view cp1252, std::size_t maxCharacters) {
  // One byte is one character in Windows-1252.
  if (cp1252.size() <= maxCharacters) return Cp1252ToUtf8(cp1252);
  return Cp1252ToUtf8(cp1252.substr(0, maxCharacters)) + "…";
}

} // namespace trelvan::core_texts
