#pragma once
// UTF-8 <-> UTF-16 for the names Windows takes and gives (file names, device
// paths, arguments, messages). A lone surrogate, which Windows allows in names,
// is kept as its 3-byte form, so every UTF-16 name comes back whole.

#include <optional>
#include <string>
#include <string_view>

namespace quenvar {

std::string Utf16ToUtf8(std::u16string_view text);
// Nullopt for bytes that are no UTF-8 (overlong forms, cut sequences, values
// above U+10FFFF).
std::optional<std::u16string> Utf8ToUtf16(std::string_view text);

}  // namespace quenvar
