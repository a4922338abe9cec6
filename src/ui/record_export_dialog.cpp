#include "record_export_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDateTimeEdit>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "core/prompter.h"
#include "core/time_text.h"

namespace trelvan {

RecordExportDialog::RecordExportDialog(std::filesystem::path record, std::string decimalSeparator,
                                       Prompter& prompter, QWidget* parent)
    : QWidget(parent), record_(std::move(record)), separator_(std::move(decimalSeparator)), prompter_(prompter) {
  setObjectName("RecordExportDialog");
  setWindowTitle("Messwerte exportieren");
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  from_ = new QDateTimeEdit(this);
  from_->setObjectName("ExportFrom");
  to_ = new QDateTimeEdit(this);
  to_->setObjectName("ExportTo");
  for (QDateTimeEdit* edit : {from_, to_}) {
    edit->setDisplayFormat("dd.MM.yyyy HH:mm:ss");
    edit->setCalendarPopup(true);
  }
  form->addRow("&Von", from_);
  form->addRow("&Bis", to_);
  auto* channelRow = new QHBoxLayout;
  for (int channel = 0; channel < 4; ++channel) {
    auto* box = new QCheckBox(QStringLiteral("Kanal &%1").arg(channel), this);
    box->setObjectName(QStringLiteral("ExportChannel_%1").arg(channel));
    box->setChecked(true);
    channels_[static_cast<std::size_t>(channel)] = box;
    channelRow->addWidget(box);
  }
  form->addRow("Kanäle", channelRow);
  format_ = new QComboBox(this);
  format_->setObjectName("ExportFormat");
  format_->addItem("CSV für Tabellenkalkulation (;)", static_cast<int>(RecordFormat::Csv));
  format_->addItem("TSV (Tabulator)", static_cast<int>(RecordFormat::Tsv));
  format_->addItem("JSON Lines", static_cast<int>(RecordFormat::JsonLines));
  form->addRow("&Format", format_);
  auto* fileRow = new QHBoxLayout;
  file_ = new QLineEdit(this);
  file_->setObjectName("ExportFile");
  auto* browse = new QPushButton("D&urchsuchen…", this);
  fileRow->addWidget(file_, 1);
  fileRow->addWidget(browse);
  auto* fileLabel = new QLabel("&Datei", this);
  fileLabel->setBuddy(file_);
  form->addRow(fileLabel, fileRow);
  layout->addLayout(form);
  progress_ = new QLabel(this);
  progress_->setObjectName("ExportProgress");
  layout->addWidget(progress_);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  export_ = new QPushButton("&Exportieren", this);
  export_->setObjectName("ExportStart");
  export_->setDefault(true);
  auto* cancel = new QPushButton("Abb&rechen", this);
  cancel->setObjectName("ExportCancel");
  buttons->addWidget(export_);
  buttons->addWidget(cancel);
  layout->addLayout(buttons);
  connect(browse, &QPushButton::clicked, this, &RecordExportDialog::Browse);
  connect(export_, &QPushButton::clicked, this, &RecordExportDialog::StartExport);
  connect(cancel, &QPushButton::clicked, this, &RecordExportDialog::Cancel);
  setMinimumWidth(560);
  poll_ = new QTimer(this);
  poll_->setInterval(100);
  connect(poll_, &QTimer::timeout, this, &RecordExportDialog::Poll);
}

RecordExportDialog::~RecordExportDialog() {
  if (worker_) {
    job_->cancel = true;
    worker_->join();
  }
}

void RecordExportDialog::Start() {
  if (!running()) {
    const std::int64_t now = NowMs();
    SetRange(now - 86400000, now);
    if (file_->text().isEmpty())
      file_->setText(QString::fromStdString((record_.parent_path() / "Messwerte.csv").string()));
  }
  show();
  raise();
  activateWindow();
}

void RecordExportDialog::SetRange(std::int64_t fromMs, std::int64_t toMs) {
  from_->setDateTime(QDateTime::fromMSecsSinceEpoch(fromMs));
  to_->setDateTime(QDateTime::fromMSecsSinceEpoch(toMs));
}

void RecordExportDialog::SetChannels(const std::array<bool, 4>& channels) {
  for (std::size_t k = 0; k < 4; ++k) channels_[k]->setChecked(channels[k]);
}

void RecordExportDialog::SetFormat(RecordFormat format) { format_->setCurrentIndex(format_->findData(static_cast<int>(format))); }

void RecordExportDialog::SetFile(const std::filesystem::path& file) { file_->setText(QString::fromStdString(file.string())); }

void RecordExportDialog::Browse() {
  const QString file = QFileDialog::getSaveFileName(this, "Messwerte exportieren", file_->text(),
                                                    "CSV (*.csv);;TSV (*.tsv *.txt);;JSON Lines (*.jsonl);;Alle Dateien (*)");
  if (!file.isEmpty()) file_->setText(file);
}

bool RecordExportDialog::StartExport() {
  if (running()) return false;
  RecordRange range;
  range.fromMs = from_->dateTime().toMSecsSinceEpoch();
  range.toMs = to_->dateTime().toMSecsSinceEpoch();
  for (int channel = 0; channel < 4; ++channel)
    if (channels_[static_cast<std::size_t>(channel)]->isChecked()) range.channels.push_back(channel);
  const std::filesystem::path file = file_->text().trimmed().toStdString();
  std::string problem;
  if (*range.toMs <= *range.fromMs) problem = "Das Ende des Zeitraums muss nach seinem Anfang liegen.";
  else if (range.channels.empty()) problem = "Bitte mindestens einen Kanal wählen.";
  else if (file.empty()) problem = "Bitte eine Datei angeben.";
  if (!problem.empty()) {
    prompter_.tell(PromptIcon::Error, problem);
    return false;
  }
  std::error_code ec;
  if (std::filesystem::exists(file, ec) &&
      !prompter_.ask(PromptIcon::Question, "\"" + file.filename().string() + "\" ist schon vorhanden. Ersetzen?", {},
                     PromptDefault::No))
    return false;
  auto reader = std::make_shared<RecordReader>();
  if (const auto openProblem = reader->Open(record_)) {
    prompter_.tell(PromptIcon::Error, *openProblem);
    return false;
  }
  job_ = std::make_shared<Job>();
  job_->file = file;
  const auto format = static_cast<RecordFormat>(format_->currentData().toInt());
  worker_ = std::make_unique<std::thread>([job = job_, reader, range, format, separator = separator_] {
    job->result = ExportRecordToFile(*reader, range, format, separator, job->file, [&job](std::int64_t n) {
      job->written = n;
      return !job->cancel.load();
    });
    job->done = true;
  });
  export_->setEnabled(false);
  progress_->setText("Export läuft …");
  poll_->start();
  return true;
}

void RecordExportDialog::Poll() {
  if (!job_) return;
  if (!job_->done) {
    progress_->setText(QStringLiteral("%1 Messwerte geschrieben …").arg(job_->written.load()));
    return;
  }
  poll_->stop();
  worker_->join();
  worker_.reset();
  export_->setEnabled(true);
  const RecordExportResult result = job_->result;
  const std::string name = job_->file.filename().string();
  job_.reset();
  if (result.ok) {
    progress_->setText(QStringLiteral("%1 Messwerte nach \"%2\" exportiert")
                           .arg(result.readings)
                           .arg(QString::fromStdString(name)));
    prompter_.tell(PromptIcon::Information,
                   std::to_string(result.readings) + " Messwerte nach \"" + name + "\" exportiert.");
  } else {
    progress_->setText(QString::fromStdString(result.error));
    prompter_.tell(PromptIcon::Error, result.error);
  }
  emit finished(result.ok);
}

void RecordExportDialog::Cancel() {
  if (job_) {
    job_->cancel = true;
    return;
  }
  hide();
}

} // namespace trelvan
