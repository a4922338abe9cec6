#pragma once
// Where every reading goes besides its label: the limits, which set its
// alarm; the record, one transaction per pass; the broker, at once. The
// measurement window and `trelvan-cli poll` both drive it, the same way:
//
//   per reading, as the poll cycle hands it over and before it is shown or
//   printed:            events = outlets.Take(reading);   (sets reading.alarm)
//   after the pass:     for (auto& m : outlets.EndPass()) tell(m);
//
// Each outlet may be absent (no limits, recording off, no broker). None of
// them touches the line or waits for a disk or a network inside a pass: the
// publisher queues, the recorder commits once after the pass.

#include <string>
#include <vector>

#include "core/limits.h"
#include "core/reading.h"
#include "record/pass_recording.h"

namespace trelvan {

class MqttPublisher;
class Recorder;

class ReadingOutlets {
 public:
  ReadingOutlets() = default;
  ReadingOutlets(LimitWatch* limits, Recorder* recorder, MqttPublisher* publisher);

  void setLimits(LimitWatch* limits) { recording_.setLimits(limits); }
  void setRecorder(Recorder* recorder) { recording_.setRecorder(recorder); }
  void setPublisher(MqttPublisher* publisher) { publisher_ = publisher; }
  MqttPublisher* publisher() const { return publisher_; }

  // Sets reading.alarm from the limits, keeps the reading for the pass's
  // record and publishes it with the alarm events it raised or cleared,
  // which it returns (for the alarm list).
  std::vector<AlarmEvent> Take(Reading& reading);

  // After each pass: the pass's commit. Returns what the operator is to be
  // told, once each, in German: recording paused or resumed, the broker's
  // notices (connected, lost, messages dropped).
  std::vector<std::string> EndPass();

 private:
  PassRecording recording_{nullptr, nullptr};
  MqttPublisher* publisher_ = nullptr;
};

} // namespace trelvan
