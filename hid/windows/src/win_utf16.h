#pragma once
// UTF-8 <-> UTF-16 for device paths. A lone surrogate, which Windows allows in
// names, is kept as its 3-byte form, so every UTF-16 path comes back whole.

#include <optional>
#include <string>
#include <string_view>

namespace quenvar::win {

std::string Utf16ToUtf8(std::u16string_view text);
// Nullopt for bytes that are no UTF-8 (overlong forms, cut sequences, values
// above U+10FFFF).
std::optional<std::u16string> Utf8ToUtf16(std::string_view text);

}  // namespace quenvar::win
