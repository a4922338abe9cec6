#pragma once
// The MQTT options as the two shells take them: the window from the group
// [MQTT] of "trelvan.ini" in the station's folder, `trelvan-cli poll` from its
// command line. Both then check them with ResolveMqttConfig.
//
//   [MQTT]
//   Enabled=false                 publishing is off until the operator turns it on
//   Url=mqtts://broker.example:8883
//   Site=Klaerwerk-Nord            empty or missing: the host name
//   Keepalive=30
//   HaDiscovery=false
//   CaFile=/etc/trelvan/ca.pem
//   CredentialsFile=/etc/trelvan/mqtt-zugang   never the password itself
//
// Command line (poll):
//   --mqtt URL  --site NAME  --keepalive S  --ha-discovery
//   --mqtt-ca FILE  --mqtt-credentials FILE

#include <QString>
#include <QStringList>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/working_folder.h"
#include "publish/mqtt_options.h"

namespace trelvan {

struct MqttSettingsResult {
  MqttOptions options;
  std::vector<std::string> problems; // German: values that are no number or no yes/no
};

// A missing file or group gives the defaults (publishing off).
MqttSettingsResult LoadMqttSettings(const std::filesystem::path& folder);

// Writes the group [MQTT], keeping every other group of the file. Returns a
// German error text, or nothing.
std::optional<std::string> SaveMqttSettings(const std::filesystem::path& folder, const MqttOptions& options);

// When args[i] is one of the MQTT options above, takes it (and its value,
// advancing i) into `options` and returns true; a missing or malformed value
// sets `problem` (German). Any other argument: false, nothing changed.
// --mqtt also sets options.enabled.
bool TakeMqttOption(const QStringList& args, int& i, MqttOptions& options, QString& problem);

// The lines of --help that describe these options, in German.
QString MqttOptionsHelp();

} // namespace trelvan
