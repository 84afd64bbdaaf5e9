#pragma once
// Checked before the programmer is touched: whether a file can be put in
// place of an output name, by creating a temporary file beside it as the save
// will.

#include <string>

namespace quenvar {

// 0 when it can; else the system's error number.
int CreateError(const std::string& target);

// Empty when it can; else the save's own message, e.g.
// "Cannot create out/r.bin.\r\n(Permission denied.)".
std::string CannotCreate(const std::string& target);

}  // namespace quenvar
