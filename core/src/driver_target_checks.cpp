// The target (the ISP connector or a 24xx EEPROM in the socket), and what the
// driver checks before it sends an image: an empty buffer, and an image larger
// than the target memory.
#include <optional>

#include "quenvar/core/eeprom_types.h"
#include "quenvar/core/programmer_driver.h"

namespace quenvar {

void TProgrammerDriver::ClearTarget() {
  FFuseBoxes.clear();
  FFusesAsRead.clear();
  FSocketMode = false;
  FIspMode = false;
  FIdentifiedChip = nullptr;
  FLastIdentification.reset();
}

void TProgrammerDriver::SelectEeprom(std::size_t index) {
  const auto types = EepromTypes();
  if (index >= types.size()) return;
  ClearTarget();
  FEepromSizeCode = types[index].FSizeCode;
  FEepromPageSize = types[index].FPageSize;
  FSocketMode = true;
  FCodeSize = EepromReadSize(FEepromSizeCode);
}

void TProgrammerDriver::SelectIsp() {
  ClearTarget();
  FIspMode = true;
}

bool TProgrammerDriver::Offers(TRequestedOperation operation) const {
  if (FIspMode) return true;
  if (!FSocketMode) return false;
  switch (operation) {
    case TRequestedOperation::Erase:
    case TRequestedOperation::ProgramFlash:
    case TRequestedOperation::Verify:
    case TRequestedOperation::ReadFlash:
      return true;
    default:
      return false;
  }
}

bool TProgrammerDriver::AdmitImage(TRequestedOperation operation) {
  FLastRefusal.reset();
  const std::int64_t length = BufferLength();
  std::optional<TOperationRefusal> refusal;
  if (length <= 0) {
    // An erase followed by nothing, or a verify that never gets its reply.
    refusal = TOperationRefusal{TRefusal::EmptyImage, 0, 0};
  } else if (FSocketMode && operation != TRequestedOperation::ProgramEeprom) {
    // The 24xx size is known now; an ISP chip's only after its identification.
    const std::int64_t size = EepromReadSize(FEepromSizeCode);
    if (length > size) refusal = TOperationRefusal{TRefusal::ImageTooLarge, length, size};
  }
  if (!refusal) return true;
  FErrorFlag = false;  // nothing runs, so nothing is left to report
  Refuse(*refusal);
  return false;
}

bool TProgrammerDriver::ImageFitsChip() {
  if (FIdentifiedChip == nullptr) {
    // A locked chip tells no size. The window goes on as with any chip; a
    // front end that must not erase blindly asks for the refusal.
    if (!WritesImage(FRequestedOperation) || !FRefuseLockedChip) return true;
    StopReplyTimer();
    Refuse({TRefusal::ChipLocked, BufferLength(), 0});
    FErrorFlag = true;
    FFailure = TOperationResult::Refused;
    FProtocolState = TProtocolState::Idle;
    return false;
  }
  std::int64_t size = 0;
  switch (FRequestedOperation) {
    case TRequestedOperation::ProgramFlash:
    case TRequestedOperation::Verify:
      size = FlashSizeBytes(*FIdentifiedChip);
      break;
    case TRequestedOperation::ProgramEeprom:
      size = FIdentifiedChip->FEepromSize;
      break;
    default:
      return true;
  }
  const std::int64_t length = BufferLength();
  if (length <= size) return true;
  StopReplyTimer();
  Refuse({TRefusal::ImageTooLarge, length, size});
  FErrorFlag = true;
  FFailure = TOperationResult::Refused;
  FProtocolState = TProtocolState::Idle;
  return false;
}

void TProgrammerDriver::Refuse(const TOperationRefusal& refusal) {
  FLastRefusal = refusal;
  FEvents->OnImageRefused(refusal);
}

}  // namespace quenvar
