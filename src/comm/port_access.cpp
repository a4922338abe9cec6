#include "port_access.h"

#include <QFileInfo>
#include <QStringList>

#ifdef Q_OS_UNIX
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>
#endif

#include "core/system_error.h"

namespace trelvan {

namespace {

#ifdef Q_OS_UNIX

QString Reason(int errorNumber) { return QString::fromStdString(SystemErrorText(errorNumber)); }

// The rule of the trelvan package that gives the user at the seat access to
// USB serial adapters.
constexpr const char* kUdevRuleName = "70-trelvan-serial.rules";

bool UdevRuleInstalled() {
  for (const char* folder : {"/etc/udev/rules.d/", "/usr/lib/udev/rules.d/", "/lib/udev/rules.d/"}) {
    if (::access((std::string(folder) + kUdevRuleName).c_str(), F_OK) == 0) return true;
  }
  return false;
}

bool IsUsbAdapter(const QString& canonical) {
  const QString name = QFileInfo(canonical).fileName();
  return name.startsWith(QLatin1String("ttyUSB")) || name.startsWith(QLatin1String("ttyACM"));
}

QString ProcessName(long pid) {
  QString name;
  if (FILE* f = std::fopen(("/proc/" + std::to_string(pid) + "/comm").c_str(), "re")) {
    char buffer[64] = {};
    if (std::fgets(buffer, sizeof buffer, f)) name = QString::fromLocal8Bit(buffer).trimmed();
    std::fclose(f);
  }
  return QStringLiteral("%1 (PID %2)").arg(name.isEmpty() ? QStringLiteral("?") : name).arg(pid);
}

// The processes with a descriptor on `canonical`, as far as /proc shows them
// (all of them to root, the user's own to a user).
std::vector<long> ProcessesHolding(const std::string& canonical) {
  std::vector<long> holders;
  DIR* proc = ::opendir("/proc");
  if (proc == nullptr) return holders;
  while (const dirent* entry = ::readdir(proc)) {
    char* end = nullptr;
    const long pid = std::strtol(entry->d_name, &end, 10);
    if (end == entry->d_name || *end != '\0') continue;
    const std::string fdFolder = "/proc/" + std::string(entry->d_name) + "/fd";
    DIR* fds = ::opendir(fdFolder.c_str());
    if (fds == nullptr) continue;
    while (const dirent* fd = ::readdir(fds)) {
      if (fd->d_name[0] == '.') continue;
      char target[PATH_MAX];
      const ssize_t n = ::readlink((fdFolder + '/' + fd->d_name).c_str(), target, sizeof target - 1);
      if (n > 0 && canonical.compare(0, std::string::npos, target, static_cast<std::size_t>(n)) == 0) {
        holders.push_back(pid);
        break;
      }
    }
    ::closedir(fds);
  }
  ::closedir(proc);
  return holders;
}

// The processes other than this one with an advisory lock (flock) on the
// device node `st`, as /proc/locks lists them: "1: FLOCK ADVISORY WRITE
// <pid> <major>:<minor>:<inode> 0 EOF", the numbers of the file system's
// device in hexadecimal. The program of ours that holds the line takes one;
// a bystander that only has the device open (a simulator keeping a
// pseudo-terminal alive) does not.
std::vector<long> LockingProcesses(const struct stat& st) {
  std::vector<long> pids;
  FILE* f = std::fopen("/proc/locks", "re");
  if (f == nullptr) return pids;
  char line[256];
  while (std::fgets(line, sizeof line, f)) {
    char kind[16] = {};
    long pid = 0;
    unsigned major = 0, minor = 0;
    unsigned long inode = 0;
    if (std::sscanf(line, "%*d: %15s %*s %*s %ld %x:%x:%lu", kind, &pid, &major, &minor, &inode) != 5) continue;
    if (std::string(kind) == "FLOCK" && pid > 0 && pid != ::getpid() && major == ::major(st.st_dev) &&
        minor == ::minor(st.st_dev) && inode == st.st_ino)
      pids.push_back(pid);
  }
  std::fclose(f);
  return pids;
}

// The process named in a UUCP lock file (/run/lock/LCK..ttyUSB0), if it runs.
long LockHolder(const QString& canonical) {
  const std::string name = QFileInfo(canonical).fileName().toStdString();
  for (const char* folder : {"/run/lock/", "/var/lock/"}) {
    FILE* f = std::fopen((folder + std::string("LCK..") + name).c_str(), "re");
    if (f == nullptr) continue;
    long pid = 0;
    const int read = std::fscanf(f, "%ld", &pid);
    std::fclose(f);
    if (read == 1 && pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM)) return pid;
  }
  return 0;
}

QString UserName() {
  if (const passwd* pw = ::getpwuid(::getuid())) return QString::fromLocal8Bit(pw->pw_name);
  return QString::number(::getuid());
}

bool ProcessHasGroup(gid_t group) {
  if (::getegid() == group) return true;
  const int count = ::getgroups(0, nullptr);
  std::vector<gid_t> groups(static_cast<std::size_t>(count > 0 ? count : 0));
  if (count > 0 && ::getgroups(count, groups.data()) == count) {
    for (gid_t g : groups) if (g == group) return true;
  }
  return false;
}

// The user is listed as a member of the group, though this login has not got it.
bool ListedInGroup(gid_t group) {
  const passwd* pw = ::getpwuid(::getuid());
  if (pw == nullptr) return false;
  if (pw->pw_gid == group) return true;
  const std::string user = pw->pw_name;
  if (const struct group* g = ::getgrgid(group)) {
    for (char** member = g->gr_mem; member && *member; ++member)
      if (user == *member) return true;
  }
  return false;
}

QString ModeText(mode_t mode) {
  QString text;
  for (int shift : {6, 3, 0}) {
    text += (mode >> shift & 4) ? 'r' : '-';
    text += (mode >> shift & 2) ? 'w' : '-';
    text += (mode >> shift & 1) ? 'x' : '-';
  }
  return text;
}

QString NoPermissionText(const QString& device, const QString& canonical, const struct stat& st) {
  // getpwuid and getgrgid share their result buffers: copy each name at once.
  const passwd* owner = ::getpwuid(st.st_uid);
  const QString ownerName = owner ? QString::fromLocal8Bit(owner->pw_name) : QString::number(st.st_uid);
  const struct group* group = ::getgrgid(st.st_gid);
  const QString groupName = group ? QString::fromLocal8Bit(group->gr_name) : QString::number(st.st_gid);
  const QString user = UserName();
  QString text = QStringLiteral("Keine Berechtigung für %1 (Eigentümer %2, Gruppe %3, Rechte %4).")
                     .arg(device, ownerName, groupName, ModeText(st.st_mode));
  if (IsUsbAdapter(canonical)) {
    text += UdevRuleInstalled()
                ? QStringLiteral(" Die udev-Regel des Pakets trelvan gibt USB-Adaptern dem Benutzer, der am "
                                 "Rechner angemeldet ist, frei (uaccess): den Adapter abziehen und wieder "
                                 "einstecken. Bei einer Anmeldung ohne Bildschirm (SSH) gilt sie nicht.")
                : QStringLiteral(" Das Paket trelvan bringt eine udev-Regel mit, die USB-Adapter dem "
                                 "Benutzer am Rechner freigibt (uaccess); nach seiner Installation den "
                                 "Adapter abziehen und wieder einstecken.");
  }
  const bool groupCanUse = st.st_gid != 0 && (st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
  if (!groupCanUse) return text;
  if (ListedInGroup(st.st_gid) && !ProcessHasGroup(st.st_gid)) {
    return text + QStringLiteral(" Der Benutzer %1 ist schon Mitglied der Gruppe %2, diese Anmeldung kennt "
                                 "die Gruppe aber noch nicht: ab- und wieder anmelden.")
                      .arg(user, groupName);
  }
  return text + QStringLiteral(" %1 den Benutzer %2 in die Gruppe %3 aufnehmen:\n"
                               "    sudo usermod -aG %3 %2\n"
                               "und danach ab- und wieder anmelden; erst dann gilt die neue Gruppe.")
                    .arg(IsUsbAdapter(canonical) ? QStringLiteral("Sonst") : QStringLiteral("Abhilfe:"), user,
                         groupName);
}

QString HolderList(const std::vector<long>& pids) {
  QStringList names;
  for (long pid : pids) names << ProcessName(pid);
  return names.join(QStringLiteral(", "));
}

#endif

} // namespace

PortAccess CheckPortAccess(const QString& device) {
  PortAccess a;
  a.device = device;
#ifdef Q_OS_UNIX
  using State = PortAccess::State;
  const QByteArray path = device.toLocal8Bit();
  struct stat st {};
  if (::stat(path.constData(), &st) != 0) {
    const int error = errno;
    a.state = error == ENOENT ? State::Missing : State::Unusable;
    a.text = error == ENOENT
                 ? QStringLiteral("%1 ist nicht vorhanden. Ist der Adapter eingesteckt?").arg(device)
                 : QStringLiteral("%1 lässt sich nicht prüfen: %2.").arg(device, Reason(error));
    return a;
  }
  if (!S_ISCHR(st.st_mode)) {
    a.state = State::NotADevice;
    a.text = QStringLiteral("%1 ist keine serielle Schnittstelle.").arg(device);
    return a;
  }
  const QString canonical = QFileInfo(device).canonicalFilePath();
  std::vector<long> holders = ProcessesHolding(canonical.toStdString());
  const long self = ::getpid();
  if (std::find(holders.begin(), holders.end(), self) != holders.end()) {
    a.state = State::OpenHere;
    a.text = QStringLiteral("%1 ist in diesem Programm bereits geöffnet.").arg(device);
    return a;
  }
  // The one that holds the line, where it says so, rather than everyone who
  // has the device open.
  if (std::vector<long> locking = LockingProcesses(st); !locking.empty()) holders = std::move(locking);
  if (holders.empty()) {
    if (const long pid = LockHolder(canonical)) holders.push_back(pid);
  }
  if (!holders.empty()) {
    a.state = State::InUse;
    a.holder = HolderList(holders);
    a.text = QStringLiteral("%1 ist von einem anderen Programm belegt: %2. Das Programm beenden, dann "
                            "ist die Schnittstelle frei.")
                 .arg(device, a.holder);
    return a;
  }
  if (::access(path.constData(), R_OK | W_OK) != 0 && errno == EACCES) {
    a.state = State::NoPermission;
    a.text = NoPermissionText(device, canonical, st);
    return a;
  }
  // No process holds it: an open and a close change nothing on the line.
  const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd >= 0) {
    ::close(fd);
    return a;
  }
  const int error = errno;
  if (error == EACCES || error == EPERM) {
    a.state = State::NoPermission;
    a.text = NoPermissionText(device, canonical, st);
  } else if (error == EBUSY) {
    a.state = State::InUse;
    a.text = QStringLiteral("%1 ist von einem anderen Programm belegt (welchem, verrät das System nicht).")
                 .arg(device);
  } else if (error == ENXIO || error == ENODEV || error == EIO) {
    a.state = State::Missing;
    a.text = QStringLiteral("%1 ist nicht ansprechbar: Zu diesem Namen gibt es keine Schnittstelle.").arg(device);
  } else {
    a.state = State::Unusable;
    a.text = QStringLiteral("%1 lässt sich nicht öffnen: %2.").arg(device, Reason(error));
  }
#endif
  return a;
}

} // namespace trelvan
