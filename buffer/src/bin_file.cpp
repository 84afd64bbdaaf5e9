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

}  // namespace

TWholeRead ReadWhole(TFileReader& File, TByteImage& Bytes) {
  if (File.SizeHint() > MaxWholeFileSize) return TWholeRead::TooLarge;
  File.Rewind();
  Bytes.resize(File.SizeHint());
  std::size_t have = File.Read(Bytes);
  while (have == Bytes.size() && !File.Failure()) {
    std::uint8_t more[4096];  // whether the end is here, before growing for it
    const std::size_t n = File.Read(more);
    if (n == 0) break;
    if (have + n > MaxWholeFileSize) return TWholeRead::TooLarge;
    Bytes.resize(std::min(std::max(2 * have, have + sizeof more), MaxWholeFileSize));
    std::memcpy(Bytes.data() + have, more, n);
    have += n;
    if (n == sizeof more) have += File.Read(std::span(Bytes).subspan(have));
  }
  Bytes.resize(have);
  return File.Failure() ? TWholeRead::Failed : TWholeRead::Done;
}

TFileReadResult ReadWholeFile(const std::string& FileName) {
  TFileReadResult r;
  TFileExpected<TFileReader> file = TFileReader::Open(FileName);
  if (!file) {
    r.Status = BufferResultOf(file.Error());
    return r;
  }
  TWholeRead read = TWholeRead::Done;
  try {
    read = ReadWhole(file.Value(), r.Bytes);
  } catch (const std::bad_alloc&) {
    r.Bytes = {};
    r.Status = TBufferResult::Failure(Framed("Cannot read", FileName, "Out of memory"));
    return r;
  }
  if (read == TWholeRead::TooLarge)
    r.Status = TBufferResult::Failure(Framed("Cannot read", FileName, "Data too large"));
  else if (read == TWholeRead::Failed)
    r.Status = BufferResultOf(*file.Value().Failure());
  if (!r.Status) r.Bytes = {};
  return r;
}

TBufferResult BufferResultOf(const TFileFailure& Error) {
  static constexpr const char* kVerbs[] = {"Cannot open", "Cannot create", "Cannot read",
                                           "Cannot write", "Cannot lock"};
  return TBufferResult::Failure(
      Framed(kVerbs[static_cast<std::size_t>(Error.Action)], Error.Path, Error.Reason));
}

}  // namespace quenvar
