#pragma once
// Finding the instruments on a line: which station addresses answer, on
// which register block, under which line settings, and what their registers
// read as. Windowless; the setup window and `trelvan-cli scan` drive it.
//
// A scan asks every station of a range for its Master block, then every one
// for its Ext. block, through the master's requests, so it keeps the master's
// hold rule: a station that timed out is not asked again until its late reply
// can no longer be taken for the next one, and its second block comes only in
// the second round. Each wait sleeps in the event loop; Cancel() ends a scan
// at once.
//
// A settings search asks one station under every speed, parity and stop-bit
// choice of the serial line dialog (3 x 3 x 2) and reports those that answer.

#include <QObject>

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "comm/bytes.h"
#include "comm/frame_codec.h"
#include "comm/settings_text.h"
#include "core/reading.h"

namespace trelvan {

class MeasurementRequests;
class SerialPort;

// A reply read as one measurement type.
struct TypeReading {
  int typeIndex = 0;
  std::string type; // the list label, without trailing blanks
  std::string text; // the value label's text, its lines joined by " | "
  bool operator==(const TypeReading&) const = default;
};

// One station and block that answered.
struct ScanAnswer {
  int station = 0;
  Block block = Block::Master;
  LineSettings settings;
  int replyMs = 0;                         // from the request to the whole reply
  int exceptionCode = 0;                   // it refused the block: no registers
  std::array<std::uint16_t, 8> registers{};
  std::vector<TypeReading> readings;       // each type whose range code fits
};

// The reply's registers read as every measurement type that can be what
// sent them: each type whose range code (and unit code, where the type reads
// one) has a row in its live rule, then each type without a range code, which
// no register rules out.
std::vector<TypeReading> ReadAsEachType(ByteView reply, const std::string& decimalSeparator);

struct ScanRange {
  int firstStation = 1;
  int lastStation = 14;
  bool master = true;
  bool ext = true;
  int replyMs = 300;
};

class AddressScan : public QObject {
  Q_OBJECT

 public:
  // The line must be open; a settings search changes its settings and sets
  // them back.
  explicit AddressScan(SerialPort& port, QObject* parent = nullptr);

  void SetDecimalSeparator(std::string separator) { decimalSeparator_ = std::move(separator); }

  // Asks each station of the range; the answers come one by one through
  // answered() and all together from answers(). False when cancelled or when
  // the line was lost (lineLost() tells which).
  bool Scan(const ScanRange& range);
  // Asks each of these blocks once, in this order, as one poll pass does
  // (the connection test asks the blocks of the enabled channels).
  bool AskEach(const std::vector<std::pair<int, Block>>& blocks, int replyMs);
  // Asks `station` for its Master block under each setting in turn.
  bool SearchSettings(int station, int replyMs = 300);
  // Ends the scan under way at its next step; the wait under way ends at once.
  void Cancel();

  const std::vector<ScanAnswer>& answers() const { return answers_; }
  bool cancelled() const { return cancelled_; }
  // Why the scan stopped short when the line went away, "" otherwise.
  const QString& lineLost() const { return lineLost_; }

  // The settings a settings search tries, in the dialog's order.
  static std::vector<LineSettings> DialogSettings();

 signals:
  // `done` of `total` requests; `what` says which, in German.
  void progress(int done, int total, const QString& what);
  void answered(const trelvan::ScanAnswer& answer);
  // A block that gave no answer, and why (German).
  void unanswered(int station, trelvan::Block block, const QString& reason);
  // A setting of the settings search that the device refuses: not tried.
  void settingRefused(const QString& reason);

 private:
  void Start();
  bool Run(const std::vector<std::pair<int, Block>>& order, int replyMs, bool passPerBlock);
  void Ask(MeasurementRequests& requests, int station, Block block);
  bool Stopped() const;

  SerialPort& port_;
  std::string decimalSeparator_ = ".";
  std::vector<ScanAnswer> answers_;
  bool cancelled_ = false;
  bool running_ = false;
  int done_ = 0;
  int total_ = 0;
  QString lineLost_;
};

} // namespace trelvan
