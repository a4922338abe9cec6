#include "support/fake_serial_line.h"

#include <QTimer>
#include <algorithm>
#include <utility>

namespace trelvan {

namespace {
// A count of bytes the caller asks for, within what there is.
std::ptrdiff_t Within(const Bytes& input, qint64 bytes) {
  return static_cast<std::ptrdiff_t>(std::clamp<qint64>(bytes, 0, static_cast<qint64>(input.size())));
}
} // namespace

void FakeSerialLine::Receive(const Bytes& bytes) {
  if (!open_) return;
  input_.insert(input_.end(), bytes.begin(), bytes.end());
  emit readyRead();
}

void FakeSerialLine::LoseLine(const QString& reason) {
  Close();
  emit lineLost(reason);
}

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
  input_.clear();
}

void FakeSerialLine::Write(const Bytes& bytes) {
  if (!open_) return;
  written_.push_back(bytes);
  pendingOutput_ += static_cast<qint64>(bytes.size());
  const unsigned generation = generation_;
  if (drains_) {
    QTimer::singleShot(0, Qt::PreciseTimer, this, [this, generation] {
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
  for (const Chunk& chunk : answer.value_or(Answer{})) {
    QTimer::singleShot(std::max(chunk.delayMs, 0), Qt::PreciseTimer, this, [this, generation, bytes = chunk.bytes] {
      if (generation == generation_) Receive(bytes);
    });
  }
}

Bytes FakeSerialLine::ReadAll() { return std::exchange(input_, {}); }

Bytes FakeSerialLine::PeekInput(qint64 n) const { return Bytes(input_.begin(), input_.begin() + Within(input_, n)); }

void FakeSerialLine::DiscardInput(qint64 n) { input_.erase(input_.begin(), input_.begin() + Within(input_, n)); }

} // namespace trelvan
