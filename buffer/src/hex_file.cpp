#include "quenvar/buffer/hex_file.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace quenvar {

namespace {

constexpr std::uint8_t TypeEnd = 0x01;
constexpr std::uint8_t TypeSegmentBase = 0x02;
constexpr std::uint8_t TypeSegmentStart = 0x03;
constexpr std::uint8_t TypeLinearBase = 0x04;
constexpr std::uint8_t TypeLinearStart = 0x05;

constexpr std::int8_t NotHex = -1;

constexpr std::array<std::int8_t, 256> MakeDigitTable() {
  std::array<std::int8_t, 256> t{};
  for (auto& v : t) v = NotHex;
  for (int c = '0'; c <= '9'; ++c) t[c] = static_cast<std::int8_t>(c - '0');
  for (int c = 'A'; c <= 'F'; ++c) t[c] = static_cast<std::int8_t>(c - 'A' + 10);
  for (int c = 'a'; c <= 'f'; ++c) t[c] = static_cast<std::int8_t>(c - 'a' + 10);
  return t;
}

constexpr std::array<std::int8_t, 256> DigitTable = MakeDigitTable();

int Digit(char c) {
  return DigitTable[static_cast<unsigned char>(c)];
}

// Value of the field of up to Width digits at 1-based Position; a field cut
// short by the line end is taken as far as it goes. -1 when a character is
// not a hex digit. The caller has made sure Position lies inside the line.
long Field(std::string_view Line, std::size_t Position, std::size_t Width) {
  const std::size_t first = Position - 1;
  const std::size_t last = std::min(first + Width, Line.size());
  long value = 0;
  for (std::size_t i = first; i < last; ++i) {
    const int d = Digit(Line[i]);
    if (d < 0) return -1;
    value = value * 16 + d;
  }
  return value;
}

// The two hex digits at Chars (both inside the line); -1 if not hex.
int Pair(const char* Chars) {
  const int hi = Digit(Chars[0]);
  const int lo = Digit(Chars[1]);
  if ((hi | lo) < 0) return -1;
  return hi * 16 + lo;
}

// Hands out lines without their LF / CR LF. Past the end it keeps handing
// out empty lines, which no record survives.
class TLineReader {
 public:
  explicit TLineReader(std::string_view Text) : Source(Text) {}

  std::string_view Next() {
    ++LineNumber;
    if (Position >= Source.size()) return {};
    const char* start = Source.data() + Position;
    const std::size_t left = Source.size() - Position;
    const void* lf = std::memchr(start, '\n', left);
    std::size_t len = lf ? static_cast<std::size_t>(static_cast<const char*>(lf) - start) : left;
    Position += lf ? len + 1 : len;
    if (lf && len > 0 && start[len - 1] == '\r') --len;
    return {start, len};
  }

  std::size_t Number() const { return LineNumber; }

 private:
  std::string_view Source;
  std::size_t Position = 0;
  std::size_t LineNumber = 0;
};

struct THeader {
  std::uint64_t Count = 0;
  std::uint64_t Address = 0;
  std::uint64_t Type = 0;
};

// Byte count, address and type as the first pass takes them; false when one
// is missing or not hex.
bool ParseHeader(std::string_view Line, THeader& Out) {
  if (Line.size() < 2) return false;
  const long count = Field(Line, 2, 2);
  if (count < 0 || Line.size() < 4) return false;
  const long address = Field(Line, 4, 4);
  if (address < 0 || Line.size() < 8) return false;
  const long type = Field(Line, 8, 2);
  if (type < 0) return false;
  Out.Count = static_cast<std::uint64_t>(count);
  Out.Address = static_cast<std::uint64_t>(address);
  Out.Type = static_cast<std::uint64_t>(type);
  return true;
}

bool IsBaseRecord(std::uint64_t Type) {
  return Type == TypeSegmentBase || Type == TypeLinearBase;
}

bool IsStartRecord(std::uint64_t Type) {
  return Type == TypeSegmentStart || Type == TypeLinearStart;
}

// New base from a 02/04 record: exactly two data bytes, else the record is
// malformed.
std::optional<std::uint64_t> BaseOf(std::string_view Line, const THeader& H) {
  if (H.Count != 2 || Line.size() < 13) return std::nullopt;
  const long value = Field(Line, 10, 4);
  if (value < 0) return std::nullopt;
  const auto v = static_cast<std::uint64_t>(value);
  return H.Type == TypeSegmentBase ? v << 4 : v << 16;
}

THexReadResult Refuse(THexErrorKind Kind, std::size_t Line) {
  THexReadResult r;
  r.Error = THexError{Kind, Line};
  return r;
}

// First pass: the structure of every line up to the end record, and the
// extent of the image.
std::optional<THexError> MeasureExtent(std::string_view Text, std::uint64_t& Extent) {
  TLineReader lines(Text);
  std::uint64_t base = 0;
  Extent = 0;
  for (;;) {
    const std::string_view line = lines.Next();
    const THexError refused{THexErrorKind::NoHexFile, lines.Number()};
    THeader h;
    if (!ParseHeader(line, h)) return refused;
    if (IsBaseRecord(h.Type)) {
      const auto b = BaseOf(line, h);
      if (!b) return refused;
      base = *b;
      continue;
    }
    if (IsStartRecord(h.Type)) continue;
    // The end record's own count and address still reach the length, as they
    // always did; they are no data, so the base does not move them.
    const std::uint64_t at = h.Type == TypeEnd ? h.Address : base + h.Address;
    Extent = std::max(Extent, at + h.Count);
    if (Extent > MaxHexImageSize) return THexError{THexErrorKind::ImageTooLarge, lines.Number()};
    if (h.Type == TypeEnd) return std::nullopt;
  }
}

}  // namespace

THexReadResult ReadHexFile(std::string_view Text) {
  std::uint64_t extent = 0;
  if (auto e = MeasureExtent(Text, extent)) return Refuse(e->Kind, e->Line);

  THexReadResult result;
  result.Image.assign(static_cast<std::size_t>(extent), 0xFF);
  std::uint8_t* image = result.Image.data();

  // Second pass: checksums and data, up to the end record the first pass found.
  TLineReader lines(Text);
  std::uint64_t base = 0;
  for (;;) {
    const std::string_view line = lines.Next();
    const std::size_t number = lines.Number();
    const char* c = line.data();
    const std::size_t len = line.size();  // >= 8, the first pass made sure

    THeader h;
    ParseHeader(line, h);
    const bool isData = h.Type != TypeEnd && !IsBaseRecord(h.Type) && !IsStartRecord(h.Type);
    // Data must end before the checksum (and inside the measured image).
    const std::uint64_t at = base + h.Address;
    const bool fits = isData && len >= 11 + 2 * h.Count && at + h.Count <= extent;

    // Sum of the pairs at positions 2, 4, ... up to len - 2. Data pairs go
    // straight into the image on the way; a bad line discards the image.
    unsigned sum = 0;
    std::size_t p = 2;
    if (fits) {
      for (; p < 10; p += 2) {
        const int v = Pair(c + p - 1);
        if (v < 0) return Refuse(THexErrorKind::BrokenData, number);
        sum += static_cast<unsigned>(v);
      }
      std::uint8_t* to = image + at;
      for (std::uint64_t k = 0; k < h.Count; ++k, p += 2) {
        const int v = Pair(c + p - 1);
        if (v < 0) return Refuse(THexErrorKind::BrokenData, number);
        to[k] = static_cast<std::uint8_t>(v);
        sum += static_cast<unsigned>(v);
      }
    }
    for (; p + 2 <= len; p += 2) {
      const int v = Pair(c + p - 1);
      if (v < 0) return Refuse(THexErrorKind::BrokenData, number);
      sum += static_cast<unsigned>(v);
    }
    const int checksum = Pair(c + len - 2);
    if (checksum < 0) return Refuse(THexErrorKind::BrokenData, number);
    if (((sum + static_cast<unsigned>(checksum)) & 0xFFu) != 0)
      return Refuse(THexErrorKind::WrongChecksum, number);

    if (isData && !fits) return Refuse(THexErrorKind::BrokenData, number);
    if (h.Type == TypeEnd) break;
    if (IsBaseRecord(h.Type)) base = BaseOf(line, h).value_or(0);
  }
  return result;
}

namespace {

constexpr char Digits[] = "0123456789ABCDEF";

void PutByte(char*& Out, std::uint8_t Value) {
  *Out++ = Digits[Value >> 4];
  *Out++ = Digits[Value & 0x0F];
}

// One record with its checksum and CR LF. Data may be shorter than Count:
// the rest is filled with FF, as the last slice of a buffer is.
void PutRecord(char*& Out, std::uint8_t Count, std::uint16_t Address, std::uint8_t Type,
               const std::uint8_t* Data, std::size_t Have) {
  *Out++ = ':';
  unsigned sum = Count + (Address >> 8) + (Address & 0xFF) + Type;
  PutByte(Out, Count);
  PutByte(Out, static_cast<std::uint8_t>(Address >> 8));
  PutByte(Out, static_cast<std::uint8_t>(Address & 0xFF));
  PutByte(Out, Type);
  for (std::size_t i = 0; i < Count; ++i) {
    const std::uint8_t b = i < Have ? Data[i] : 0xFF;
    sum += b;
    PutByte(Out, b);
  }
  PutByte(Out, static_cast<std::uint8_t>(-sum & 0xFF));
  *Out++ = '\r';
  *Out++ = '\n';
}

constexpr std::string_view EndRecord = ":00000001FF";
constexpr std::size_t DataRecordLength = 1 + 2 * (4 + 16 + 1) + 2;
constexpr std::size_t BaseRecordLength = 1 + 2 * (4 + 2 + 1) + 2;

}  // namespace

std::string WriteHexFile(std::span<const std::uint8_t> Data) {
  const std::size_t records = (Data.size() + 15) / 16;
  const std::size_t bases = Data.empty() ? 0 : (Data.size() - 1) >> 16;
  std::string out(records * DataRecordLength + bases * BaseRecordLength + EndRecord.size(), '\0');
  char* o = out.data();
  for (std::size_t i = 0; i < Data.size(); i += 16) {
    if (i != 0 && (i & 0xFFFF) == 0) {
      const auto upper = static_cast<std::uint16_t>(i >> 16);
      const std::uint8_t value[2] = {static_cast<std::uint8_t>(upper >> 8),
                                     static_cast<std::uint8_t>(upper & 0xFF)};
      PutRecord(o, 2, 0, TypeLinearBase, value, 2);
    }
    PutRecord(o, 16, static_cast<std::uint16_t>(i & 0xFFFF), 0x00, Data.data() + i,
              std::min<std::size_t>(16, Data.size() - i));
  }
  std::memcpy(o, EndRecord.data(), EndRecord.size());
  return out;
}

namespace {

std::uint8_t Language(std::uint8_t LanguageIndex) {
  return LanguageIndex <= 2 ? LanguageIndex : 1;
}

}  // namespace

std::string HexImageTooLargeText(std::uint8_t LanguageIndex) {
  static constexpr const char* Texts[] = {"Abbild größer als 16 MiB.", "Image larger than 16 MiB.",
                                          "Образ больше 16 МиБ."};
  return Texts[Language(LanguageIndex)];
}

std::string HexErrorMessage(const THexError& Error, std::uint8_t LanguageIndex) {
  const std::uint8_t lang = Language(LanguageIndex);
  switch (Error.Kind) {
    case THexErrorKind::NoHexFile:
    case THexErrorKind::ImageTooLarge: {
      static constexpr const char* Texts[] = {"Fehler in Datei. Keine Hex-Datei.",
                                              "Error in file. No hex file.",
                                              "Входной файл не hex файл."};
      if (Error.Kind == THexErrorKind::ImageTooLarge)
        return std::string(Texts[lang]) + " " + HexImageTooLargeText(lang);
      return Texts[lang];
    }
    case THexErrorKind::WrongChecksum: {
      static constexpr const char* Texts[] = {"Fehler in Datei. Falsche CSUM.",
                                              "Error in file. Wrong CSUM.",
                                              "Ошибка входного файла.Не правильная CheckSum."};
      return Texts[lang];
    }
    case THexErrorKind::BrokenData: {
      static constexpr const char* Texts[] = {"Fehler in Datei. Fehlerhafte Daten in Zeile ",
                                              "Error in file. Broken data in line ",
                                              "Ошибка входного файла. Неверные данные в строке "};
      return Texts[lang] + std::to_string(Error.Line) + ".";
    }
  }
  return {};
}

}  // namespace quenvar
