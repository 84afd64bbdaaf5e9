#include "quenvar/buffer/hex_file.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "hex_digits.h"
#include "quenvar/fileio/file_reader.h"

namespace quenvar {

namespace {

constexpr std::uint8_t kTypeEnd = 0x01;
constexpr std::uint8_t kTypeSegmentBase = 0x02;
constexpr std::uint8_t kTypeSegmentStart = 0x03;
constexpr std::uint8_t kTypeLinearBase = 0x04;
constexpr std::uint8_t kTypeLinearStart = 0x05;

constexpr std::int8_t kNotHex = -1;

// A refusal's own text is English, as all of the buffer's errors.
constexpr std::uint8_t kEnglish = 1;

constexpr std::array<std::int8_t, 256> MakeDigitTable() {
  std::array<std::int8_t, 256> t{};
  for (auto& v : t) v = kNotHex;
  for (int c = '0'; c <= '9'; ++c) t[c] = static_cast<std::int8_t>(c - '0');
  for (int c = 'A'; c <= 'F'; ++c) t[c] = static_cast<std::int8_t>(c - 'A' + 10);
  for (int c = 'a'; c <= 'f'; ++c) t[c] = static_cast<std::int8_t>(c - 'a' + 10);
  return t;
}

constexpr std::array<std::int8_t, 256> kDigitTable = MakeDigitTable();

int Digit(char c) {
  return kDigitTable[static_cast<unsigned char>(c)];
}

// Value of the field of up to Width digits at 1-based Position; a field cut
// short by the line end is taken as far as it goes. -1 when a character is
// not a hex digit. The caller has made sure Position lies inside the line.
long Field(std::string_view line, std::size_t position, std::size_t width) {
  const std::size_t first = position - 1;
  const std::size_t last = std::min(first + width, line.size());
  long value = 0;
  for (std::size_t i = first; i < last; ++i) {
    const int d = Digit(line[i]);
    if (d < 0) return -1;
    value = value * 16 + d;
  }
  return value;
}

// A pair of hex digits as one look-up each: the byte's value, with NotHexBit
// set when either character is no hex digit. A line ORs its pairs' bits and
// looks at them once.
constexpr unsigned kNotHexBit = 0x100;

constexpr std::array<std::uint16_t, 256> MakePairTable(unsigned shift) {
  std::array<std::uint16_t, 256> t{};
  for (std::size_t c = 0; c < t.size(); ++c)
    t[c] = kDigitTable[c] < 0 ? kNotHexBit : static_cast<std::uint16_t>(kDigitTable[c] << shift);
  return t;
}

constexpr std::array<std::uint16_t, 256> kHighDigit = MakePairTable(4);
constexpr std::array<std::uint16_t, 256> kLowDigit = MakePairTable(0);

unsigned PairBits(const char* chars) {
  return kHighDigit[static_cast<unsigned char>(chars[0])] |
         kLowDigit[static_cast<unsigned char>(chars[1])];
}

// The reader's text buffer for a file: a few hundred KiB, grown only for a
// line longer than that.
constexpr std::size_t kTextPiece = std::size_t{256} << 10;
using TTextBuffer = std::vector<char, TUninitAllocator<char>>;

// Hands out lines without their LF / CR LF, from a whole text or from a file
// read a piece at a time. Past the end it keeps handing out empty lines, which
// no record survives.
class TLineReader {
 public:
  explicit TLineReader(std::string_view text)
      : FNext(text.data()), FEnd(text.data() + text.size()) {}
  TLineReader(TFileReader& file, TTextBuffer& buffer)
      : FFile(&file), FBuffer(&buffer), FNext(buffer.data()), FEnd(buffer.data()) {}

  std::string_view Next() {
    ++FLineNumber;
    std::size_t searched = 0;
    for (;;) {
      const std::size_t left = static_cast<std::size_t>(FEnd - FNext);
      const void* lf =
          left > searched ? std::memchr(FNext + searched, '\n', left - searched) : nullptr;
      if (lf != nullptr) {
        const char* start = FNext;
        std::size_t len = static_cast<std::size_t>(static_cast<const char*>(lf) - start);
        FNext = start + len + 1;
        if (len > 0 && start[len - 1] == '\r') --len;
        return {start, len};
      }
      searched = left;
      if (!Refill()) {
        const std::string_view rest(FNext, left);
        FNext = FEnd;
        return rest;
      }
    }
  }

  std::size_t Number() const { return FLineNumber; }

 private:
  // Keeps the unfinished line at the front and reads more after it; false at
  // the end.
  bool Refill() {
    if (FFile == nullptr || FAtEnd) return false;
    const std::size_t kept = static_cast<std::size_t>(FEnd - FNext);
    if (kept == FBuffer->size()) {
      TTextBuffer longer(2 * FBuffer->size());
      std::memcpy(longer.data(), FNext, kept);
      FBuffer->swap(longer);
    } else if (kept > 0) {
      std::memmove(FBuffer->data(), FNext, kept);
    }
    char* const free = FBuffer->data() + kept;
    const std::size_t room = FBuffer->size() - kept;
    const std::size_t got = FFile->Read({reinterpret_cast<std::uint8_t*>(free), room});
    FAtEnd = got < room;
    FNext = FBuffer->data();
    FEnd = free + got;
    return got > 0;
  }

  TFileReader* FFile = nullptr;
  TTextBuffer* FBuffer = nullptr;
  bool FAtEnd = false;
  const char* FNext;
  const char* FEnd;
  std::size_t FLineNumber = 0;
};

struct THeader {
  std::uint64_t FCount = 0;
  std::uint64_t FAddress = 0;
  std::uint64_t FType = 0;
};

// Byte count, address and type as the first pass takes them; false when one
// is missing or not hex.
bool ParseHeader(std::string_view line, THeader& out) {
  if (line.size() >= 9) {  // every field whole: four pairs
    const char* c = line.data();
    const unsigned count = PairBits(c + 1);
    const unsigned high = PairBits(c + 3);
    const unsigned low = PairBits(c + 5);
    const unsigned type = PairBits(c + 7);
    if (((count | high | low | type) & kNotHexBit) != 0) return false;
    out.FCount = count;
    out.FAddress = high << 8 | low;
    out.FType = type;
    return true;
  }
  if (line.size() < 2) return false;
  const long count = Field(line, 2, 2);
  if (count < 0 || line.size() < 4) return false;
  const long address = Field(line, 4, 4);
  if (address < 0 || line.size() < 8) return false;
  const long type = Field(line, 8, 2);
  if (type < 0) return false;
  out.FCount = static_cast<std::uint64_t>(count);
  out.FAddress = static_cast<std::uint64_t>(address);
  out.FType = static_cast<std::uint64_t>(type);
  return true;
}

bool IsBaseRecord(std::uint64_t type) {
  return type == kTypeSegmentBase || type == kTypeLinearBase;
}

bool IsStartRecord(std::uint64_t type) {
  return type == kTypeSegmentStart || type == kTypeLinearStart;
}

// New base from a 02/04 record: exactly two data bytes, else the record is
// malformed.
std::optional<std::uint64_t> BaseOf(std::string_view line, const THeader& h) {
  if (h.FCount != 2 || line.size() < 13) return std::nullopt;
  const long value = Field(line, 10, 4);
  if (value < 0) return std::nullopt;
  const auto v = static_cast<std::uint64_t>(value);
  return h.FType == kTypeSegmentBase ? v << 4 : v << 16;
}

// Why a pass refused the text: kept small, since the first pass makes one for every line.
struct THexRefusal {
  TErrorKind FKind = TErrorKind::NoHexFile;
  std::size_t FLine = 0;
};

TError Refuse(const THexRefusal& refusal) {
  TError error{refusal.FKind, {}, 0, {}, refusal.FLine};
  error.FText = HexErrorMessage(error, kEnglish);
  return error;
}

// First pass: the structure of every line up to the end record, and the
// extent of the image.
std::optional<THexRefusal> MeasureExtent(TLineReader& lines, std::uint64_t& extent) {
  std::uint64_t base = 0;
  extent = 0;
  for (;;) {
    const std::string_view line = lines.Next();
    const THexRefusal refused{TErrorKind::NoHexFile, lines.Number()};
    THeader h;
    if (!ParseHeader(line, h)) return refused;
    if (IsBaseRecord(h.FType)) {
      const auto b = BaseOf(line, h);
      if (!b) return refused;
      base = *b;
      continue;
    }
    if (IsStartRecord(h.FType)) continue;
    // The end record's own count and address still reach the length, as they
    // always did; they are no data, so the base does not move them.
    const std::uint64_t at = h.FType == kTypeEnd ? h.FAddress : base + h.FAddress;
    extent = std::max(extent, at + h.FCount);
    if (extent > kMaxHexImageSize) return THexRefusal{TErrorKind::ImageTooLarge, lines.Number()};
    if (h.FType == kTypeEnd) return std::nullopt;
  }
}

// Second pass: checksums and data, up to the end record. The image is written
// once: every byte below Filled holds data or FF, and the gap a record leaves
// above it gets its FF only then. A line the first pass took that is no
// record now means the file changed between the passes.
std::optional<THexRefusal> FillImage(TLineReader& lines, TByteImage& target) {
  std::uint8_t* const image = target.data();
  const std::uint64_t extent = target.size();
  std::uint64_t filled = 0;
  std::uint64_t base = 0;
  for (;;) {
    const std::string_view line = lines.Next();
    const std::size_t number = lines.Number();
    THeader h;
    if (!ParseHeader(line, h)) return THexRefusal{TErrorKind::NoHexFile, number};
    const char* c = line.data();
    const std::size_t len = line.size();  // >= 8 with a header

    const bool isData = h.FType != kTypeEnd && !IsBaseRecord(h.FType) && !IsStartRecord(h.FType);
    // Data must end before the checksum (and inside the measured image).
    const std::uint64_t at = base + h.FAddress;
    const bool fits = isData && len >= 11 + 2 * h.FCount && at + h.FCount <= extent;

    // Sum of the pairs at positions 2, 4, ... up to len - 2. Data pairs go
    // straight into the image on the way; a bad line discards the image, so
    // a pair that is not hex is only looked at once the line is done.
    unsigned sum = 0;
    unsigned bits = 0;
    std::size_t p = 2;
    if (fits) {
      // The header's pairs are hex: ParseHeader took all four.
      sum = static_cast<unsigned>(h.FCount + (h.FAddress >> 8) + (h.FAddress & 0xFF) + h.FType);
      p = 10;
      if (at > filled) std::memset(image + filled, 0xFF, at - filled);
      std::uint8_t* to = image + at;
      const char* from = c + p - 1;
      std::uint64_t k = 0;
#if defined(QUENVAR_HEX_SIXTEEN)
      for (; k + 16 <= h.FCount; k += 16, from += 32) {
        unsigned sixteen = 0;
        if (!hex_digits::TakeSixteen(from, to + k, sixteen)) bits |= kNotHexBit;
        sum += sixteen;
      }
#endif
      for (; k < h.FCount; ++k, from += 2) {
        const unsigned v = PairBits(from);
        bits |= v;
        sum += v;
        to[k] = static_cast<std::uint8_t>(v);
      }
      p += 2 * h.FCount;
      filled = std::max(filled, at + h.FCount);
    }
    for (; p + 2 <= len; p += 2) {
      const unsigned v = PairBits(c + p - 1);
      bits |= v;
      sum += v;
    }
    const unsigned checksum = PairBits(c + len - 2);
    if (((bits | checksum) & kNotHexBit) != 0) return THexRefusal{TErrorKind::BrokenData, number};
    if (((sum + checksum) & 0xFFu) != 0) return THexRefusal{TErrorKind::WrongChecksum, number};

    if (isData && !fits) return THexRefusal{TErrorKind::BrokenData, number};
    if (h.FType == kTypeEnd) break;
    if (IsBaseRecord(h.FType)) {
      const auto b = BaseOf(line, h);
      if (!b) return THexRefusal{TErrorKind::NoHexFile, number};
      base = *b;
    }
  }
  if (extent > filled) std::memset(image + filled, 0xFF, extent - filled);
  return std::nullopt;
}

// Both passes over the lines that NewLines hands out, each from the start.
template <typename TNewLines>
TResult<TByteImage> ReadPasses(TNewLines newLines) {
  std::uint64_t extent = 0;
  {
    TLineReader lines = newLines();
    if (auto e = MeasureExtent(lines, extent)) return Refuse(*e);
  }
  TByteImage image;
  image.resize(static_cast<std::size_t>(extent));
  TLineReader lines = newLines();
  if (auto e = FillImage(lines, image)) return Refuse(*e);
  return image;
}

}  // namespace

TResult<TByteImage> ReadHexFile(std::string_view text) {
  return ReadPasses([text] { return TLineReader(text); });
}

TResult<TByteImage> ReadHexFile(TFileReader& file) {
  TTextBuffer buffer(kTextPiece);
  return ReadPasses([&file, &buffer] {
    file.Rewind();
    return TLineReader(file, buffer);
  });
}

namespace {

std::uint8_t Language(std::uint8_t languageIndex) {
  return languageIndex <= 2 ? languageIndex : 1;
}

}  // namespace

std::string HexImageTooLargeText(std::uint8_t languageIndex) {
  static constexpr const char* kTexts[] = {"Abbild größer als 16 MiB.", "Image larger than 16 MiB.",
                                           "Образ больше 16 МиБ."};
  return kTexts[Language(languageIndex)];
}

std::string HexErrorMessage(const TError& error, std::uint8_t languageIndex) {
  const std::uint8_t lang = Language(languageIndex);
  switch (error.FKind) {
    case TErrorKind::NoHexFile:
    case TErrorKind::ImageTooLarge: {
      static constexpr const char* kTexts[] = {"Fehler in Datei. Keine Hex-Datei.",
                                               "Error in file. No hex file.",
                                               "Входной файл не hex файл."};
      if (error.FKind == TErrorKind::ImageTooLarge)
        return std::string(kTexts[lang]) + " " + HexImageTooLargeText(lang);
      return kTexts[lang];
    }
    case TErrorKind::WrongChecksum: {
      static constexpr const char* kTexts[] = {"Fehler in Datei. Falsche CSUM.",
                                               "Error in file. Wrong CSUM.",
                                               "Ошибка входного файла.Не правильная CheckSum."};
      return kTexts[lang];
    }
    case TErrorKind::BrokenData: {
      static constexpr const char* kTexts[] = {"Fehler in Datei. Fehlerhafte Daten in Zeile ",
                                               "Error in file. Broken data in line ",
                                               "Ошибка входного файла. Неверные данные в строке "};
      return kTexts[lang] + std::to_string(error.FLine) + ".";
    }
    default:
      return error.FText;
  }
}

}  // namespace quenvar
