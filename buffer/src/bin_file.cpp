#include "quenvar/buffer/bin_file.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "quenvar/fileio/file_reader.h"

namespace quenvar {

namespace {

std::string Framed(const char* what, const std::string& fileName, const std::string& why) {
  return std::string(what) + " " + fileName + ".\r\n(" + why + ".)";
}

// What the error box says a file step could not do; null for other errors.
const char* FileVerb(TErrorKind kind) {
  switch (kind) {
    case TErrorKind::Open:
      return "Cannot open";
    case TErrorKind::Create:
      return "Cannot create";
    case TErrorKind::Read:
      return "Cannot read";
    case TErrorKind::Write:
      return "Cannot write";
    case TErrorKind::Lock:
      return "Cannot lock";
    default:
      return nullptr;
  }
}

}  // namespace

TResult<void> ReadWhole(TFileReader& file, TByteImage& bytes) {
  const TError tooLarge{TErrorKind::Refused, "Data too large", 0, file.Path()};
  if (file.SizeHint() > kMaxWholeFileSize) return tooLarge;
  file.Rewind();
  bytes.resize(file.SizeHint());
  std::size_t have = file.Read(bytes);
  while (have == bytes.size() && !file.Failure()) {
    std::uint8_t more[4096];  // whether the end is here, before growing for it
    const std::size_t n = file.Read(more);
    if (n == 0) break;
    if (have + n > kMaxWholeFileSize) return tooLarge;
    bytes.resize(std::min(std::max(2 * have, have + sizeof more), kMaxWholeFileSize));
    std::memcpy(bytes.data() + have, more, n);
    have += n;
    if (n == sizeof more) have += file.Read(std::span(bytes).subspan(have));
  }
  bytes.resize(have);
  if (file.Failure()) return *file.Failure();
  return {};
}

TResult<TByteImage> ReadWholeFile(const std::string& fileName) {
  TResult<TFileReader> file = TFileReader::Open(fileName);
  if (!file) return BufferError(file.Error());
  TByteImage bytes;
  TResult<void> read;
  try {
    read = ReadWhole(file.Value(), bytes);
  } catch (const std::bad_alloc&) {
    read = TError{TErrorKind::Refused, "Out of memory", 0, fileName};
  }
  if (!read) {
    // The reader's own refusals are reported as reads, in the buffer's words.
    TError error = read.Error();
    if (error.FKind == TErrorKind::Refused) error.FKind = TErrorKind::Read;
    return BufferError(error);
  }
  return bytes;
}

TError BufferError(const TError& error) {
  TError framed = error;
  if (const char* verb = FileVerb(error.FKind))
    framed.FText = Framed(verb, error.FPath, error.FText);
  return framed;
}

}  // namespace quenvar
