#pragma once

// Intel HEX text <-> memory image: no buffer, no UI. The text comes from memory
// or from a file read a piece at a time, and goes out a piece at a time.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "quenvar/base/result.h"
#include "quenvar/buffer/byte_image.h"

namespace quenvar {

class TFileReader;

// Extended address records could name 4 GiB; anything beyond this is refused
// before a single byte is allocated, and never written (TFileOps::SaveFile).
inline constexpr std::size_t kMaxHexImageSize = std::size_t{16} * 1024 * 1024;

// Builds the image a HEX text describes. Lines end at LF or CR LF. The first
// character of a line is never examined. Types 02/04 move the base address,
// 03/05 are only checksummed, 01 ends the file (nothing after it is read),
// every other type is data stored at base + address. The end record's own
// count + address (without the base) still reach the length. A refused text
// fails with one of the HEX kinds of TErrorKind, FLine at the first failing
// line and the English message as its text.
TResult<TByteImage> ReadHexFile(std::string_view text);
// The same from a file, read from its start once for each pass through one
// buffer of a few hundred KiB. A read failure (File.Failure()) ends the passes
// early: the result is then no answer about the file.
TResult<TByteImage> ReadHexFile(TFileReader& file);

// 16-byte data records from offset 0, the last one padded with FF, an extended
// linear address record before every 64 KiB boundary, and the end record
// ":00000001FF" without a line end. CR LF after every other record. Data
// larger than MaxHexImageSize gives a file the reader refuses.
std::string WriteHexFile(std::span<const std::uint8_t> data);

// The same text a piece at a time, into a buffer the caller reuses, so a large
// image needs no text of its size in memory.
class THexWriter {
 public:
  // Room a piece needs at least: an address record and a data record.
  static constexpr std::size_t kMinRoom = 64;

  explicit THexWriter(std::span<const std::uint8_t> data) : FData(data) {}
  // Characters of the whole text.
  std::size_t Size() const;
  // Whole records, as many as fit into `to` (at least kMinRoom characters),
  // the end record last; the number of characters, 0 when all is written.
  std::size_t Next(std::span<char> to);

 private:
  std::span<const std::uint8_t> FData;
  std::size_t FOffset = 0;
  bool FEndWritten = false;
};

// The message box text for a refused file in the given language
// (0 German, 1 English, 2 Russian; anything else gets English). UTF-8.
std::string HexErrorMessage(const TError& error, std::uint8_t languageIndex);

// "Image larger than 16 MiB." in the given language, as above.
std::string HexImageTooLargeText(std::uint8_t languageIndex);

}  // namespace quenvar
