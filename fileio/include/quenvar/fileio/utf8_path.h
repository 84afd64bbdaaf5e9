#pragma once
// This program's file names are UTF-8 strings on every system. A narrow string
// turned into a std::filesystem::path (and back with string()) is taken in the
// system's ANSI code page on Windows, which mangles every other name; these go
// through UTF-8 explicitly.

#include <filesystem>
#include <string>
#include <string_view>

namespace quenvar {

std::filesystem::path PathOfUtf8(std::string_view name);
std::string Utf8OfPath(const std::filesystem::path& path);

}  // namespace quenvar
