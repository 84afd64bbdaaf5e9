// What the driver checks before it sends an image: the re-read of its file,
// an empty buffer, and an image larger than the target memory.
#include <exception>
#include <optional>

#include "quenvar/core/eeprom_types.h"
#include "quenvar/core/programmer_session.h"

namespace quenvar {

bool TProgrammerSession::ReloadFile() {
  if (!FWindow.Checked("updatebuffer") || FPorts.Reloader == nullptr) return true;
  try {
    // A format error was shown by the reader; the operation still starts.
    ErrorFlag = !FPorts.Reloader->LoadFile();
    return true;
  } catch (const std::exception& e) {
    // The file is gone or unreadable: programming the old buffer would write
    // stale data, so the click is abandoned.
    if (OnError) OnError(e.what());
    return false;
  }
}

bool TProgrammerSession::AdmitImage(TRequestedOperation operation) {
  FLastRefusal.reset();
  if (!ReloadFile()) return false;
  const std::int64_t length = FPorts.Buffer != nullptr ? FPorts.Buffer->DataLength() : 0;
  std::optional<TOperationRefusal> refusal;
  if (length <= 0) {
    // An erase followed by nothing, or a verify that never gets its reply.
    refusal = TOperationRefusal{TRefusal::EmptyImage, 0, 0};
  } else if (SocketMode && operation != TRequestedOperation::ProgramEeprom) {
    // The 24xx size is known now; an ISP chip's only after its identification.
    const std::int64_t size = EepromReadSize(EepromSizeCode);
    if (length > size) refusal = TOperationRefusal{TRefusal::ImageTooLarge, length, size};
  }
  if (!refusal) return true;
  ErrorFlag = false;  // nothing runs, so nothing is left to report
  Refuse(*refusal);
  return false;
}

bool TProgrammerSession::ImageFitsChip() {
  const bool writesImage = RequestedOperation == TRequestedOperation::ProgramFlash ||
                           RequestedOperation == TRequestedOperation::Verify ||
                           RequestedOperation == TRequestedOperation::ProgramEeprom;
  if (IdentifiedChip == nullptr) {
    // A locked chip tells no size. The window goes on as with any chip; a
    // front end that must not erase blindly asks for the refusal.
    if (!writesImage || !RefuseLockedChip) return true;
    StopReplyTimer();
    Refuse({TRefusal::ChipLocked, FPorts.Buffer != nullptr ? FPorts.Buffer->DataLength() : 0, 0});
    ErrorFlag = true;
    ProtocolState = TProtocolState::Idle;
    return false;
  }
  std::int64_t size = 0;
  switch (RequestedOperation) {
    case TRequestedOperation::ProgramFlash:
    case TRequestedOperation::Verify:
      size = FlashSizeBytes(*IdentifiedChip);
      break;
    case TRequestedOperation::ProgramEeprom:
      size = IdentifiedChip->EepromSize;
      break;
    default:
      return true;
  }
  const std::int64_t length = FPorts.Buffer != nullptr ? FPorts.Buffer->DataLength() : 0;
  if (length <= size) return true;
  StopReplyTimer();
  Refuse({TRefusal::ImageTooLarge, length, size});
  ErrorFlag = true;
  ProtocolState = TProtocolState::Idle;
  return false;
}

void TProgrammerSession::Refuse(const TOperationRefusal& refusal) {
  FLastRefusal = refusal;
  if (OnRefused) OnRefused(refusal);
}

void TProgrammerSession::EndWithError(const std::string& message) {
  StopReplyTimer();
  if (OnError) OnError(message);
  ErrorFlag = true;
  ProtocolState = TProtocolState::Idle;
}

}  // namespace quenvar
