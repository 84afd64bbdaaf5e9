#include "quenvar/buffer/bin_file.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "quenvar/fileio/file_reader.h"

namespace quenvar {

namespace {

std::string Framed(const char* What, const std::string& FileName, const std::string& Why) {
  return std::string(What) + " " + FileName + ".\r\n(" + Why + ".)";
}

// What the error box says a file step could not do; null for other errors.
const char* FileVerb(TErrorKind Kind) {
  switch (Kind) {
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

TResult<void> ReadWhole(TFileReader& File, TByteImage& Bytes) {
  const TError tooLarge{TErrorKind::Refused, "Data too large", 0, File.Path()};
  if (File.SizeHint() > MaxWholeFileSize) return tooLarge;
  File.Rewind();
  Bytes.resize(File.SizeHint());
  std::size_t have = File.Read(Bytes);
  while (have == Bytes.size() && !File.Failure()) {
    std::uint8_t more[4096];  // whether the end is here, before growing for it
    const std::size_t n = File.Read(more);
    if (n == 0) break;
    if (have + n > MaxWholeFileSize) return tooLarge;
    Bytes.resize(std::min(std::max(2 * have, have + sizeof more), MaxWholeFileSize));
    std::memcpy(Bytes.data() + have, more, n);
    have += n;
    if (n == sizeof more) have += File.Read(std::span(Bytes).subspan(have));
  }
  Bytes.resize(have);
  if (File.Failure()) return *File.Failure();
  return {};
}

TResult<TByteImage> ReadWholeFile(const std::string& FileName) {
  TResult<TFileReader> file = TFileReader::Open(FileName);
  if (!file) return BufferError(file.Error());
  TByteImage bytes;
  TResult<void> read;
  try {
    read = ReadWhole(file.Value(), bytes);
  } catch (const std::bad_alloc&) {
    read = TError{TErrorKind::Refused, "Out of memory", 0, FileName};
  }
  if (!read) {
    // The reader's own refusals are reported as reads, in the buffer's words.
    TError error = read.Error();
    if (error.FKind == TErrorKind::Refused) error.FKind = TErrorKind::Read;
    return BufferError(error);
  }
  return bytes;
}

TError BufferError(const TError& Error) {
  TError framed = Error;
  if (const char* verb = FileVerb(Error.FKind))
    framed.FText = Framed(verb, Error.FPath, Error.FText);
  return framed;
}

}  // namespace quenvar
