#include "extraction.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QLoggingCategory>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <map>

#include "core/geometry.h"
#include "core/prompter.h"
#include "logger/export_runner.h"
#include "logger/folder_list.h"
#include "logger/logger_reset.h"
#include "logger/logger_texts.h"

// The system's own words for a failure the operator reads in German; shown
// with QT_LOGGING_RULES="trelvan.logger.debug=true".
Q_LOGGING_CATEGORY(lcLoggerWindow, "trelvan.logger", QtInfoMsg)

namespace trelvan {

namespace {

constexpr int kWidthTwips = 9075;
constexpr int kHeightTwips = 4665;
constexpr int kProgressSteps = 1000;

QString Q(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }
std::string Utf8(const QString& text) { return text.toStdString(); }
std::filesystem::path PathOf(const QString& text) { return PathFromUtf8(Utf8(text)); }

} // namespace

Extraction::Extraction(std::string appTitle, std::string decimalSeparator, Prompter& prompter,
                       QWidget* parent)
    : QWidget(parent),
      appTitle_(std::move(appTitle)),
      decimalSeparator_(std::move(decimalSeparator)),
      prompter_(prompter),
      runner_(new ExportRunner(this)) {
  setObjectName("Extraction");
  buildControls();
  loadLists();
  updateButtons();
  connect(runner_, &ExportRunner::progressed, this, &Extraction::showProgress);
  connect(runner_, &ExportRunner::finished, this, &Extraction::exportDone);
}

// The runner, a child, stops and joins a running export as it ends.
Extraction::~Extraction() = default;

bool Extraction::exportRunning() const { return runner_->running(); }

void Extraction::buildControls() {
  setWindowTitle(QString::fromStdString(appTitle_) + Q(logger_text::kWindowCaption));
  setFixedSize(TwipsToPixels(kWidthTwips, logicalDpiX()),
               TwipsToPixels(kHeightTwips, logicalDpiY()));

  frame1_ = new QGroupBox(Q(logger_text::kFileFrame), this);
  frame1_->setObjectName("Frame1");
  drive1_ = new DriveList(frame1_);
  drive1_->setObjectName("Drive1");
  dir1_ = new FolderList(frame1_);
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
  command3_ = new QPushButton(Q(logger_text::kExportButton), frame2_);
  command3_->setObjectName("Command3");
  auto* frame2Layout = new QVBoxLayout(frame2_);
  frame2Layout->addWidget(command3_);

  command1_ = new QPushButton(Q(logger_text::kResetButton), this);
  command1_->setObjectName("Command1");
  command1_->setToolTip(Q(logger_text::kResetButtonTip));
  command2_ = new QPushButton(Q(logger_text::kCloseButton), this);
  command2_->setObjectName("Command2");

  // One width for the three buttons: the longest caption with room to
  // breathe on either side.
  int buttonWidth = 0;
  for (QPushButton* b : {command3_, command1_, command2_})
    buttonWidth = std::max(buttonWidth, b->sizeHint().width());
  buttonWidth += 4 * fontMetrics().averageCharWidth();
  for (QPushButton* b : {command3_, command1_, command2_}) b->setFixedWidth(buttonWidth);

  auto* buttons = new QVBoxLayout;
  buttons->addWidget(frame2_);
  buttons->addSpacing(8);
  buttons->addWidget(command1_, 0, Qt::AlignHCenter);
  buttons->addStretch(1);
  buttons->addWidget(command2_, 0, Qt::AlignHCenter);

  label2_ = new QLabel(this);
  label2_->setObjectName("Label2");
  label2_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  // Shown only while an export runs, with its percentage.
  progress_ = new QProgressBar(this);
  progress_->setObjectName("ProgressBar1");
  progress_->setRange(0, kProgressSteps);
  progress_->setFormat("%p %");
  QSizePolicy keepRoom = progress_->sizePolicy();
  keepRoom.setRetainSizeWhenHidden(true); // the lists do not jump when it shows
  progress_->setSizePolicy(keepRoom);
  progress_->hide();

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

  connect(drive1_, &DriveList::chosen, this, &Extraction::driveChosen);
  connect(dir1_, &QListWidget::itemActivated, this, &Extraction::directoryActivated);
  connect(file1_, &QListWidget::itemSelectionChanged, this, &Extraction::fileSelectionChanged);
  connect(command3_, &QPushButton::clicked, this, &Extraction::startExport);
  connect(command1_, &QPushButton::clicked, this, &Extraction::resetOrCreate);
  connect(command2_, &QPushButton::clicked, this, &QWidget::hide);
}

// The lists start on the process's current working directory.
void Extraction::loadLists() {
  drive1_->refill();
  setDirectory(QDir::currentPath());
}

void Extraction::setVolumeSource(VolumeSource source) {
  drive1_->setSource(std::move(source));
  drive1_->showVolumeOf(directory_);
}

void Extraction::driveChosen(const QString& root) {
  const QFileInfo folder(root);
  if (!folder.isDir() || !folder.isReadable() || !setDirectory(root)) {
    prompter_.tell(PromptIcon::Error, std::string(logger_text::kNoReader));
    drive1_->showVolumeOf(directory_);
  }
}

bool Extraction::setDirectory(const QString& path) {
  const QFileInfo info(path);
  if (!info.isDir() || !info.isReadable()) return false;
  const QString canonical = info.canonicalFilePath();
  if (canonical.isEmpty()) return false;
  directory_ = canonical;
  selectedFile_.clear();
  drive1_->showVolumeOf(directory_);
  dir1_->showFolder(directory_, drive1_->currentData().toString());
  fillFileList();
  return true;
}

void Extraction::directoryActivated(QListWidgetItem* item) {
  const QString path = FolderList::folderOf(item);
  if (path.isEmpty() || path == directory_) return;
  // Rebuilding the list inside its own activation signal would delete the
  // item being reported; do it right after.
  QMetaObject::invokeMethod(
      this,
      [this, path] {
        if (!setDirectory(path)) prompter_.tell(PromptIcon::Error, logger_text::FolderUnreadable(Utf8(path)));
      },
      Qt::QueuedConnection);
}

void Extraction::fillFileList() {
  fillingFiles_ = true;
  file1_->clear();
  // Matched without regard to case: media written elsewhere often say ".LOG".
  file1_->addItems(QDir(directory_).entryList({"*.log"}, QDir::Files, QDir::Name | QDir::IgnoreCase));
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

QString Extraction::selectedPathInDirectory() const {
  const auto items = file1_->selectedItems();
  const QString name = !items.isEmpty() ? items.front()->text() : QFileInfo(selectedFile_).fileName();
  return QDir(directory_).filePath(name);
}

void Extraction::setMode(ExtractionMode mode) {
  mode_ = mode;
  updateButtons();
}

void Extraction::updateButtons() {
  command3_->setEnabled(mode_ == ExtractionMode::Export && !exportRunning());
  command1_->setEnabled(mode_ == ExtractionMode::Reset);
}

void Extraction::tellFailure(const LoggerResult& failure) {
  if (!failure.systemText.empty())
    qCDebug(lcLoggerWindow).noquote() << Q(failure.text) << "|" << Q(failure.systemText);
  prompter_.beep();
  prompter_.tell(PromptIcon::Error, failure.text);
}

void Extraction::startExport() {
  if (exportRunning()) return;
  if (selectedFile_.isEmpty()) {
    prompter_.tell(PromptIcon::Error, std::string(logger_text::kSelectFile));
    return;
  }
  selectedFile_ = selectedPathInDirectory();

  ExportRequest request;
  request.loggerFile = PathOf(selectedFile_);
  request.outputFolder = PathOf(outputFolder_.isEmpty() ? QDir::currentPath() : outputFolder_);
  request.decimalSeparator = decimalSeparator_;
  auto job = std::make_unique<LoggerExport>(request);
  if (!job->planResult().ok()) {
    tellFailure(job->planResult());
    return;
  }
  // The questions are asked here, on the window's thread, before the worker
  // starts. "Nein" appends, so it is the safe default.
  std::map<int, ExistingOutput> answers;
  for (const PlannedOutput& out : job->plan().outputs) {
    if (!out.existsWithContent) continue;
    const bool replace = prompter_.ask(PromptIcon::Error, logger_text::ReplaceQuestion(out.fileName),
                                       {}, PromptDefault::No);
    answers[out.channel] = replace ? ExistingOutput::Replace : ExistingOutput::Append;
  }

  label2_->clear();
  progress_->setRange(0, job->expectedRecords() > 0 ? kProgressSteps : 0);
  progress_->setValue(0);
  progress_->show();
  runner_->start(std::move(job), std::move(answers));
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
  progress_->hide();
  updateButtons();
  if (!result.lastProgressText.empty())
    label2_->setText(QString::fromStdString(result.lastProgressText));
  if (result.ok()) {
    prompter_.beep();
    prompter_.tell(PromptIcon::Information, logger_text::Finished(result.trailingBytes));
  } else {
    tellFailure(result.outcome);
  }
  emit exportFinished();
}

void Extraction::resetOrCreate() {
  if (exportRunning()) {
    prompter_.tell(PromptIcon::Error, std::string(logger_text::kNoResetDuringExport));
    return;
  }
  if (file1_->count() > 0) {
    if (selectedFile_.isEmpty()) {
      prompter_.tell(PromptIcon::Error, std::string(logger_text::kSelectFile));
      return;
    }
    if (!prompter_.ask(PromptIcon::Warning, std::string(logger_text::kConfirmReset), {},
                       PromptDefault::No))
      return;
    selectedFile_ = selectedPathInDirectory();
    if (const LoggerResult reset = ResetLoggerFile(PathOf(selectedFile_)); !reset.ok())
      tellFailure(reset);
    return;
  }
  if (!prompter_.ask(PromptIcon::Question, std::string(logger_text::kCreateQuestion))) return;
  prompter_.beep();
  selectedFile_ = QDir(directory_).filePath(Q(kNewLoggerFileName));
  if (const LoggerResult created = CreateLoggerFile(PathOf(directory_)); !created.ok())
    tellFailure(created);
  fillFileList();
}

void Extraction::closeEvent(QCloseEvent* event) {
  // Closed through its frame rather than "Beenden": the next showing starts
  // afresh on the current working directory, keeping only selectedFile.
  reloadOnShow_ = true;
  placeOnShow_ = true;
  QWidget::closeEvent(event);
}

void Extraction::showEvent(QShowEvent* event) {
  if (reloadOnShow_ && !exportRunning()) {
    reloadOnShow_ = false;
    const QString keep = selectedFile_;
    loadLists();
    selectedFile_ = keep;
    label2_->clear();
  }
  if (placeOnShow_ && anchor_) {
    placeOnShow_ = false;
    // Centred on the main window rather than where the window manager puts
    // new windows (over the main window's title, at 0,0).
    const QRect over = anchor_->frameGeometry();
    QRect frame = frameGeometry();
    frame.moveCenter(over.center());
    move(frame.topLeft());
  }
  QWidget::showEvent(event);
}

} // namespace trelvan
