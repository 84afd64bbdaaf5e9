#pragma once

#include <cctype>
#include <string>
#include <string_view>
#include <vector>

namespace quenvar::test {

// A parameterised case's name from free text, as GoogleTest needs it (letters, digits and '_'):
// each run of letters and digits becomes a word with a capital first letter, so that
// "unplug-after 3" reads "UnplugAfter3"; a minus sign before a number reads "Minus"; two words
// that would join digit to digit keep a '_' between them ("24AA02 / 24(L)C02B" is
// "24AA02_24LC02B"). Empty text is "Empty".
inline std::string CaseName(std::string_view text) {
  auto alnum = [](char c) { return c > 0 && std::isalnum(static_cast<unsigned char>(c)); };
  auto digit = [](char c) { return c >= '0' && c <= '9'; };
  std::string name;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const bool start = i == 0 || !alnum(text[i - 1]);
    if (c == '-' && start && i + 1 < text.size() && digit(text[i + 1])) {
      name += "Minus";
    } else if (alnum(c)) {
      if (start && !name.empty() && digit(name.back()) && digit(c)) name += '_';
      name += start ? static_cast<char>(std::toupper(static_cast<unsigned char>(c))) : c;
    }
  }
  return name.empty() ? "Empty" : name;
}

// The same for a list of words, such as command-line arguments; an empty word reads "empty",
// no words at all "None".
inline std::string CaseName(const std::vector<std::string>& words) {
  if (words.empty()) return "None";
  std::string text;
  for (const std::string& word : words) text += (word.empty() ? "empty" : word) + " ";
  return CaseName(std::string_view(text));
}

}  // namespace quenvar::test
