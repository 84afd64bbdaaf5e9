#include "quenvar/fileio/file_error.h"

namespace quenvar {

TError NotARegularFile(TErrorKind kind, std::string path) {
  return TError{kind, "Not a regular file", 0, std::move(path)};
}

}  // namespace quenvar
