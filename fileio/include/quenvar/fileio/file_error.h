#pragma once
// A file error says what was tried (its kind), on which path, and the system's
// own message ("No space left on device"), never a guess.

#include <string>

#include "quenvar/base/result.h"

namespace quenvar {

// The error of a failed system call: its errno (on Windows its GetLastError
// code), or a general I/O error when there is none.
TError SystemFileError(TErrorKind kind, std::string path, int code);

// A file refused for what it is rather than by a system call.
TError NotARegularFile(TErrorKind kind, std::string path);

// What the system says for the code: std::generic_category's text ("Is a
// directory"), on Windows FormatMessageW's in UTF-8 ("Access is denied").
std::string SystemMessage(int code);

}  // namespace quenvar
