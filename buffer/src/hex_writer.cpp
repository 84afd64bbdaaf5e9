// The Intel HEX writer: records formatted straight into the caller's buffer.
#include <algorithm>
#include <array>
#include <cstring>

#include "hex_digits.h"
#include "quenvar/buffer/hex_file.h"

namespace quenvar {

namespace {

constexpr std::uint8_t kTypeData = 0x00;
constexpr std::uint8_t kTypeLinearBase = 0x04;

constexpr std::string_view kEndRecord = ":00000001FF";
constexpr std::size_t kDataRecordLength = 1 + 2 * (4 + 16 + 1) + 2;
constexpr std::size_t kBaseRecordLength = 1 + 2 * (4 + 2 + 1) + 2;
static_assert(THexWriter::kMinRoom >= kDataRecordLength + kBaseRecordLength);

// "00" to "FF", so a byte costs one look-up and one two-character store.
constexpr std::array<char, 512> kDigitPairs = [] {
  constexpr char kDigits[] = "0123456789ABCDEF";
  std::array<char, 512> t{};
  for (std::size_t v = 0; v < 256; ++v) {
    t[2 * v] = kDigits[v >> 4];
    t[2 * v + 1] = kDigits[v & 0x0F];
  }
  return t;
}();

void PutByte(char*& out, std::uint8_t value) {
  std::memcpy(out, &kDigitPairs[2 * std::size_t{value}], 2);
  out += 2;
}

// One record with its checksum and CR LF. Data may be shorter than count:
// the rest is filled with FF, as the last slice of a buffer is.
void PutRecord(char*& out, std::uint8_t count, std::uint16_t address, std::uint8_t type,
               const std::uint8_t* data, std::size_t have) {
  *out++ = ':';
  unsigned sum = count + (address >> 8) + (address & 0xFF) + type;
  PutByte(out, count);
  PutByte(out, static_cast<std::uint8_t>(address >> 8));
  PutByte(out, static_cast<std::uint8_t>(address & 0xFF));
  PutByte(out, type);
  std::size_t i = 0;
#if defined(QUENVAR_HEX_SIXTEEN)
  if (count == 16 && have >= 16) {
    sum += hex_digits::PutSixteen(out, data);
    out += 32;
    i = 16;
  }
#endif
  for (; i < count; ++i) {
    const std::uint8_t b = i < have ? data[i] : 0xFF;
    sum += b;
    PutByte(out, b);
  }
  PutByte(out, static_cast<std::uint8_t>(-sum & 0xFF));
  *out++ = '\r';
  *out++ = '\n';
}

}  // namespace

std::size_t THexWriter::Size() const {
  const std::size_t records = (FData.size() + 15) / 16;
  const std::size_t bases = FData.empty() ? 0 : (FData.size() - 1) >> 16;
  return records * kDataRecordLength + bases * kBaseRecordLength + kEndRecord.size();
}

std::size_t THexWriter::Next(std::span<char> to) {
  char* out = to.data();
  char* const end = out + to.size();
  for (; FOffset < FData.size(); FOffset += 16) {
    const bool newSegment = FOffset != 0 && (FOffset & 0xFFFF) == 0;
    const std::size_t need = kDataRecordLength + (newSegment ? kBaseRecordLength : 0);
    if (static_cast<std::size_t>(end - out) < need)
      return static_cast<std::size_t>(out - to.data());
    if (newSegment) {
      const auto upper = static_cast<std::uint16_t>(FOffset >> 16);
      const std::uint8_t value[2] = {static_cast<std::uint8_t>(upper >> 8),
                                     static_cast<std::uint8_t>(upper & 0xFF)};
      PutRecord(out, 2, 0, kTypeLinearBase, value, 2);
    }
    PutRecord(out, 16, static_cast<std::uint16_t>(FOffset & 0xFFFF), kTypeData,
              FData.data() + FOffset, std::min<std::size_t>(16, FData.size() - FOffset));
  }
  if (!FEndWritten && static_cast<std::size_t>(end - out) >= kEndRecord.size()) {
    std::memcpy(out, kEndRecord.data(), kEndRecord.size());
    out += kEndRecord.size();
    FEndWritten = true;
  }
  return static_cast<std::size_t>(out - to.data());
}

std::string WriteHexFile(std::span<const std::uint8_t> data) {
  THexWriter writer(data);
  std::string out(writer.Size(), '\0');
  writer.Next(out);
  return out;
}

}  // namespace quenvar
