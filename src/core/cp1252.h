#pragma once
// Windows-1252, the code page of the station's text files, and UTF-8, the
// encoding of text in memory.

#include <optional>
#include <string>
#include <string_view>

namespace trelvan {

// Every Windows-1252 byte maps to one character; the five unassigned bytes
// (81, 8D, 8F, 90, 9D) map to the C1 controls of the same number.
std::string Cp1252ToUtf8(std::string_view bytes);

// Fails (nullopt) when the text holds a character Windows-1252 cannot carry
// or is not valid UTF-8: such text would not read back as written.
std::optional<std::string> Utf8ToCp1252(std::string_view utf8);

// Like Utf8ToCp1252 but replaces what cannot be carried with `replacement`.
std::string Utf8ToCp1252Lossy(std::string_view utf8, char replacement = '_');

} // namespace trelvan
