#pragma once
// The values the measurement requests decode from an instrument's reply. One
// value is shared by all channels: each successful request overwrites the fields
// it writes and the poll cycle reads them right after the call. A failed request
// leaves every field as it was.

#include <string>

namespace trelvan {

// An 8-digit BCD volume counter as two registers deliver it. A counter with a
// nibble above 9 is not a number: it keeps its digits (uppercase hexadecimal)
// and is shown as such, never as a made-up value.
struct BcdCounter {
  double value = 0;      // 0..99 999 999 when valid
  std::string digits;    // the eight hexadecimal digits as read, "" before the first read
  bool valid = true;
  bool operator==(const BcdCounter&) const = default;
};

struct SharedResults {
  double Temperature = 0;      // degrees Celsius
  double ChlorineValue = 0;    // mg/l
  int ConductivityRange = 0;   // low byte of register 0
  int ConductivityRaw = 0;
  int FlowRange = 0;
  int FlowRate = 0;            // register 3 unsigned, 0..65535
  BcdCounter FlowVolume1;      // registers 7 (upper digits) and 6
  BcdCounter FlowVolume2;      // registers 2 (upper digits) and 1
  int OxygenUnit = 0;
  int OxygenRaw = 0;           // 0..32767; negative readings are stored as 0
  double PhValue = 0;
  int ResistivityRange = 0;
  int ResistivityRaw = 0;
  int SecondResistivityRaw = 0;
  int RedoxValue = 0;          // mV
  int TurbidityPointCode = 0;
  std::string TurbidityUnit;
  int TurbidityRaw = 0;
  int MultiUnitPointCode = 0;
  std::string MultiUnitUnit;
  int MultiUnitRaw = 0;
  int OxidantPointCode = 0;
  std::string OxidantUnit;
  int OxidantRaw = 0;

  bool operator==(const SharedResults&) const = default;
};

} // namespace trelvan
