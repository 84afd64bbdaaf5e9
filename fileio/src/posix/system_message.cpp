#include <cerrno>
#include <system_error>

#include "quenvar/fileio/file_result.h"

namespace quenvar {

std::string SystemMessage(int code) {
  return std::generic_category().message(code);
}

TFileFailure SystemFileFailure(TFileAction action, std::string path, int code) {
  if (code == 0) code = EIO;
  return TFileFailure{action, std::move(path), SystemMessage(code), code};
}

}  // namespace quenvar
