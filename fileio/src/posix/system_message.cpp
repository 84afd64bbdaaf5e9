#include <cerrno>
#include <system_error>

#include "quenvar/fileio/file_error.h"

namespace quenvar {

std::string SystemMessage(int code) {
  return std::generic_category().message(code);
}

TError SystemFileError(TErrorKind kind, std::string path, int code) {
  if (code == 0) code = EIO;
  return TError{kind, SystemMessage(code), code, std::move(path)};
}

}  // namespace quenvar
