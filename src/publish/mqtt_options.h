#pragma once
// What the operator says about publishing to an MQTT broker (on the command
// line or in "trelvan.ini") and the checked, complete form the publisher
// takes. The command line and the settings dialog use the same checks, so a
// value refused in one is refused in the other with the same German text.
//
// Secrets never travel on a command line (every user can read it in
// /proc/<pid>/cmdline): the user name and password come from a credentials
// file or from the environment, and a broker address with "user:password@"
// in it is refused.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace trelvan {

// The broker: "mqtt://host[:port]" (plain TCP, port 1883) or
// "mqtts://host[:port]" (TLS, port 8883). An IPv6 address goes in brackets:
// "mqtt://[::1]:1883". A trailing "/" is allowed; any other path, a query or
// user information is not.
struct BrokerAddress {
  bool tls = false;
  std::string host; // without brackets
  int port = 1883;
  bool operator==(const BrokerAddress&) const = default;
};

// The broker address, or a German problem text.
struct BrokerAddressResult {
  std::optional<BrokerAddress> address;
  std::string problem;
};
BrokerAddressResult ParseBrokerUrl(std::string_view url);

// The address as a URL again, for messages ("mqtts://broker:8883").
std::string BrokerUrl(const BrokerAddress& address);

// A site name names the station as a whole and becomes one level of every
// topic ("trelvan/<site>/..."). It must be valid UTF-8 without control
// characters, not empty, without "/", "+" or "#" (level separator and
// wildcards), not start with "$" (the broker's own topics) and carry no
// blanks at either end. Empty result: the name is fine.
std::string SiteNameProblem(std::string_view site);

// The host name of this computer, the site's name when none is given.
std::string HostSiteName();

// The keep-alive in seconds: libmosquitto needs at least 5, MQTT allows up
// to 65535.
inline constexpr int kMinKeepaliveS = 5;
inline constexpr int kMaxKeepaliveS = 65535;
inline constexpr int kDefaultKeepaliveS = 30;

struct MqttOptions {
  bool enabled = false;         // the window's switch; the command line sets it with --mqtt
  std::string url;              // see ParseBrokerUrl
  std::string site;             // empty: the host name
  int keepaliveS = kDefaultKeepaliveS;
  bool haDiscovery = false;     // announce one Home Assistant sensor per channel
  std::string caFile;           // mqtts: the CA certificate(s) in PEM; empty: the system's
  std::string credentialsFile;  // empty: the environment, or no log-in
  bool operator==(const MqttOptions&) const = default;
};

// The problems of the options as given, in German, one sentence each; empty
// when they are usable. Only the form is checked here, no file is read.
std::vector<std::string> MqttOptionProblems(const MqttOptions& options);

struct MqttCredentials {
  std::string user;
  std::string password;
  bool operator==(const MqttCredentials&) const = default;
};

// Environment variables that carry the log-in when no credentials file is
// named. Only the process's own user can read a process's environment.
inline constexpr const char* kUserVariable = "TRELVAN_MQTT_USER";
inline constexpr const char* kPasswordVariable = "TRELVAN_MQTT_PASSWORD";

// A credentials file holds the user name on its first line and the password
// on its second (LF or CR LF; the password is taken as it stands, blanks
// included). A file that others than its owner and group may read is
// refused: it would hand the password to every user of the computer.
struct CredentialsResult {
  std::optional<MqttCredentials> credentials;
  std::string problem; // German
};
CredentialsResult ReadCredentialsFile(const std::string& path);

// Looks up an environment variable; the default reads the process's own.
using EnvironmentLookup = std::function<std::optional<std::string>(const char* name)>;
std::optional<std::string> ProcessEnvironment(const char* name);

// Everything the publisher needs, checked.
struct MqttConfig {
  BrokerAddress broker;
  std::string site;
  int keepaliveS = kDefaultKeepaliveS;
  bool haDiscovery = false;
  std::string caFile;
  std::optional<MqttCredentials> credentials;
  std::size_t queueCapacity = 10000; // messages waiting for the broker; the oldest go first
};

struct MqttConfigResult {
  std::optional<MqttConfig> config;
  std::vector<std::string> problems; // German
};

// Checks the options (as MqttOptionProblems does), fills in the site from the
// host name, reads the credentials (the file, else the environment: a user
// name alone is a log-in without password, a password alone is refused) and
// checks that a named CA file can be read.
MqttConfigResult ResolveMqttConfig(const MqttOptions& options,
                                   const EnvironmentLookup& environment = ProcessEnvironment);

} // namespace trelvan
