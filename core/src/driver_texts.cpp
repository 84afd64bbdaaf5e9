#include "quenvar/core/driver_texts.h"

namespace quenvar {

std::string FillIn(std::string_view pattern, std::span<const std::string_view> args) {
  std::string text;
  text.reserve(pattern.size());
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const char digit = i + 1 < pattern.size() ? pattern[i + 1] : '\0';
    const std::size_t index = static_cast<std::size_t>(digit - '1');
    if (pattern[i] == '%' && digit >= '1' && digit <= '9' && index < args.size()) {
      text += args[index];
      ++i;
    } else {
      text += pattern[i];
    }
  }
  return text;
}

}  // namespace quenvar
