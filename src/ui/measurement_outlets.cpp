#include "measurement_outlets.h"

#include <QSettings>
#include <QString>

#include "core/working_folder.h"
#include "live/limit_settings.h"
#include "publish/mqtt_publisher.h"
#include "publish/mqtt_settings.h"
#include "record/recorder.h"

namespace trelvan {

namespace {

// [Record] Enabled: recording is on unless the operator switched it off.
constexpr char kRecordingKey[] = "Record/Enabled";

QString SettingsPath(const std::filesystem::path& folder) {
  return QString::fromStdString((folder / kSettingsFileName).string());
}

} // namespace

MeasurementOutlets::MeasurementOutlets(std::filesystem::path folder, std::string decimalSeparator,
                                       QObject* parent)
    : QObject(parent), folder_(std::move(folder)), limits_({}, std::move(decimalSeparator)) {
  outlets_.setLimits(&limits_);
  const QSettings settings(SettingsPath(folder_), QSettings::IniFormat);
  if (settings.value(kRecordingKey, true).toBool()) OpenRecorder();
}

void MeasurementOutlets::OpenRecorder() {
  RecorderOptions options;
  options.file = recordFile();
  recorder_ = std::make_unique<Recorder>(std::move(options));
  outlets_.setRecorder(recorder_.get());
}

MeasurementOutlets::~MeasurementOutlets() { StopPublisher(); }

std::vector<std::string> MeasurementOutlets::LoadLimits() {
  LimitSettings loaded = LoadLimitSettings(folder_);
  limits_.SetLimits(loaded.limits);
  return std::move(loaded.problems);
}

std::optional<std::string> MeasurementOutlets::SetRecording(bool on) {
  if (on && !recorder_) {
    OpenRecorder();
  } else if (!on && recorder_) {
    // The readings of a pass under way are dropped with it.
    outlets_.setRecorder(nullptr);
    recorder_.reset();
  }
  QSettings settings(SettingsPath(folder_), QSettings::IniFormat);
  settings.setValue(kRecordingKey, on);
  settings.sync();
  if (settings.status() == QSettings::NoError) return std::nullopt;
  return "\"" + std::string(kSettingsFileName) + "\" kann nicht gespeichert werden: die Aufzeichnung ist " +
         (on ? "eingeschaltet" : "ausgeschaltet") + ", beim nächsten Start aber wie zuvor.";
}

std::vector<std::string> MeasurementOutlets::StartPublisher() {
  const std::uint64_t generation = ++generation_;
  const MqttSettingsResult loaded = LoadMqttSettings(folder_);
  std::vector<std::string> problems = loaded.problems;
  nextConfig_.reset();
  if (loaded.options.enabled) {
    MqttConfigResult resolved = ResolveMqttConfig(loaded.options);
    if (resolved.config) nextConfig_ = std::move(*resolved.config);
    problems.insert(problems.end(), resolved.problems.begin(), resolved.problems.end());
  }
  std::unique_ptr<MqttPublisher> old = std::move(publisher_);
  outlets_.setPublisher(nullptr);
  if (!old && !stopping_.joinable()) {
    StartPublisherNow(generation);
    return problems;
  }
  // The old publisher says "offline" and disconnects beside the window's
  // thread; then, back on it, the new one starts.
  std::thread previous = std::move(stopping_);
  stopping_ = std::thread([this, generation, previous = std::move(previous), old = std::move(old)]() mutable {
    if (previous.joinable()) previous.join();
    if (old) old->Stop();
    old.reset();
    QMetaObject::invokeMethod(this, [this, generation] { StartPublisherNow(generation); }, Qt::QueuedConnection);
  });
  return problems;
}

void MeasurementOutlets::StartPublisherNow(std::uint64_t generation) {
  if (generation != generation_) return; // a later start (or the end) came meanwhile
  if (nextConfig_) {
    publisher_ = std::make_unique<MqttPublisher>(std::move(*nextConfig_));
    nextConfig_.reset();
    outlets_.setPublisher(publisher_.get());
  }
  emit publisherStarted();
}

void MeasurementOutlets::StopPublisher() {
  ++generation_;
  nextConfig_.reset();
  outlets_.setPublisher(nullptr);
  if (stopping_.joinable()) stopping_.join();
  if (publisher_) publisher_->Stop();
  publisher_.reset();
}

} // namespace trelvan
