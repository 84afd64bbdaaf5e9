#include "quenvar/presenter/dialog_filter.h"

namespace quenvar {

namespace {

std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find(separator, start);
    if (end == std::string_view::npos) {
      parts.push_back(text.substr(start));
      return parts;
    }
    parts.push_back(text.substr(start, end - start));
    start = end + 1;
  }
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

}  // namespace

std::vector<std::string> QtNameFilters(std::string_view filter) {
  std::vector<std::string> filters;
  if (filter.empty()) return filters;
  const std::vector<std::string_view> parts = Split(filter, '|');
  for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
    std::string_view description = parts[i];
    if (!description.empty() && description.back() == ')') {
      const std::size_t open = description.rfind('(');
      if (open != std::string_view::npos) description = description.substr(0, open);
    }
    std::string patterns;
    for (const std::string_view raw : Split(parts[i + 1], ';')) {
      std::string_view pattern = Trim(raw);
      if (pattern.empty()) continue;
      if (pattern == "*.*") pattern = "*";
      if (!patterns.empty()) patterns.push_back(' ');
      patterns.append(pattern);
    }
    if (patterns.empty()) patterns = "*";
    std::string entry(Trim(description));
    entry.append(" (").append(patterns).append(")");
    filters.push_back(std::move(entry));
  }
  return filters;
}

}  // namespace quenvar
