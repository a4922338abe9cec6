#pragma once
// Station addresses as the operator types them into the channel table. The
// table keeps the text as typed; the poll cycle asks the station its leading
// number gives, and the configuration dialog accepts only the stations the
// installation has.

#include <optional>
#include <string_view>

namespace trelvan {

// Modbus RTU: 0 is the broadcast address, which every instrument obeys and
// none answers; 248..255 are reserved.
inline constexpr int kFirstStation = 1;
inline constexpr int kLastStation = 247;
// The stations an installation of this station application has.
inline constexpr int kLastConfigurableStation = 14;

// The station an address text asks: the decimal number at its start (blanks
// before it skipped, a point as the decimal separator, "3abc" -> 3), rounded
// to the nearest whole number. Nothing when that is no station that can be
// asked (1..247): "", "abc", "0", "248", "-3".
std::optional<int> StationNumber(std::string_view addressText);

// Whether the configuration dialog takes an address text: a whole number from
// 1 to 14, blanks around it allowed, and a point followed by zeros only ("3.0"
// is station 3, "3.5" no station at all). What passes here is the station
// StationNumber gives.
bool IsConfigurableStationAddress(std::string_view addressText);

} // namespace trelvan
