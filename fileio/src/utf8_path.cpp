#include "quenvar/fileio/utf8_path.h"

namespace quenvar {

std::filesystem::path PathOfUtf8(std::string_view name) {
  return std::filesystem::path(std::u8string(name.begin(), name.end()));
}

std::string Utf8OfPath(const std::filesystem::path& path) {
  const std::u8string name = path.u8string();
  return std::string(name.begin(), name.end());
}

}  // namespace quenvar
