#include "quenvar/core/identify.h"

#include <algorithm>

#include "quenvar/core/chip_texts.h"

namespace quenvar {

std::vector<TFuseBox> FuseBoxesFor(const ChipInfo& chip) {
  std::vector<TFuseBox> boxes;
  boxes.reserve(chip.FuseItems.size());
  for (std::string_view caption : chip.FuseItems) {
    boxes.push_back({std::string(caption), false, true});
  }
  for (std::uint8_t index : chip.DisabledItems) {
    if (index < boxes.size()) boxes[index].Enabled = false;
  }
  return boxes;
}

TIdentifyResult IdentifySignature(const TSignature& reply, bool IspMode) {
  TIdentifyResult result;
  result.LogLine = SignatureLogLine(reply);

  const bool locked = reply[0] == 0x00 && reply[1] == 0x01 && reply[2] == 0x02;
  const ChipInfo* chip = reply[0] == 0x1E ? FindChip(reply) : nullptr;

  if (chip != nullptr) {
    result.Outcome = TIdentifyOutcome::Known;
    result.IdentifiedChip = chip;
    result.AutoDevice = std::string(chip->Name);
    result.CodeSize = std::string(chip->FlashSizeText);
    result.FuseList = FuseBoxesFor(*chip);
  } else if (locked) {
    // Not an error: the operation goes on, without a chip (size and list stay).
    result.Outcome = TIdentifyOutcome::Locked;
    result.AutoDevice = std::string(DeviceLockedText);
  } else {
    result.Outcome = reply[0] == 0x1E ? TIdentifyOutcome::NotInTable : TIdentifyOutcome::Invalid;
    result.ErrorFlag = true;
    result.CodeSize = std::string();
    result.Next = TIdentifyNext::Stop;
    return result;
  }

  result.Next = IspMode && ChipNeedsFuseRead(result.IdentifiedChip) ? TIdentifyNext::ReadFuses
                                                                    : TIdentifyNext::Continue;
  return result;
}

}  // namespace quenvar
