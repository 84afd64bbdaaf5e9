#include "output_check.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <random>
#include <system_error>

namespace quenvar {

std::string CannotCreate(const std::string& target) {
  const int error = CreateError(target);
  if (error == 0) return {};
  return "Cannot create " + target + ".\r\n(" +
         std::make_error_code(static_cast<std::errc>(error)).message() + ".)";
}

int CreateError(const std::string& target) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (fs::is_directory(target, ec)) return EISDIR;
  // The probe follows a link to its file's folder, as the save does.
  fs::path folderOf = target;
  if (fs::is_symlink(folderOf, ec)) {
    const fs::path resolved = fs::weakly_canonical(folderOf, ec);
    if (!ec) folderOf = resolved;
  }
  std::random_device random;
  int error = EEXIST;
  for (int attempt = 0; attempt < 20 && error == EEXIST; ++attempt) {
    fs::path probe = folderOf;
    probe += ".~probe" + std::to_string(random());
    errno = 0;
    // "x": an existing file or link of that name is never opened.
    std::FILE* file = std::fopen(probe.string().c_str(), "wbx");
    if (file != nullptr) {
      std::fclose(file);
      fs::remove(probe, ec);
      return 0;
    }
    error = errno ? errno : EIO;
  }
  return error;
}

}  // namespace quenvar
