#include "address_scan.h"

#include <QStringList>

#include "comm/measurement_decoding.h"
#include "comm/measurement_requests.h"
#include "comm/serial_port.h"
#include "core/catalogue.h"
#include "core/live_display.h"
#include "core/serial_settings.h"
#include "core/shared_results.h"

namespace trelvan {

namespace {

int BaseOf(Block block) { return block == Block::Master ? 0 : 20; }

QString Asking(int station, Block block) {
  return QStringLiteral("Station %1, %2").arg(station).arg(block == Block::Master ? "Master" : "Ext.");
}

std::string OneLine(std::string text) {
  for (std::size_t p; (p = text.find("\r\n")) != std::string::npos;) text.replace(p, 2, " | ");
  return text;
}

std::string WithoutTrailingBlanks(std::string_view text) {
  const std::size_t end = text.find_last_not_of(' ');
  return std::string(text.substr(0, end == std::string_view::npos ? 0 : end + 1));
}

} // namespace

std::vector<TypeReading> ReadAsEachType(ByteView reply, const std::string& decimalSeparator) {
  // Types whose range code fits come first: the code is some evidence for
  // them, where a type without one is merely not ruled out.
  std::vector<TypeReading> withCode, withoutCode;
  for (const MeasurementType& type : MeasurementTypeCatalogue()) {
    SharedResults results;
    DecodeMeasurement(type.requestMember, reply, results);
    if (!RangeCodeFits(type.typeIndex, results)) continue;
    (LiveDisplayRuleFor(type.typeIndex)->rows.empty() ? withoutCode : withCode)
        .push_back({type.typeIndex, WithoutTrailingBlanks(type.listLabel),
                    OneLine(BuildLiveLabelText(type.typeIndex, results, decimalSeparator))});
  }
  withCode.insert(withCode.end(), withoutCode.begin(), withoutCode.end());
  return withCode;
}

std::vector<LineSettings> AddressScan::DialogSettings() {
  // The dialog's choices, through the settings text the line is opened with.
  std::vector<LineSettings> all;
  SerialSettings choice;
  for (int speed = 0; speed < static_cast<int>(kSpeedTexts.size()); ++speed)
    for (int parity = 0; parity < 3; ++parity)
      for (int stop = 0; stop < 2; ++stop) {
        choice.SetSpeed(speed);
        choice.SetParity(parity);
        choice.SetStopBits(stop);
        if (const auto settings = ParseSettingsText(SettingsText(choice))) all.push_back(*settings);
      }
  return all;
}

AddressScan::AddressScan(SerialPort& port, QObject* parent) : QObject(parent), port_(port) {}

void AddressScan::Cancel() {
  if (!running_) return;
  cancelled_ = true;
  port_.InterruptWaits();
}

void AddressScan::Start() {
  answers_.clear();
  cancelled_ = false;
  lineLost_.clear();
  done_ = 0;
}

bool AddressScan::Scan(const ScanRange& range) {
  std::vector<Block> blocks;
  if (range.master) blocks.push_back(Block::Master);
  if (range.ext) blocks.push_back(Block::Ext);
  std::vector<std::pair<int, Block>> order;
  // Block by block: a station that timed out on its Master block is asked
  // for its Ext. block only a round later, when its late reply is over.
  for (Block block : blocks)
    for (int station = range.firstStation; station <= range.lastStation; ++station)
      order.emplace_back(station, block);
  return Run(order, range.replyMs, /*passPerBlock=*/true);
}

bool AddressScan::AskEach(const std::vector<std::pair<int, Block>>& blocks, int replyMs) {
  return Run(blocks, replyMs, /*passPerBlock=*/false);
}

bool AddressScan::Run(const std::vector<std::pair<int, Block>>& order, int replyMs, bool passPerBlock) {
  Start();
  running_ = true;
  SharedResults scratch;
  MeasurementRequests requests(port_, scratch);
  requests.SetWaitTimes({replyMs, replyMs});
  total_ = static_cast<int>(order.size());
  for (std::size_t i = 0; i < order.size() && !Stopped(); ++i) {
    if (i == 0 || (passPerBlock && order[i].second != order[i - 1].second)) requests.BeginPass();
    Ask(requests, order[i].first, order[i].second);
  }
  running_ = false;
  emit progress(done_, total_, QString());
  return !Stopped();
}

bool AddressScan::SearchSettings(int station, int replyMs) {
  Start();
  running_ = true;
  SharedResults scratch;
  MeasurementRequests requests(port_, scratch);
  requests.SetWaitTimes({replyMs, replyMs});
  const LineSettings before = port_.lineSettings();
  const std::vector<LineSettings> all = DialogSettings();
  total_ = static_cast<int>(all.size());
  for (const LineSettings& settings : all) {
    if (Stopped()) break;
    QString error;
    if (!port_.Configure(settings, &error)) {
      ++done_;
      emit settingRefused(error);
      continue;
    }
    // Each setting is a pass of its own: a time-out under one is waited out
    // before the next asks the same station.
    requests.BeginPass();
    Ask(requests, station, Block::Master);
  }
  QString ignored;
  if (port_.IsOpen()) port_.Configure(before, &ignored);
  running_ = false;
  emit progress(done_, total_, QString());
  return !Stopped();
}

bool AddressScan::Stopped() const { return cancelled_ || !lineLost_.isEmpty(); }

void AddressScan::Ask(MeasurementRequests& requests, int station, Block block) {
  emit progress(done_, total_,
                Asking(station, block) + ", " + QString::fromStdString(CompactSettingsText(port_.lineSettings())));
  const RequestResult result = requests.Request(RequestMember::Resistivity, station, BaseOf(block));
  ++done_;
  if (result.interrupted) return; // a cancel; nothing was taken for a reply
  ScanAnswer answer;
  answer.station = station;
  answer.block = block;
  answer.settings = port_.lineSettings();
  answer.replyMs = result.replyMs ? static_cast<int>(std::lround(*result.replyMs)) : 0;
  switch (result.failure) {
    case FailureKind::None: {
      const Bytes& reply = requests.lastReply();
      for (std::size_t r = 0; r < answer.registers.size(); ++r)
        answer.registers[r] = static_cast<std::uint16_t>(reply[3 + 2 * r] << 8 | reply[4 + 2 * r]);
      answer.readings = ReadAsEachType(reply, decimalSeparator_);
      break;
    }
    case FailureKind::Exception:
      answer.exceptionCode = result.exceptionCode;
      break;
    case FailureKind::NotOpen:
    case FailureKind::LineLost:
      lineLost_ = QString::fromStdString(result.reason);
      return;
    default:
      emit unanswered(station, block, QString::fromStdString(result.reason));
      return;
  }
  answers_.push_back(answer);
  emit answered(answers_.back());
}

} // namespace trelvan
