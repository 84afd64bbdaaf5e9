#pragma once
// A fresh folder for one test, removed again afterwards, and whole-file reads
// and writes for what a test puts into it.

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace quenvar::test {

class TTempDir {
 public:
  TTempDir() {
    std::random_device rd;
    FPath = std::filesystem::temp_directory_path() /
            ("quenvar-test-" + std::to_string(rd()) + "-" + std::to_string(rd()));
    std::filesystem::create_directories(FPath);
  }
  ~TTempDir() {
    // A test may have taken rights away to provoke an error: give them back first.
    std::error_code ec;
    std::filesystem::permissions(FPath, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(FPath, ec))
      std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(FPath, ec);
  }
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;

  // UTF-8, as this program names files (path::string() would be the ANSI code
  // page on Windows).
  std::string operator/(const std::string& name) const {
    return Utf8(FPath / std::filesystem::path(std::u8string(name.begin(), name.end())));
  }
  std::string File(const std::string& name) const { return *this / name; }

  // Names of everything in the folder, sorted.
  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(FPath))
      names.push_back(Utf8(e.path().filename()));
    std::sort(names.begin(), names.end());
    return names;
  }

  std::filesystem::path FPath;

 private:
  static std::string Utf8(const std::filesystem::path& path) {
    const std::u8string name = path.u8string();
    return {name.begin(), name.end()};
  }
};

// Names are UTF-8, also on Windows, where a narrow name would be taken in the
// ANSI code page.
inline std::filesystem::path Utf8Path(const std::string& name) {
  return std::filesystem::path(std::u8string(name.begin(), name.end()));
}

inline void WriteText(const std::string& name, const std::string& text) {
  std::ofstream(Utf8Path(name), std::ios::binary) << text;
}

inline void WriteBytes(const std::string& name, const std::vector<std::uint8_t>& bytes) {
  std::ofstream(Utf8Path(name), std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

inline std::string ReadText(const std::string& name) {
  std::ifstream in(Utf8Path(name), std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::vector<std::uint8_t> ReadBytes(const std::string& name) {
  const std::string t = ReadText(name);
  return {t.begin(), t.end()};
}

}  // namespace quenvar::test
