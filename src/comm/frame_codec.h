#pragma once
// Modbus RTU framing for the master: request frames, the CRC-16 and the fields
// of a read-registers reply. Pure functions of bytes and values; no port.
//
// Request, function 3 (8 bytes):
//   [0] station  [1] function  [2..3] first register  [4..5] count  [6..7] CRC
// Reply to function 3 for N registers (2N + 5 bytes):
//   [0] station  [1] function  [2] byte count 2N  [3 + 2k, 4 + 2k] register k
//   [2N + 3, 2N + 4] CRC
// Registers are high byte first, the CRC low byte first.

#include <cstdint>
#include <optional>
#include <span>

#include "comm/bytes.h"
#include "core/shared_results.h"

namespace trelvan {

using ByteView = std::span<const std::uint8_t>;

inline constexpr int kReadHoldingRegisters = 3;
inline constexpr int kMeasurementRegisterCount = 8;
inline constexpr int kMeasurementReplyLength = 2 * kMeasurementRegisterCount + 5; // 21
inline constexpr int kExceptionReplyLength = 5;
// Modbus limits one read to 125 registers (a 256-byte frame).
inline constexpr int kMaxRegisterCount = 125;

// Two bytes, high byte first.
Bytes EncodeWord(std::uint16_t value);

// The Modbus CRC-16: start 0xFFFF, reflected polynomial 0xA001, no final XOR.
std::uint16_t Crc16(ByteView bytes);
// The CRC as it goes on the line: low byte first. An empty input gives FF FF.
Bytes ComputeCrc(ByteView bytes);
// True when the last two bytes are the CRC of the bytes before them.
bool CrcMatches(ByteView frame);

struct RequestFrame {
  Bytes frame;
  int expectedLength = 0; // of a complete reply: registerCount * 2 + 5
};

// The request frame, or nothing when a field does not fit the frame: station
// address or function code outside 0..255, first register outside 0..65535,
// register count outside 1..125 or a block reaching past register 65535.
std::optional<RequestFrame> BuildRequest(int stationAddress, int functionCode,
                                         int firstRegister, int registerCount);

// Readers of register k of a read-registers reply. The reply must hold the
// register (callers read only validated replies).
std::uint16_t RegisterWord(ByteView reply, int k);
int RegisterSigned(ByteView reply, int k);          // two's complement, -32768..32767
std::uint8_t RegisterLowByte(ByteView reply, int k);
inline int PointCode(std::uint8_t lowByte) { return lowByte & 0x0F; }
inline int UnitCode(std::uint8_t lowByte) { return lowByte & 0xF0; }

// The 8-digit BCD counter whose upper four digits are in `upperRegister` and
// lower four in `lowerRegister`. Digits above 9 make it invalid: it keeps the
// digits it was given and no value.
BcdCounter ReadBcdCounter(ByteView reply, int upperRegister, int lowerRegister);
BcdCounter BcdCounterFromWords(std::uint16_t upper, std::uint16_t lower);

// What is wrong with a reply to a read-registers request, if anything.
enum class ReplyFault {
  None,
  Exception,      // the station refused the request (function | 0x80, exception code)
  TooShort,       // fewer bytes than a complete reply
  WrongStation,   // the address does not echo the request's
  WrongFunction,  // the function code does not echo the request's
  WrongByteCount, // the byte count is not twice the register count
  BadCrc,
};

struct ReplyCheck {
  ReplyFault fault = ReplyFault::None;
  int exceptionCode = 0; // for ReplyFault::Exception
  bool ok() const { return fault == ReplyFault::None; }
};

// Checks a reply against its request. Bytes after a complete reply are ignored.
ReplyCheck CheckReadReply(ByteView reply, int stationAddress, int functionCode, int registerCount);

// True when the bytes begin with a complete exception reply: address, function
// code with bit 0x80, exception code and a matching CRC.
bool IsExceptionReply(ByteView bytes);

} // namespace trelvan
