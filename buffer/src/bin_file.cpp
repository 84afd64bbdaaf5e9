#include "quenvar/buffer/bin_file.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <new>

namespace quenvar {

namespace {

namespace fs = std::filesystem;

std::string SystemText(int Error) {
  return SystemMessage(Error ? Error : EIO);
}

std::string Framed(const char* What, const std::string& FileName, const std::string& Why) {
  return std::string(What) + " " + FileName + ".\r\n(" + Why + ".)";
}

struct TCloser {
  void operator()(std::FILE* F) const { std::fclose(F); }
};
using TFile = std::unique_ptr<std::FILE, TCloser>;

}  // namespace

TFileReadResult ReadWholeFile(const std::string& FileName) {
  TFileReadResult r;
  std::error_code ec;
  if (fs::is_directory(FileName, ec)) {
    r.Status = TBufferResult::Failure(Framed("Cannot open", FileName, SystemText(EISDIR)));
    return r;
  }
  errno = 0;
  TFile f(std::fopen(FileName.c_str(), "rb"));
  if (!f) {
    r.Status = TBufferResult::Failure(Framed("Cannot open", FileName, SystemText(errno)));
    return r;
  }
  try {
    // Read in growing blocks: the size on disk may change under us or be unknown (pipes).
    std::size_t have = 0;
    r.Bytes.resize(64 * 1024);
    for (;;) {
      const std::size_t got = std::fread(r.Bytes.data() + have, 1, r.Bytes.size() - have, f.get());
      have += got;
      if (have < r.Bytes.size()) break;
      r.Bytes.resize(r.Bytes.size() * 2);
    }
    r.Bytes.resize(have);
  } catch (const std::bad_alloc&) {
    r.Bytes = {};
    r.Status = TBufferResult::Failure(Framed("Cannot read", FileName, "Out of memory"));
    return r;
  }
  if (std::ferror(f.get())) {
    r.Bytes = {};
    r.Status = TBufferResult::Failure(Framed("Cannot read", FileName, SystemText(errno)));
  }
  return r;
}

TBufferResult BufferResultOf(const TFileFailure& Error) {
  static constexpr const char* kVerbs[] = {"Cannot open", "Cannot create", "Cannot read",
                                           "Cannot write", "Cannot lock"};
  return TBufferResult::Failure(
      Framed(kVerbs[static_cast<std::size_t>(Error.Action)], Error.Path, Error.Reason));
}

}  // namespace quenvar
