#pragma once
// Home Assistant MQTT discovery: one sensor per channel, announced on
//   homeassistant/sensor/<node>/kanal<n>/config   (QoS 1, retained)
// reading the channel's main value from trelvan/<site>/kanal/<n>, available
// while trelvan/<site>/status says "online".
//
// A sensor has one unit, while a reading's unit follows the instrument's
// range (Ohm, kOhm or MOhm; µS or mS; m3/h or m3/s). Where the units of a
// type measure the same quantity, the sensor takes one of them and its value
// template converts each reading by the unit it carries. Where the unit comes
// from the instrument (oxygen, turbidity, 458, 731), the sensor takes the
// unit of the latest good reading and is announced again when it changes.

#include <string>
#include <string_view>

#include "core/reading.h"
#include "publish/mqtt_messages.h"

namespace trelvan {

// "trelvan_<site>" with every character outside [A-Za-z0-9_-] made "_", and
// then, so that "Werk 1" and "Werk_1" stay two devices, a hash of the site.
std::string HaNodeId(std::string_view site);

// The discovery message for the channel of `reading` (its type, marker and,
// where the type has no fixed unit, the reading's unit).
MqttMessage HaDiscoveryMessage(std::string_view site, const Reading& reading);

} // namespace trelvan
