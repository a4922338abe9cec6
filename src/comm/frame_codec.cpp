#include "frame_codec.h"

#include <cassert>

namespace trelvan {

Bytes EncodeWord(std::uint16_t value) {
  return {static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value & 0xFF)};
}

std::uint16_t Crc16(ByteView bytes) {
  std::uint16_t crc = 0xFFFF;
  for (std::uint8_t b : bytes) {
    crc ^= b;
    for (int bit = 0; bit < 8; ++bit) {
      const bool lsb = (crc & 1) != 0;
      crc >>= 1;
      if (lsb) crc ^= 0xA001;
    }
  }
  return crc;
}

Bytes ComputeCrc(ByteView bytes) {
  const std::uint16_t crc = Crc16(bytes);
  return {static_cast<std::uint8_t>(crc & 0xFF), static_cast<std::uint8_t>(crc >> 8)};
}

bool CrcMatches(ByteView frame) {
  if (frame.size() < 3) return false;
  const std::uint16_t crc = Crc16(frame.first(frame.size() - 2));
  return frame[frame.size() - 2] == (crc & 0xFF) && frame[frame.size() - 1] == (crc >> 8);
}

std::optional<RequestFrame> BuildRequest(int stationAddress, int functionCode,
                                         int firstRegister, int registerCount) {
  if (stationAddress < 0 || stationAddress > 255) return std::nullopt;
  if (functionCode < 0 || functionCode > 255) return std::nullopt;
  if (firstRegister < 0 || firstRegister > 0xFFFF) return std::nullopt;
  if (registerCount < 1 || registerCount > kMaxRegisterCount) return std::nullopt;
  if (firstRegister + registerCount - 1 > 0xFFFF) return std::nullopt;

  RequestFrame request;
  Bytes& f = request.frame;
  f.reserve(8);
  f.push_back(static_cast<std::uint8_t>(stationAddress));
  f.push_back(static_cast<std::uint8_t>(functionCode));
  for (std::uint8_t b : EncodeWord(static_cast<std::uint16_t>(firstRegister))) f.push_back(b);
  for (std::uint8_t b : EncodeWord(static_cast<std::uint16_t>(registerCount))) f.push_back(b);
  for (std::uint8_t b : ComputeCrc(f)) f.push_back(b);
  request.expectedLength = registerCount * 2 + 5;
  return request;
}

std::uint16_t RegisterWord(ByteView reply, int k) {
  const std::size_t hi = 3 + 2 * static_cast<std::size_t>(k);
  assert(k >= 0 && hi + 1 < reply.size());
  return static_cast<std::uint16_t>(reply[hi] << 8 | reply[hi + 1]);
}

int RegisterSigned(ByteView reply, int k) {
  const int word = RegisterWord(reply, k);
  return word >= 0x8000 ? word - 0x10000 : word;
}

std::uint8_t RegisterLowByte(ByteView reply, int k) {
  return static_cast<std::uint8_t>(RegisterWord(reply, k) & 0xFF);
}

BcdCounter BcdCounterFromWords(std::uint16_t upper, std::uint16_t lower) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  const std::uint32_t raw = static_cast<std::uint32_t>(upper) << 16 | lower;
  BcdCounter counter;
  counter.digits.resize(8);
  double value = 0;
  for (int i = 0; i < 8; ++i) {
    const unsigned nibble = (raw >> (28 - 4 * i)) & 0xF;
    counter.digits[static_cast<std::size_t>(i)] = kHex[nibble];
    if (nibble > 9) counter.valid = false;
    value = value * 10 + nibble;
  }
  counter.value = counter.valid ? value : 0;
  return counter;
}

BcdCounter ReadBcdCounter(ByteView reply, int upperRegister, int lowerRegister) {
  return BcdCounterFromWords(RegisterWord(reply, upperRegister), RegisterWord(reply, lowerRegister));
}

bool IsExceptionReply(ByteView bytes) {
  return bytes.size() >= kExceptionReplyLength && (bytes[1] & 0x80) != 0 &&
         CrcMatches(bytes.first(kExceptionReplyLength));
}

ReplyCheck CheckReadReply(ByteView reply, int stationAddress, int functionCode, int registerCount) {
  if (IsExceptionReply(reply)) {
    if (reply[0] != stationAddress) return {ReplyFault::WrongStation};
    if ((reply[1] & 0x7F) != functionCode) return {ReplyFault::WrongFunction};
    return {ReplyFault::Exception, reply[2]};
  }
  const std::size_t length = 2 * static_cast<std::size_t>(registerCount) + 5;
  if (reply.size() < length) return {ReplyFault::TooShort};
  if (reply[0] != stationAddress) return {ReplyFault::WrongStation};
  if (reply[1] != functionCode) return {ReplyFault::WrongFunction};
  if (reply[2] != 2 * registerCount) return {ReplyFault::WrongByteCount};
  if (!CrcMatches(reply.first(length))) return {ReplyFault::BadCrc};
  return {};
}

} // namespace trelvan
