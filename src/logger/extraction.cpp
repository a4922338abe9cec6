#include "extraction.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QStorageInfo>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>
#include <functional>
#include <map>
#include <vector>

#include "core/geometry.h"
#include "core/prompter.h"
#include "logger/logger_reset.h"

namespace trelvan {

namespace {

constexpr int kWidthTwips = 9075;
constexpr int kHeightTwips = 4665;
constexpr int kProgressSteps = 1000;

std::string Utf8(const QString& text) { return text.toStdString(); }
std::filesystem::path PathOf(const QString& text) { return PathFromUtf8(Utf8(text)); }

// The user's decimal separator; "." when the locale's cannot be written into
// the export files.
std::string UserDecimalSeparator() {
  const std::string separator = Utf8(QLocale::system().decimalPoint());
  return IsUsableDecimalSeparator(separator) ? separator : ".";
}

struct Volume {
  QString root;
  QString label;
  bool removable = false;
};

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
  std::stable_sort(volumes.begin(), volumes.end(), [](const Volume& a, const Volume& b) {
    if (a.removable != b.removable) return a.removable;
    return a.root < b.root;
  });
  return volumes;
}

QString VolumeRootOf(const QString& path) {
  const QStorageInfo info(path);
  return info.isValid() ? info.rootPath() : QDir::rootPath();
}

// The drive list looks at the mounted volumes again whenever it opens, so a
// card inserted meanwhile shows up.
class DriveList : public QComboBox {
 public:
  using QComboBox::QComboBox;
  std::function<void()> beforePopup;

 protected:
  void showPopup() override {
    if (beforePopup) beforePopup();
    QComboBox::showPopup();
  }
};

} // namespace

Extraction::Extraction(std::string appTitle, Prompter& prompter, QWidget* parent)
    : QWidget(parent), appTitle_(std::move(appTitle)), prompter_(prompter) {
  setObjectName("Extraction");
  buildControls();
  loadLists();
  updateButtons();
}

Extraction::~Extraction() {
  if (worker_.joinable()) {
    worker_.request_stop();
    worker_.join();
  }
}

void Extraction::buildControls() {
  setWindowTitle(QString::fromStdString(appTitle_) + " [Datei Logging]");
  setFixedSize(TwipsToPixels(kWidthTwips, logicalDpiX()),
               TwipsToPixels(kHeightTwips, logicalDpiY()));

  frame1_ = new QGroupBox("Auswahl der Datei", this);
  frame1_->setObjectName("Frame1");
  auto* drives = new DriveList(frame1_);
  drives->beforePopup = [this] { fillDrives(); };
  drive1_ = drives;
  drive1_->setObjectName("Drive1");
  dir1_ = new QListWidget(frame1_);
  dir1_->setObjectName("Dir1");
  file1_ = new QListWidget(frame1_);
  file1_->setObjectName("File1");
  file1_->setSelectionMode(QAbstractItemView::SingleSelection);

  auto* lists = new QGridLayout(frame1_);
  lists->addWidget(drive1_, 0, 0);
  lists->addWidget(dir1_, 1, 0);
  lists->addWidget(file1_, 0, 1, 2, 1);
  lists->setColumnStretch(0, 1);
  lists->setColumnStretch(1, 1);

  frame2_ = new QGroupBox(this);
  frame2_->setObjectName("Frame2");
  command3_ = new QPushButton("&Auslesen", frame2_);
  command3_->setObjectName("Command3");
  auto* frame2Layout = new QVBoxLayout(frame2_);
  frame2Layout->addWidget(command3_);

  command1_ = new QPushButton("Auswahl der &Datei", this);
  command1_->setObjectName("Command1");
  command1_->setToolTip("Ausgewählte Loggerdatei leeren oder, wenn keine da ist, "
                        "\"Kestrane.log\" anlegen");
  command2_ = new QPushButton("&Beenden", this);
  command2_->setObjectName("Command2");

  auto* buttons = new QVBoxLayout;
  buttons->addWidget(frame2_);
  buttons->addSpacing(8);
  buttons->addWidget(command1_);
  buttons->addStretch(1);
  buttons->addWidget(command2_);

  label2_ = new QLabel(this);
  label2_->setObjectName("Label2");
  label2_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  progress_ = new QProgressBar(this);
  progress_->setObjectName("ProgressBar1");
  progress_->setRange(0, kProgressSteps);
  progress_->setValue(0);
  progress_->setTextVisible(false);

  auto* top = new QHBoxLayout;
  top->addWidget(frame1_, 1);
  top->addLayout(buttons);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(label2_, 3);
  bottom->addWidget(progress_, 2);
  auto* outer = new QVBoxLayout(this);
  outer->addLayout(top, 1);
  outer->addLayout(bottom);

  setTabOrder(drive1_, dir1_);
  setTabOrder(dir1_, file1_);
  setTabOrder(file1_, command3_);
  setTabOrder(command3_, command1_);
  setTabOrder(command1_, command2_);

  connect(drive1_, &QComboBox::currentIndexChanged, this, &Extraction::driveChosen);
  connect(dir1_, &QListWidget::itemActivated, this, &Extraction::directoryActivated);
  connect(file1_, &QListWidget::itemSelectionChanged, this, &Extraction::fileSelectionChanged);
  connect(command3_, &QPushButton::clicked, this, &Extraction::startExport);
  connect(command1_, &QPushButton::clicked, this, &Extraction::resetOrCreate);
  connect(command2_, &QPushButton::clicked, this, &QWidget::hide);
}

// The lists start on the process's current working directory.
void Extraction::loadLists() {
  fillDrives();
  setDirectory(QDir::currentPath());
}

void Extraction::fillDrives() {
  const QString current = drive1_->currentData().toString();
  changingDrive_ = true;
  drive1_->clear();
  const QIcon removableIcon = style()->standardIcon(QStyle::SP_DriveFDIcon);
  const QIcon fixedIcon = style()->standardIcon(QStyle::SP_DriveHDIcon);
  for (const Volume& v : MountedVolumes()) {
    QString text = v.root;
    if (!v.label.isEmpty() && v.label != v.root) text += "   [" + v.label + "]";
    drive1_->addItem(v.removable ? removableIcon : fixedIcon, text, v.root);
  }
  changingDrive_ = false;
  selectDriveOf(current.isEmpty() ? directory_ : current);
}

// Shows the volume that holds path, adding it when the volume list lacks it.
void Extraction::selectDriveOf(const QString& path) {
  if (path.isEmpty()) return;
  const QString root = VolumeRootOf(path);
  int index = drive1_->findData(root);
  changingDrive_ = true;
  if (index < 0) {
    drive1_->addItem(style()->standardIcon(QStyle::SP_DriveHDIcon), root, root);
    index = drive1_->count() - 1;
  }
  drive1_->setCurrentIndex(index);
  changingDrive_ = false;
}

void Extraction::driveChosen(int index) {
  if (changingDrive_ || index < 0) return;
  const QString root = drive1_->itemData(index).toString();
  const QStorageInfo volume(root);
  const QFileInfo folder(root);
  const bool readable = folder.isDir() && folder.isReadable() && volume.isValid() &&
                        volume.isReady() && setDirectory(root);
  if (!readable) {
    prompter_.tell(PromptIcon::Error, "Leser nicht vorhanden");
    selectDriveOf(directory_);
  }
}

bool Extraction::setDirectory(const QString& path) {
  const QFileInfo info(path);
  if (!info.isDir() || !info.isReadable()) return false;
  const QString canonical = info.canonicalFilePath();
  if (canonical.isEmpty()) return false;
  directory_ = canonical;
  selectedFile_.clear();
  fillDirectoryList();
  fillFileList();
  selectDriveOf(directory_);
  return true;
}

void Extraction::directoryActivated(QListWidgetItem* item) {
  if (!item) return;
  const QString path = item->data(Qt::UserRole).toString();
  if (path == directory_) return;
  // Rebuilding the list inside its own activation signal would delete the
  // item being reported; do it right after.
  QMetaObject::invokeMethod(
      this,
      [this, path] {
        if (!setDirectory(path))
          prompter_.tell(PromptIcon::Error,
                         "Der Ordner '" + Utf8(path) + "' kann nicht geöffnet werden.");
      },
      Qt::QueuedConnection);
}

// The folder list reads like a path: the volume's root, each folder down to
// the current one (open), then the current one's subfolders (closed).
void Extraction::fillDirectoryList() {
  dir1_->clear();
  const QString root = VolumeRootOf(directory_);
  QStringList chain;
  QDir walk(directory_);
  chain.prepend(walk.absolutePath());
  while (QDir::cleanPath(walk.absolutePath()) != QDir::cleanPath(root) && walk.cdUp())
    chain.prepend(walk.absolutePath());

  const QIcon openIcon = style()->standardIcon(QStyle::SP_DirOpenIcon);
  const QIcon closedIcon = style()->standardIcon(QStyle::SP_DirClosedIcon);
  int level = 0;
  for (const QString& folder : chain) {
    const QString name = level == 0 ? folder : QFileInfo(folder).fileName();
    auto* item = new QListWidgetItem(openIcon, QString(level * 2, ' ') + name, dir1_);
    item->setData(Qt::UserRole, folder);
    item->setToolTip(folder);
    ++level;
  }
  dir1_->setCurrentRow(dir1_->count() - 1);
  const QStringList subfolders =
      QDir(directory_).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
  for (const QString& name : subfolders) {
    auto* item = new QListWidgetItem(closedIcon, QString(level * 2, ' ') + name, dir1_);
    item->setData(Qt::UserRole, QDir(directory_).filePath(name));
  }
}

void Extraction::fillFileList() {
  fillingFiles_ = true;
  file1_->clear();
  // Matched without regard to case: media written elsewhere often say ".LOG".
  const QStringList files = QDir(directory_).entryList(
      {"*.log"}, QDir::Files, QDir::Name | QDir::IgnoreCase);
  file1_->addItems(files);
  if (!selectedFile_.isEmpty()) {
    const auto matches = file1_->findItems(QFileInfo(selectedFile_).fileName(), Qt::MatchExactly);
    if (!matches.isEmpty()) file1_->setCurrentItem(matches.front());
  }
  fillingFiles_ = false;
}

void Extraction::fileSelectionChanged() {
  if (fillingFiles_) return;
  const auto items = file1_->selectedItems();
  if (!items.isEmpty()) selectedFile_ = items.front()->text();
}

QString Extraction::currentFileName() const {
  const auto items = file1_->selectedItems();
  if (!items.isEmpty()) return items.front()->text();
  return QFileInfo(selectedFile_).fileName();
}

QString Extraction::selectedPathInDirectory() const {
  return QDir(directory_).filePath(currentFileName());
}

void Extraction::setMode(ExtractionMode mode) {
  mode_ = mode;
  updateButtons();
}

void Extraction::updateButtons() {
  command3_->setEnabled(mode_ == ExtractionMode::Export && !exportRunning());
  command1_->setEnabled(mode_ == ExtractionMode::Reset);
}

void Extraction::startExport() {
  if (exportRunning()) return;
  if (selectedFile_.isEmpty()) {
    prompter_.tell(PromptIcon::Error, "Datei Auswahlen");
    return;
  }
  selectedFile_ = selectedPathInDirectory();

  ExportRequest request;
  request.loggerFile = PathOf(selectedFile_);
  request.outputFolder = PathOf(outputFolder_.isEmpty() ? QDir::currentPath() : outputFolder_);
  request.decimalSeparator = UserDecimalSeparator();
  auto job = std::make_unique<LoggerExport>(request);
  if (!job->error().empty()) {
    prompter_.beep();
    prompter_.tell(PromptIcon::Error, job->error());
    return;
  }
  // The questions are asked here, on the window's thread, before the worker
  // starts; the worker only looks the answers up.
  std::map<int, ExistingOutput> answers;
  for (const PlannedOutput& out : job->plan().outputs) {
    if (!out.existsWithContent) continue;
    const bool replace = prompter_.ask(PromptIcon::Error, ReplaceQuestionText(out.fileName));
    answers[out.channel] = replace ? ExistingOutput::Replace : ExistingOutput::Append;
  }

  label2_->clear();
  progress_->setRange(0, job->expectedRecords() > 0 ? kProgressSteps : 0);
  progress_->setValue(0);
  job_ = std::move(job);
  LoggerExport* running = job_.get();
  worker_ = std::jthread([this, running, answers](std::stop_token stop) {
    auto question = [&answers](const PlannedOutput& out) {
      const auto it = answers.find(out.channel);
      return it != answers.end() ? it->second : ExistingOutput::Append;
    };
    auto progress = [this](const ExportProgress& p) {
      QMetaObject::invokeMethod(this, [this, p] { showProgress(p); }, Qt::QueuedConnection);
    };
    const ExportResult result = running->run(question, progress, stop);
    QMetaObject::invokeMethod(this, [this, result] { exportDone(result); }, Qt::QueuedConnection);
  });
  updateButtons();
}

void Extraction::showProgress(const ExportProgress& progress) {
  if (!progress.text.empty()) label2_->setText(QString::fromStdString(progress.text));
  if (progress.recordsExpected > 0) {
    const auto done = std::min(progress.recordsRead, progress.recordsExpected);
    progress_->setValue(static_cast<int>(done * kProgressSteps / progress.recordsExpected));
  }
}

void Extraction::exportDone(const ExportResult& result) {
  if (worker_.joinable()) worker_.join();
  job_.reset();
  updateButtons();
  if (!result.lastProgressText.empty())
    label2_->setText(QString::fromStdString(result.lastProgressText));
  progress_->setRange(0, kProgressSteps);
  progress_->setValue(result.status == ExportStatus::Done ? kProgressSteps : 0);
  prompter_.beep();
  if (result.status == ExportStatus::Done)
    prompter_.tell(PromptIcon::Information, FinishedMessage(result));
  else
    prompter_.tell(PromptIcon::Error, result.message);
  emit exportFinished();
}

void Extraction::resetOrCreate() {
  if (exportRunning()) {
    prompter_.tell(PromptIcon::Error,
                   "Während des Auslesens kann keine Datei zurückgesetzt werden.");
    return;
  }
  if (file1_->count() > 0) {
    if (selectedFile_.isEmpty()) {
      prompter_.tell(PromptIcon::Error, "Datei Auswahlen");
      return;
    }
    if (!prompter_.ask(PromptIcon::Warning, "Rücksetzung bestätigen")) return;
    selectedFile_ = selectedPathInDirectory();
    if (const auto error = ResetLoggerFile(PathOf(selectedFile_))) {
      prompter_.beep();
      prompter_.tell(PromptIcon::Error, *error);
    }
    return;
  }
  if (!prompter_.ask(PromptIcon::Question, "Datei anlegen ? ")) return;
  prompter_.beep();
  selectedFile_ = QDir(directory_).filePath(QString::fromUtf8(kNewLoggerFileName.data(),
                                                              kNewLoggerFileName.size()));
  if (const auto error = CreateLoggerFile(PathOf(directory_))) {
    prompter_.beep();
    prompter_.tell(PromptIcon::Error, *error);
  }
  fillFileList();
}

void Extraction::closeEvent(QCloseEvent* event) {
  // Closed through its frame rather than "Beenden": the next showing starts
  // afresh on the current working directory, keeping only selectedFile.
  reloadOnShow_ = true;
  QWidget::closeEvent(event);
}

void Extraction::showEvent(QShowEvent* event) {
  if (reloadOnShow_ && !exportRunning()) {
    reloadOnShow_ = false;
    const QString keep = selectedFile_;
    loadLists();
    selectedFile_ = keep;
    label2_->clear();
    progress_->setRange(0, kProgressSteps);
    progress_->setValue(0);
  }
  QWidget::showEvent(event);
}

} // namespace trelvan
