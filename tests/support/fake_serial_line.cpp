#include "support/fake_serial_line.h"

#include <QTimer>
#include <algorithm>

namespace trelvan {

FakeSerialLine::FakeSerialLine(QObject* parent) : SerialPort(parent) {}

FakeSerialLine::~FakeSerialLine() = default;

void FakeSerialLine::AnswerNextWrite(Bytes reply, int delayMs) {
  answers_.push_back(Answer{Chunk{delayMs, std::move(reply)}});
}

void FakeSerialLine::AnswerNextWrite(Answer chunks) { answers_.push_back(std::move(chunks)); }

void FakeSerialLine::StaySilentOnNextWrite() { answers_.push_back(std::nullopt); }

void FakeSerialLine::SetResponder(Responder responder) { responder_ = std::move(responder); }

FakeSerialLine::Answer FakeSerialLine::OneByteAtATime(const Bytes& reply, int firstDelayMs, int gapMs) {
  Answer chunks;
  int delay = firstDelayMs;
  for (std::uint8_t b : reply) {
    chunks.push_back(Chunk{delay, Bytes{b}});
    delay += gapMs;
  }
  return chunks;
}

void FakeSerialLine::SetOutputDrains(bool drains, int drainDelayMs) {
  drains_ = drains;
  drainDelayMs_ = drainDelayMs;
}

void FakeSerialLine::FailNextOpen(const QString& reason) { openFailure_ = reason; }

void FakeSerialLine::Receive(const Bytes& bytes) {
  if (!open_) return;
  input_.insert(input_.end(), bytes.begin(), bytes.end());
  emit readyRead();
}

void FakeSerialLine::LoseLine(const QString& reason) {
  Close();
  emit lineLost(reason);
}

void FakeSerialLine::SelectPort(int portNumber) { selectedPort_ = portNumber; }

bool FakeSerialLine::Open(QString* error) {
  if (openFailure_) {
    if (error) *error = QStringLiteral("Die Schnittstelle %1 kann nicht geöffnet werden: %2").arg(DeviceName(), *openFailure_);
    openFailure_.reset();
    return false;
  }
  if (open_) {
    if (error) *error = QStringLiteral("Die Schnittstelle %1 ist bereits geöffnet").arg(DeviceName());
    return false;
  }
  open_ = true;
  ++openCount_;
  return true;
}

void FakeSerialLine::Close() {
  open_ = false;
  input_.clear();
  pendingOutput_ = 0;
  ++generation_;
}

void FakeSerialLine::FlushInput() {
  ++flushCount_;
  operations_.push_back("flush");
  input_.clear();
}

void FakeSerialLine::Write(const Bytes& bytes) {
  if (!open_) return;
  written_.push_back(bytes);
  operations_.push_back("write");
  pendingOutput_ += static_cast<qint64>(bytes.size());
  const unsigned generation = generation_;
  if (drains_) {
    QTimer::singleShot(drainDelayMs_, Qt::PreciseTimer, this, [this, generation] {
      if (generation != generation_ || pendingOutput_ == 0) return;
      pendingOutput_ = 0;
      emit bytesWritten();
    });
  }
  std::optional<Answer> answer;
  if (!answers_.empty()) {
    answer = std::move(answers_.front());
    answers_.pop_front();
  } else if (responder_) {
    answer = responder_(bytes);
  }
  if (answer) Deliver(*answer);
}

void FakeSerialLine::Deliver(const Answer& answer) {
  const unsigned generation = generation_;
  for (const Chunk& chunk : answer) {
    QTimer::singleShot(std::max(chunk.delayMs, 0), Qt::PreciseTimer, this, [this, generation, bytes = chunk.bytes] {
      if (generation == generation_) Receive(bytes);
    });
  }
}

Bytes FakeSerialLine::ReadAll() {
  Bytes all;
  all.swap(input_);
  return all;
}

Bytes FakeSerialLine::PeekInput(qint64 maxBytes) const {
  const auto n = std::min<std::size_t>(input_.size(), static_cast<std::size_t>(std::max<qint64>(maxBytes, 0)));
  return Bytes(input_.begin(), input_.begin() + static_cast<std::ptrdiff_t>(n));
}

void FakeSerialLine::DiscardInput(qint64 bytes) {
  input_.erase(input_.begin(), input_.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(
                                                   input_.size(), static_cast<std::size_t>(std::max<qint64>(bytes, 0)))));
}

QString FakeSerialLine::DeviceName() const { return QStringLiteral("fake:Com%1").arg(selectedPort_); }

} // namespace trelvan
