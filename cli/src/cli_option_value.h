#pragma once
// One option's value from the command line, shared by the option parsers.

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace quenvar {

// "--name=value" or "--name value"; advances `i` past what it used. `matched`
// tells whether args[i] is the option at all; false: it is, but its value is missing.
bool TakeValue(std::span<const std::string> args, std::size_t& i, std::string_view name,
               std::string& value, bool& matched);

}  // namespace quenvar
