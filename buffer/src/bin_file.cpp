#include "quenvar/buffer/bin_file.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <new>
#include <system_error>

namespace quenvar {

namespace {

namespace fs = std::filesystem;

std::string SystemText(int Error) {
  return std::make_error_code(static_cast<std::errc>(Error ? Error : EIO)).message();
}

std::string Framed(const char* What, const std::string& FileName, const std::string& Why) {
  return std::string(What) + " " + FileName + ".\r\n(" + Why + ".)";
}

struct TCloser {
  void operator()(std::FILE* F) const { std::fclose(F); }
};
using TFile = std::unique_ptr<std::FILE, TCloser>;

bool WriteProtected(const fs::path& Path) {
  std::error_code ec;
  const fs::perms p = fs::status(Path, ec).permissions();
  return !ec && (p & fs::perms::owner_write) == fs::perms::none;
}

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

TBufferResult WriteFileAtomically(const std::string& FileName,
                                  std::span<const std::uint8_t> Bytes) {
  std::error_code ec;
  fs::path target(FileName);
  if (fs::is_symlink(target, ec)) {
    const fs::path resolved = fs::weakly_canonical(target, ec);
    if (!ec) target = resolved;
  }
  const bool exists = fs::exists(target, ec);
  if (exists && fs::is_directory(target, ec))
    return TBufferResult::Failure(Framed("Cannot create", FileName, SystemText(EISDIR)));
  // Renaming over a write-protected file would slip past its protection.
  if (exists && WriteProtected(target))
    return TBufferResult::Failure(Framed("Cannot create", FileName, SystemText(EACCES)));

  // A fresh name next to the target; "x" makes sure no other file is clobbered.
  fs::path temp;
  TFile out;
  int openError = 0;
  for (int attempt = 0; attempt < 100 && !out; ++attempt) {
    temp = target;
    temp += ".~tmp" + std::to_string(attempt);
    errno = 0;
    out.reset(std::fopen(temp.c_str(), "wbx"));
    openError = errno;
    if (!out && openError != EEXIST) break;
  }
  if (!out) return TBufferResult::Failure(Framed("Cannot create", FileName, SystemText(openError)));

  errno = 0;
  bool ok = Bytes.empty() || std::fwrite(Bytes.data(), 1, Bytes.size(), out.get()) == Bytes.size();
  ok = std::fflush(out.get()) == 0 && ok;
  int writeError = errno;
  ok = std::fclose(out.release()) == 0 && ok;
  if (!ok) {
    if (!writeError) writeError = errno;
    fs::remove(temp, ec);
    return TBufferResult::Failure(Framed("Cannot write", FileName, SystemText(writeError)));
  }
  if (exists) {
    const fs::perms p = fs::status(target, ec).permissions();
    if (!ec) fs::permissions(temp, p, ec);
  }
  fs::rename(temp, target, ec);
  if (ec) {
    std::error_code ignored;
    fs::remove(temp, ignored);
    return TBufferResult::Failure(Framed("Cannot create", FileName, ec.message()));
  }
  return TBufferResult::Success();
}

}  // namespace quenvar
