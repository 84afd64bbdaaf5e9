// What the atomic save does the same way on every system; the system calls
// are in posix/ and win32/.
#include "quenvar/fileio/atomic_file.h"

namespace quenvar {

TAtomicFile::~TAtomicFile() {
  Abort();
}

TFileResult TAtomicFile::Fail(TFileFailure error) {
  Abort();
  FFailure = std::move(error);
  return TFileResult::Failure(*FFailure);
}

TFileResult WriteFileAtomically(const std::string& target, std::span<const std::uint8_t> bytes) {
  TFileExpected<TAtomicFile> file = TAtomicFile::Create(target);
  if (!file) return TFileResult::Failure(file.Error());
  if (TFileResult written = file.Value().Write(bytes); !written) return written;
  return file.Value().Commit();
}

}  // namespace quenvar
