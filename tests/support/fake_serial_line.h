#pragma once
// A serial line for tests whose other end is a script: each write is answered
// by the next scripted answer (chunks of bytes that arrive after a delay from
// the write) or by a responder function; without either the line stays silent.
// It can also keep its output from draining, fail its open and lose the line.
// Deliveries run on the event loop, so the reply wait sees them as it would
// see a real port's.

#include <deque>
#include <functional>
#include <optional>
#include <vector>

#include "comm/serial_port.h"

namespace trelvan {

class FakeSerialLine : public SerialPort {
  Q_OBJECT

 public:
  struct Chunk {
    int delayMs = 0; // counted from the write
    Bytes bytes;
  };
  using Answer = std::vector<Chunk>;
  using Responder = std::function<Answer(const Bytes& request)>;

  explicit FakeSerialLine(QObject* parent = nullptr) : SerialPort(parent) {}

  // Scripts the answer to the next write that has no answer yet.
  void AnswerNextWrite(Bytes reply, int delayMs = 0) { answers_.push_back(Answer{Chunk{delayMs, std::move(reply)}}); }
  void AnswerNextWrite(Answer chunks) { answers_.push_back(std::move(chunks)); }
  void StaySilentOnNextWrite() { answers_.push_back(std::nullopt); }
  // Answers every write that has no scripted answer (replaces the silence).
  void SetResponder(Responder responder) { responder_ = std::move(responder); }

  // Whether written bytes leave the output buffer (a moment after the write).
  void SetOutputDrains(bool drains) { drains_ = drains; }
  // The next Open fails with this reason.
  void FailNextOpen(const QString& reason) { openFailure_ = reason; }
  // Bytes arrive now, unasked.
  void Receive(const Bytes& bytes);
  // The device goes away: the port closes and reports it.
  void LoseLine(const QString& reason);

  // What the line saw.
  const std::vector<Bytes>& written() const { return written_; }
  int flushCount() const { return flushCount_; }
  int selectedPort() const { return selectedPort_; }
  int openCount() const { return openCount_; }

  void SelectPort(int portNumber) override { selectedPort_ = portNumber; }
  bool Open(QString* error) override;
  void Close() override;
  bool IsOpen() const override { return open_; }
  void FlushInput() override;
  qint64 PendingInput() const override { return static_cast<qint64>(input_.size()); }
  qint64 PendingOutput() const override { return pendingOutput_; }
  void Write(const Bytes& bytes) override;
  void DiscardOutput() override { pendingOutput_ = 0; }
  Bytes ReadAll() override;
  Bytes PeekInput(qint64 maxBytes) const override;
  void DiscardInput(qint64 bytes) override;
  QString DeviceName() const override { return QStringLiteral("fake:Com%1").arg(selectedPort_); }

 protected:
  bool ApplyLineSettings(const LineSettings&, QString*) override { return true; }

 private:
  bool open_ = false;
  int selectedPort_ = 0;
  std::optional<QString> openFailure_;
  int openCount_ = 0;
  Bytes input_;
  qint64 pendingOutput_ = 0;
  bool drains_ = true;
  std::deque<std::optional<Answer>> answers_;
  Responder responder_;
  std::vector<Bytes> written_;
  int flushCount_ = 0;
  // Deliveries scheduled before a close are dropped.
  unsigned generation_ = 0;
};

} // namespace trelvan
