#include "pass_recording.h"

namespace trelvan {

std::vector<AlarmEvent> PassRecording::Take(Reading& reading) {
  std::vector<AlarmEvent> events;
  if (limits_) events = limits_->Evaluate(reading);
  else reading.alarm = AlarmState::None;
  if (recorder_) {
    readings_.push_back(reading);
    events_.insert(events_.end(), events.begin(), events.end());
  }
  return events;
}

RecordChange PassRecording::EndPass() {
  RecordChange change;
  if (recorder_ && !readings_.empty()) change = recorder_->RecordPass(readings_, events_);
  readings_.clear();
  events_.clear();
  return change;
}

} // namespace trelvan
