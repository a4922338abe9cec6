#pragma once
// Drive1 of the logger-file window: the mounted volumes an operator may pick,
// removable ones (card readers, sticks) first.

#include <QComboBox>
#include <QString>

#include <functional>
#include <vector>

namespace trelvan {

struct Volume {
  QString root;
  QString label;
  bool removable = false;
};

// Where the volumes come from: the system's mounts, or a list a test makes.
struct VolumeSource {
  std::function<std::vector<Volume>()> list;
  // The root of the volume that holds a path.
  std::function<QString(const QString& path)> rootOf;
};
VolumeSource SystemVolumes();

class DriveList : public QComboBox {
  Q_OBJECT

 public:
  explicit DriveList(QWidget* parent = nullptr);

  void setSource(VolumeSource source);
  // Lists the volumes again, keeping the one shown.
  void refill();
  // Shows the volume that holds `path`, adding it when the list lacks it,
  // without reporting a choice.
  void showVolumeOf(const QString& path);

 signals:
  // The operator picked a volume; `root` is its top folder.
  void chosen(const QString& root);

 protected:
  // Looks at the mounts again whenever the list opens, so a card inserted
  // meanwhile shows up.
  void showPopup() override;

 private:
  VolumeSource source_;
  bool quiet_ = false;
};

} // namespace trelvan
