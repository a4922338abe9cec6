#pragma once
// What stands behind the measurement window's ReadingOutlets in the
// application, set up from the working folder's "trelvan.ini":
//
//   the limits      [Limits]; an entry that cannot be used is told once and
//                   its channel goes without limits;
//   the record      "Messwerte.sqlite" in the working folder, unless the
//                   operator switched recording off ([Record] Enabled=false);
//   the broker      [MQTT], when publishing is on.
//
// They live as long as the main window, across measurements: an alarm that
// stands when one measurement stops is cleared by the next one's reading, and
// the site stays "online" at the broker from the program's start to its end.
//
// Nothing here waits inside a pass. A publisher that is replaced (new
// settings) says "offline" and disconnects on a thread of its own, which may
// take seconds when its broker hangs; the new one starts after that, so the
// broker never keeps the old one's "offline" as the last word.

#include <QObject>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/limits.h"
#include "live/reading_outlets.h"
#include "publish/mqtt_options.h"

namespace trelvan {

class MqttPublisher;
class Recorder;

// The measurement record of the window, in the working folder.
inline constexpr char kRecordFileName[] = "Messwerte.sqlite";

class MeasurementOutlets : public QObject {
  Q_OBJECT

 public:
  // Reads the recording switch; limits and publisher come with LoadLimits()
  // and StartPublisher(), which say what is wrong.
  MeasurementOutlets(std::filesystem::path folder, std::string decimalSeparator, QObject* parent = nullptr);
  // Stops the publisher as StopPublisher() does.
  ~MeasurementOutlets() override;

  ReadingOutlets& outlets() { return outlets_; }

  // Reads [Limits]; returns the problems (German), one per channel left
  // without limits.
  std::vector<std::string> LoadLimits();
  // Limits saved by the operator: they apply from each channel's next reading.
  void SetLimits(const LimitTable& limits) { limits_.SetLimits(limits); }
  const LimitTable& limits() const { return limits_.limits(); }

  std::filesystem::path recordFile() const { return folder_ / kRecordFileName; }
  bool recording() const { return recorder_ != nullptr; }
  // Switches recording on or off, at once for the running measurement, and
  // stores the choice; the German reason when it cannot be stored (the
  // switch is made all the same).
  std::optional<std::string> SetRecording(bool on);

  // Starts publishing as [MQTT] says, in place of the publisher running now.
  // Returns the problems (German) of settings that cannot be used; nothing
  // is published then.
  std::vector<std::string> StartPublisher();
  // The normal end: the publisher says "offline" and disconnects. Waits for
  // that (about 4 s at most, when the broker hangs).
  void StopPublisher();
  MqttPublisher* publisher() const { return publisher_.get(); }

 signals:
  // A publisher replaced by StartPublisher() has stopped and its successor
  // (if any) runs.
  void publisherStarted();

 private:
  void OpenRecorder();
  void StartPublisherNow(std::uint64_t generation);

  std::filesystem::path folder_;
  LimitWatch limits_;
  std::unique_ptr<Recorder> recorder_;
  std::unique_ptr<MqttPublisher> publisher_;
  std::optional<MqttConfig> nextConfig_;      // to start once the old publisher has stopped
  std::uint64_t generation_ = 0;                // of the latest StartPublisher()
  std::thread stopping_;                        // stops replaced publishers, one after another
  ReadingOutlets outlets_;
};

} // namespace trelvan
