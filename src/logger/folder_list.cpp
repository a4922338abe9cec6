#include "folder_list.h"

#include <QDir>
#include <QFileInfo>
#include <QPainter>
#include <QPainterPath>

namespace trelvan {

namespace {

// The style's open and closed folders look alike in several themes, so both
// are drawn here: a closed folder is a tab and a body; an open one shows its
// back and a front flap tilted towards the viewer.
QIcon FolderIcon(bool open) {
  QPixmap pixmap(32, 32);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(0x8a, 0x6d, 0x1f), 1.5));
  const QColor back(0xe8, 0xc0, 0x4a);
  const QColor front(0xf6, 0xd8, 0x76);
  QPainterPath shape;
  shape.moveTo(3, 8);
  shape.lineTo(12, 8);
  shape.lineTo(15, 11);
  shape.lineTo(29, 11);
  shape.lineTo(29, 27);
  shape.lineTo(3, 27);
  shape.closeSubpath();
  p.setBrush(back);
  p.drawPath(shape);
  if (open) {
    p.setBrush(QColor(0xff, 0xff, 0xff));
    p.drawRect(QRectF(7, 13, 19, 8)); // a sheet inside
    QPainterPath flap;
    flap.moveTo(3, 27);
    flap.lineTo(8, 17);
    flap.lineTo(31, 17);
    flap.lineTo(29, 27);
    flap.closeSubpath();
    p.setBrush(front);
    p.drawPath(flap);
  } else {
    p.setBrush(front);
    p.drawRect(QRectF(3, 14, 26, 13));
  }
  return QIcon(pixmap);
}

} // namespace

FolderList::FolderList(QWidget* parent)
    : QListWidget(parent), openIcon_(FolderIcon(true)), closedIcon_(FolderIcon(false)) {}

void FolderList::showFolder(const QString& folder, const QString& volumeRoot) {
  clear();
  QStringList chain;
  QDir walk(folder);
  chain.prepend(walk.absolutePath());
  while (QDir::cleanPath(walk.absolutePath()) != QDir::cleanPath(volumeRoot) && walk.cdUp())
    chain.prepend(walk.absolutePath());

  int level = 0;
  for (const QString& path : chain) {
    const QString name = level == 0 ? path : QFileInfo(path).fileName();
    auto* item = new QListWidgetItem(openIcon_, QString(level * 2, ' ') + name, this);
    item->setData(Qt::UserRole, path);
    item->setToolTip(path);
    ++level;
  }
  setCurrentRow(count() - 1);
  const QDir current(folder);
  const QStringList subfolders =
      current.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
  for (const QString& name : subfolders) {
    auto* item = new QListWidgetItem(closedIcon_, QString(level * 2, ' ') + name, this);
    item->setData(Qt::UserRole, current.filePath(name));
  }
}

QString FolderList::folderOf(const QListWidgetItem* item) {
  return item ? item->data(Qt::UserRole).toString() : QString();
}

} // namespace trelvan
