#pragma once
// German texts for the system errors an operator meets with files and
// devices, so that a message reads "… Datenträger voll" and not "No space left
// on device". Callers keep the system's own text for their debug log.

#include <string>

namespace trelvan {

// The German text of an errno value; a value without its own text reads
// "Systemfehler <n>" followed by the system's text in parentheses.
std::string SystemErrorText(int errorNumber);

} // namespace trelvan
