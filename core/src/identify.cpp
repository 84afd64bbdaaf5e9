#include "quenvar/core/identify.h"

#include <algorithm>

#include "quenvar/core/chip_texts.h"

namespace quenvar {

std::vector<TFuseBox> FuseBoxesFor(const TChipInfo& chip) {
  std::vector<TFuseBox> boxes;
  boxes.reserve(chip.FFuseItems.size());
  for (std::string_view caption : chip.FFuseItems) {
    boxes.push_back({std::string(caption), false, true});
  }
  for (std::uint8_t index : chip.FDisabledItems) {
    if (index < boxes.size()) boxes[index].FEnabled = false;
  }
  return boxes;
}

TIdentifyResult IdentifySignature(const TSignature& reply, bool ispMode) {
  TIdentifyResult result;
  result.FLogLine = SignatureLogLine(reply);

  const bool locked = reply[0] == 0x00 && reply[1] == 0x01 && reply[2] == 0x02;
  const TChipInfo* chip = reply[0] == 0x1E ? FindChip(reply) : nullptr;

  if (chip != nullptr) {
    result.FOutcome = TIdentifyOutcome::Known;
    result.FIdentifiedChip = chip;
    result.FAutoDevice = std::string(chip->FName);
    result.FCodeSize = std::string(chip->FFlashSizeText);
    result.FFuseList = FuseBoxesFor(*chip);
  } else if (locked) {
    // Not an error: the operation goes on, without a chip (size and list stay).
    result.FOutcome = TIdentifyOutcome::Locked;
    result.FAutoDevice = std::string(kDeviceLockedText);
  } else {
    result.FOutcome = reply[0] == 0x1E ? TIdentifyOutcome::NotInTable : TIdentifyOutcome::Invalid;
    result.FErrorFlag = true;
    result.FCodeSize = std::string();
    result.FNext = TIdentifyNext::Stop;
    return result;
  }

  result.FNext = ispMode && ChipNeedsFuseRead(result.FIdentifiedChip) ? TIdentifyNext::ReadFuses
                                                                      : TIdentifyNext::Continue;
  return result;
}

}  // namespace quenvar
