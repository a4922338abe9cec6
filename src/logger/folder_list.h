#pragma once
// Dir1 of the logger-file window. It reads like a path: the volume's root and
// each folder down to the current one, drawn as open folders, then the
// current folder's subfolders, drawn closed and indented one step further.

#include <QIcon>
#include <QListWidget>
#include <QString>

namespace trelvan {

class FolderList : public QListWidget {
  Q_OBJECT

 public:
  explicit FolderList(QWidget* parent = nullptr);

  void showFolder(const QString& folder, const QString& volumeRoot);
  // The folder an item stands for.
  static QString folderOf(const QListWidgetItem* item);

 private:
  QIcon openIcon_;
  QIcon closedIcon_;
};

} // namespace trelvan
