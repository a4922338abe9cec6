#pragma once
// The seam between the poll cycle and the record: what the measurement window
// and `trelvan-cli poll` call for each reading and after each pass.
//
//   per reading, as soon as the poll cycle has built it and before anyone
//   shows or prints it:      events = recording.Take(reading);
//                            (sets reading.alarm; events go to the alarm list)
//   after the pass:          change = recording.EndPass();
//                            (one commit; a change is told to the operator once)
//
// Either part may be absent: without limits no reading carries an alarm,
// without a recorder nothing is stored (recording switched off).

#include <vector>

#include "core/limits.h"
#include "core/reading.h"
#include "record/recorder.h"

namespace trelvan {

class PassRecording {
 public:
  PassRecording(LimitWatch* limits, Recorder* recorder) : limits_(limits), recorder_(recorder) {}

  void setRecorder(Recorder* recorder) { recorder_ = recorder; }
  void setLimits(LimitWatch* limits) { limits_ = limits; }

  std::vector<AlarmEvent> Take(Reading& reading);
  RecordChange EndPass();

 private:
  LimitWatch* limits_;
  Recorder* recorder_;
  std::vector<Reading> readings_;
  std::vector<AlarmEvent> events_;
};

} // namespace trelvan
