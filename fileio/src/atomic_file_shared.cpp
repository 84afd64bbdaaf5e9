// What the atomic save does the same way on every system; the system calls
// are in posix/ and win32/.
#include "quenvar/fileio/atomic_file.h"

namespace quenvar {

TAtomicFile::~TAtomicFile() {
  Abort();
}

TResult<void> TAtomicFile::Fail(TError error) {
  Abort();
  FFailure = std::move(error);
  return *FFailure;
}

TResult<void> WriteFileAtomically(const std::string& target, std::span<const std::uint8_t> bytes) {
  TResult<TAtomicFile> file = TAtomicFile::Create(target);
  if (!file) return file.Error();
  if (TResult<void> written = file.Value().Write(bytes); !written) return written;
  return file.Value().Commit();
}

}  // namespace quenvar
