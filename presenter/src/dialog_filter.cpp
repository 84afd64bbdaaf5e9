#include "quenvar/presenter/dialog_filter.h"

namespace quenvar {

namespace {

std::vector<std::string_view> Split(std::string_view Text, char Separator) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = Text.find(Separator, start);
    if (end == std::string_view::npos) {
      parts.push_back(Text.substr(start));
      return parts;
    }
    parts.push_back(Text.substr(start, end - start));
    start = end + 1;
  }
}

std::string_view Trim(std::string_view Text) {
  while (!Text.empty() && Text.front() == ' ') Text.remove_prefix(1);
  while (!Text.empty() && Text.back() == ' ') Text.remove_suffix(1);
  return Text;
}

}  // namespace

std::vector<std::string> QtNameFilters(std::string_view Filter) {
  std::vector<std::string> filters;
  if (Filter.empty()) return filters;
  const std::vector<std::string_view> parts = Split(Filter, '|');
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
