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

  explicit FakeSerialLine(QObject* parent = nullptr);
  ~FakeSerialLine() override;

  // Scripts the answer to the next write that has no answer yet.
  void AnswerNextWrite(Bytes reply, int delayMs = 0);
  void AnswerNextWrite(Answer chunks);
  void StaySilentOnNextWrite();
  // Answers every write that has no scripted answer (replaces the silence).
  void SetResponder(Responder responder);
  // The bytes of `reply` one at a time, the first after `firstDelayMs`, then one every `gapMs`.
  static Answer OneByteAtATime(const Bytes& reply, int firstDelayMs, int gapMs);

  // Whether written bytes leave the output buffer, and how long that takes.
  void SetOutputDrains(bool drains, int drainDelayMs = 0);
  // The next Open fails with this reason.
  void FailNextOpen(const QString& reason);
  // Bytes arrive now, unasked.
  void Receive(const Bytes& bytes);
  // The device goes away: the port closes and reports it.
  void LoseLine(const QString& reason);

  // What the line saw.
  const std::vector<Bytes>& written() const { return written_; }
  int flushCount() const { return flushCount_; }
  int selectedPort() const { return selectedPort_; }
  int openCount() const { return openCount_; }
  // Flushes and writes in the order they happened: "flush", "write".
  const std::vector<const char*>& operations() const { return operations_; }

  void SelectPort(int portNumber) override;
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
  QString DeviceName() const override;

 protected:
  bool ApplyLineSettings(const LineSettings&, QString*) override { return true; }

 private:
  void Deliver(const Answer& answer);

  bool open_ = false;
  int selectedPort_ = 0;
  std::optional<QString> openFailure_;
  int openCount_ = 0;
  Bytes input_;
  qint64 pendingOutput_ = 0;
  bool drains_ = true;
  int drainDelayMs_ = 0;
  std::deque<std::optional<Answer>> answers_;
  Responder responder_;
  std::vector<Bytes> written_;
  int flushCount_ = 0;
  std::vector<const char*> operations_;
  // Deliveries scheduled before a close are dropped.
  unsigned generation_ = 0;
};

} // namespace trelvan
