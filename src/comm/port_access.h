#pragma once
// Why a serial device can or cannot be opened, told so that the operator
// knows what to do: a device that is missing, one the user may not open (and
// what gives access: the package's udev rule for USB adapters, or membership
// in the group that owns the device, with the command), one that another
// program holds (and which, where the system tells).
//
// The check never disturbs a line that is open, here or in another program:
// it looks at the device node and at /proc first, and tries an open (no
// setting changed, closed at once) only where no process holds the device.

#include <QString>

namespace trelvan {

struct PortAccess {
  enum class State {
    Free,         // can be opened
    Missing,      // no such device (an adapter that is not plugged in)
    NotADevice,   // the name is a file or folder, not a serial device
    NoPermission, // the user may not open it
    InUse,        // another program holds it
    OpenHere,     // this program holds it already (a measurement runs)
    Unusable,     // anything else: the system's reason is in the text
  };
  State state = State::Free;
  QString device;
  QString holder; // "minicom (PID 1234)", where /proc tells
  QString text;   // German: the reason and what helps; "" when Free
};

PortAccess CheckPortAccess(const QString& device);

} // namespace trelvan
