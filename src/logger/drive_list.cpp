#include "drive_list.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>
#include <QStyle>

#include <algorithm>

namespace trelvan {

namespace {

// File systems that hold no files of the operator's.
bool IsSystemFileSystem(const QByteArray& type) {
  static const char* const kTypes[] = {
      "proc", "sysfs", "devpts", "devtmpfs", "tmpfs", "mqueue", "cgroup", "cgroup2",
      "securityfs", "debugfs", "tracefs", "pstore", "bpf", "autofs", "configfs",
      "fusectl", "hugetlbfs", "binfmt_misc", "efivarfs", "ramfs", "nsfs", "squashfs"};
  return std::any_of(std::begin(kTypes), std::end(kTypes),
                     [&](const char* t) { return type == t; });
}

// Card readers and sticks: the kernel marks the disk removable, or the desktop
// mounted it where it mounts media.
bool IsRemovable(const QStorageInfo& volume) {
  const QString root = volume.rootPath();
  if (root.startsWith("/media/") || root.startsWith("/run/media/")) return true;
  QString device = QString::fromLocal8Bit(volume.device());
  if (!device.startsWith("/dev/")) return false;
  device = device.mid(5);
  if (device.startsWith("mmcblk")) return true; // SD cards
  while (!device.isEmpty() && device.back().isDigit()) device.chop(1);
  QFile flag("/sys/block/" + device + "/removable");
  return flag.open(QIODevice::ReadOnly) && flag.readAll().trimmed() == "1";
}

std::vector<Volume> MountedVolumes() {
  std::vector<Volume> volumes;
  for (const QStorageInfo& info : QStorageInfo::mountedVolumes()) {
    if (!info.isValid() || IsSystemFileSystem(info.fileSystemType())) continue;
    // Containers mount single files (/etc/hosts); only folders can be chosen.
    if (!QFileInfo(info.rootPath()).isDir()) continue;
    volumes.push_back({info.rootPath(), info.name(), IsRemovable(info)});
  }
  return volumes;
}

// A chroot or a container may not list "/" as a mount: the root then stands
// for every path no listed volume holds.
QString MountRootOf(const QString& path) {
  const QStorageInfo info(path);
  return info.isValid() ? info.rootPath() : QDir::rootPath();
}

} // namespace

VolumeSource SystemVolumes() { return {MountedVolumes, MountRootOf}; }

DriveList::DriveList(QWidget* parent) : QComboBox(parent), source_(SystemVolumes()) {
  connect(this, &QComboBox::currentIndexChanged, this, [this](int index) {
    if (!quiet_ && index >= 0) emit chosen(itemData(index).toString());
  });
}

void DriveList::setSource(VolumeSource source) {
  source_ = std::move(source);
  clear();
  refill();
}

void DriveList::refill() {
  const QString current = currentData().toString();
  std::vector<Volume> volumes = source_.list();
  std::stable_sort(volumes.begin(), volumes.end(), [](const Volume& a, const Volume& b) {
    if (a.removable != b.removable) return a.removable;
    return a.root < b.root;
  });
  quiet_ = true;
  clear();
  const QIcon removableIcon = style()->standardIcon(QStyle::SP_DriveFDIcon);
  const QIcon fixedIcon = style()->standardIcon(QStyle::SP_DriveHDIcon);
  for (const Volume& v : volumes) {
    QString text = v.root;
    if (!v.label.isEmpty() && v.label != v.root) text += "   [" + v.label + "]";
    addItem(v.removable ? removableIcon : fixedIcon, text, v.root);
  }
  quiet_ = false;
  if (!current.isEmpty()) showVolumeOf(current);
}

void DriveList::showVolumeOf(const QString& path) {
  if (path.isEmpty()) return;
  const QString root = source_.rootOf(path);
  int index = findData(root);
  quiet_ = true;
  if (index < 0) {
    addItem(style()->standardIcon(QStyle::SP_DriveHDIcon), root, root);
    index = count() - 1;
  }
  setCurrentIndex(index);
  quiet_ = false;
}

void DriveList::showPopup() {
  refill();
  QComboBox::showPopup();
}

} // namespace trelvan
