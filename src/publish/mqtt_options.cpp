#include "mqtt_options.h"

#include <mosquitto.h>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/system_error.h"
#include "core/text_file.h"

namespace trelvan {

namespace {

std::string Quoted(std::string_view text) { return "„" + std::string(text) + "“"; }

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != prefix[i]) return false;
  }
  return true;
}

// Letters, digits, '.', '-', '_' for a name; hex digits, ':', '.' and a zone
// ("%eth0") inside brackets.
bool HostCharactersOk(std::string_view host, bool bracketed) {
  for (const char c : host) {
    const bool alnum = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (alnum || c == '.' || c == '-' || c == '_') continue;
    if (bracketed && (c == ':' || c == '%')) continue;
    return false;
  }
  return true;
}

BrokerAddressResult Problem(std::string text) { return {std::nullopt, std::move(text)}; }

} // namespace

BrokerAddressResult ParseBrokerUrl(std::string_view url) {
  url = Trimmed(url);
  if (url.empty()) return Problem("Es ist keine Broker-Adresse angegeben.");
  BrokerAddress address;
  std::string_view rest;
  if (StartsWithNoCase(url, "mqtts://")) {
    address.tls = true;
    address.port = 8883;
    rest = url.substr(8);
  } else if (StartsWithNoCase(url, "mqtt://")) {
    rest = url.substr(7);
  } else {
    return Problem("Die Broker-Adresse " + Quoted(url) + " beginnt nicht mit „mqtt://“ oder „mqtts://“.");
  }
  const std::size_t slash = rest.find('/');
  std::string_view authority = rest.substr(0, slash);
  const std::string_view path = slash == std::string_view::npos ? "" : rest.substr(slash);
  // Not quoted back: the text may hold a password.
  if (authority.find('@') != std::string_view::npos)
    return Problem(std::string("Die Broker-Adresse enthält Zugangsdaten. Benutzername und Passwort gehören "
                               "in eine Zugangsdaten-Datei oder in die Umgebungsvariablen ") +
                   kUserVariable + " und " + kPasswordVariable + ", nie in die Adresse.");
  if (!(path.empty() || path == "/") || authority.find_first_of("?#") != std::string_view::npos)
    return Problem("Die Broker-Adresse " + Quoted(url) +
                   " darf nach Rechner und Port nichts weiter enthalten.");

  std::string_view portText;
  bool bracketed = false;
  if (!authority.empty() && authority.front() == '[') {
    const std::size_t close = authority.find(']');
    if (close == std::string_view::npos)
      return Problem("In der Broker-Adresse " + Quoted(url) + " fehlt die schließende Klammer „]“.");
    address.host = std::string(authority.substr(1, close - 1));
    bracketed = true;
    const std::string_view after = authority.substr(close + 1);
    if (!after.empty()) {
      if (after.front() != ':')
        return Problem("Die Broker-Adresse " + Quoted(url) + " hat nach „]“ etwas anderes als „:Port“.");
      portText = after.substr(1);
      if (portText.empty()) portText = "-"; // "host:" names no port
    }
  } else {
    const std::size_t colon = authority.find(':');
    address.host = std::string(authority.substr(0, colon));
    if (colon != std::string_view::npos) {
      portText = authority.substr(colon + 1);
      if (portText.empty()) portText = "-";
      if (portText.find(':') != std::string_view::npos)
        return Problem("Eine IPv6-Adresse gehört in eckige Klammern, etwa „mqtt://[::1]:1883“.");
    }
  }
  if (address.host.empty())
    return Problem("Die Broker-Adresse " + Quoted(url) + " nennt keinen Rechner.");
  if (!HostCharactersOk(address.host, bracketed))
    return Problem("Der Rechnername in " + Quoted(url) + " enthält unzulässige Zeichen.");
  if (!portText.empty()) {
    const std::optional<long long> port = ParseWholeNumber(portText);
    if (!port || *port < 1 || *port > 65535 || portText.find_first_not_of("0123456789") != std::string_view::npos)
      return Problem("Der Port in " + Quoted(url) + " ist keine Zahl von 1 bis 65535.");
    address.port = static_cast<int>(*port);
  }
  return {address, {}};
}

std::string BrokerUrl(const BrokerAddress& address) {
  const bool v6 = address.host.find(':') != std::string::npos;
  return std::string(address.tls ? "mqtts://" : "mqtt://") + (v6 ? "[" : "") + address.host +
         (v6 ? "]" : "") + ":" + std::to_string(address.port);
}

std::string SiteNameProblem(std::string_view site) {
  if (site.empty()) return "Der Standortname ist leer.";
  if (mosquitto_validate_utf8(site.data(), static_cast<int>(site.size())) != MOSQ_ERR_SUCCESS)
    return "Der Standortname enthält Steuerzeichen oder ist kein gültiges UTF-8.";
  if (site.find_first_of("/+#") != std::string_view::npos)
    return "Der Standortname " + Quoted(site) +
           " enthält „/“, „+“ oder „#“; diese Zeichen trennen Themenebenen oder sind Platzhalter.";
  if (site.front() == '$')
    return "Der Standortname " + Quoted(site) + " beginnt mit „$“; solche Themen gehören dem Broker.";
  if (Trimmed(site).size() != site.size())
    return "Der Standortname " + Quoted(site) + " beginnt oder endet mit einem Leerzeichen.";
  return {};
}

std::string HostSiteName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

std::vector<std::string> MqttOptionProblems(const MqttOptions& options) {
  std::vector<std::string> problems;
  const BrokerAddressResult broker = ParseBrokerUrl(options.url);
  if (!broker.address) problems.push_back(broker.problem);
  if (!options.site.empty()) {
    if (std::string p = SiteNameProblem(options.site); !p.empty()) problems.push_back(p);
  }
  if (options.keepaliveS < kMinKeepaliveS || options.keepaliveS > kMaxKeepaliveS)
    problems.push_back("Die Keep-Alive-Zeit muss zwischen " + std::to_string(kMinKeepaliveS) + " und " +
                       std::to_string(kMaxKeepaliveS) + " Sekunden liegen.");
  if (broker.address && !broker.address->tls && !options.caFile.empty())
    problems.push_back("Eine CA-Datei gilt nur für verschlüsselte Verbindungen (mqtts://).");
  return problems;
}

CredentialsResult ReadCredentialsFile(const std::string& path) {
  const auto unreadable = [&](int error) {
    return CredentialsResult{std::nullopt, "Die Zugangsdaten-Datei " + Quoted(path) +
                                               " lässt sich nicht lesen: " + SystemErrorText(error) + "."};
  };
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return unreadable(errno);
  struct stat info {};
  std::string bytes;
  int error = 0;
  if (fstat(fd, &info) != 0) {
    error = errno;
  } else if (!S_ISREG(info.st_mode)) {
    error = EISDIR;
  } else if ((info.st_mode & S_IROTH) == 0) {
    char buffer[4096];
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) != 0 && bytes.size() < 65536;) {
      if (n < 0) {
        if (errno == EINTR) continue;
        error = errno;
        break;
      }
      bytes.append(buffer, static_cast<std::size_t>(n));
    }
  }
  close(fd);
  if (error != 0) return unreadable(error);
  if (info.st_mode & S_IROTH)
    return {std::nullopt, "Die Zugangsdaten-Datei " + Quoted(path) +
                              " ist für alle Benutzer lesbar. Bitte mit „chmod o-r“ schützen."};

  const auto line = [&bytes](std::size_t& pos) {
    const std::size_t end = std::min(bytes.find('\n', pos), bytes.size());
    std::string text = bytes.substr(pos, end - pos);
    if (!text.empty() && text.back() == '\r') text.pop_back();
    pos = end + 1;
    return text;
  };
  std::size_t pos = 0;
  MqttCredentials credentials;
  credentials.user = line(pos);
  if (pos <= bytes.size()) credentials.password = line(pos);
  if (credentials.user.empty())
    return {std::nullopt, "Die Zugangsdaten-Datei " + Quoted(path) +
                              " nennt in ihrer ersten Zeile keinen Benutzernamen."};
  return {credentials, {}};
}

std::optional<std::string> ProcessEnvironment(const char* name) {
  const char* value = std::getenv(name);
  if (!value) return std::nullopt;
  return std::string(value);
}

MqttConfigResult ResolveMqttConfig(const MqttOptions& options, const EnvironmentLookup& environment) {
  MqttConfigResult result;
  result.problems = MqttOptionProblems(options);
  MqttConfig config;
  config.keepaliveS = options.keepaliveS;
  config.haDiscovery = options.haDiscovery;
  config.caFile = options.caFile;
  if (const BrokerAddressResult broker = ParseBrokerUrl(options.url); broker.address)
    config.broker = *broker.address;

  config.site = options.site;
  if (config.site.empty()) {
    config.site = HostSiteName();
    if (std::string p = SiteNameProblem(config.site); !p.empty())
      result.problems.push_back("Der Rechnername taugt nicht als Standortname (" + p +
                                ") Bitte einen Standortnamen angeben.");
  }

  if (!options.credentialsFile.empty()) {
    CredentialsResult read = ReadCredentialsFile(options.credentialsFile);
    if (read.credentials)
      config.credentials = std::move(read.credentials);
    else
      result.problems.push_back(read.problem);
  } else {
    const std::optional<std::string> user = environment(kUserVariable);
    const std::optional<std::string> password = environment(kPasswordVariable);
    if (user && !user->empty())
      config.credentials = MqttCredentials{*user, password.value_or("")};
    else if (password)
      result.problems.push_back(std::string("Die Umgebungsvariable ") + kPasswordVariable +
                                " ist gesetzt, aber " + kUserVariable + " nennt keinen Benutzer.");
  }

  if (!options.caFile.empty()) {
    const int fd = open(options.caFile.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
      result.problems.push_back("Die CA-Datei " + Quoted(options.caFile) +
                                " lässt sich nicht lesen: " + SystemErrorText(errno) + ".");
    else
      close(fd);
  }

  if (result.problems.empty()) result.config = std::move(config);
  return result;
}

} // namespace trelvan
