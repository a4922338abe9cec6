#include "reading_outlets.h"

#include "publish/mqtt_publisher.h"

namespace trelvan {

ReadingOutlets::ReadingOutlets(LimitWatch* limits, Recorder* recorder, MqttPublisher* publisher)
    : recording_(limits, recorder), publisher_(publisher) {}

std::vector<AlarmEvent> ReadingOutlets::Take(Reading& reading) {
  std::vector<AlarmEvent> events = recording_.Take(reading);
  if (publisher_) {
    publisher_->Publish(reading);
    for (const AlarmEvent& event : events) publisher_->Publish(event);
  }
  return events;
}

std::vector<std::string> ReadingOutlets::EndPass() {
  std::vector<std::string> messages;
  RecordChange change = recording_.EndPass();
  if (change.kind != RecordChange::Kind::None) messages.push_back(std::move(change.message));
  if (publisher_) {
    for (std::string& notice : publisher_->TakeNotices()) messages.push_back(std::move(notice));
  }
  return messages;
}

} // namespace trelvan
