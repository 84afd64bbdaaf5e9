#pragma once

// File dialog filters: the language tables give them as "description|pattern"
// pairs separated by vertical bars; Qt's dialogs take one "description
// (patterns)" string per entry and read the patterns from the parentheses.

#include <string>
#include <string_view>
#include <vector>

namespace quenvar {

// One Qt name filter per pair, in order. The description's own parenthesised
// pattern list is replaced by the pair's pattern, and "*.*" becomes "*": on
// Linux a file needs no dot in its name, and "all files" must show it too.
// A trailing description without a pattern is dropped.
std::vector<std::string> QtNameFilters(std::string_view filter);

}  // namespace quenvar
