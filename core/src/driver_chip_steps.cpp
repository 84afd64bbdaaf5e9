// The driver's identification and fuse steps; the chip knowledge itself lives
// in the chip table, identification and fuse functions.
#include <vector>

#include "quenvar/core/fuses.h"
#include "quenvar/core/identify.h"
#include "quenvar/core/programmer_driver.h"

namespace quenvar {

void TProgrammerDriver::IdentifyChip(std::span<const std::uint8_t> reply) {
  TSignature signature{};
  for (std::size_t i = 0; i < signature.size(); ++i)
    signature[i] = i + 1 < reply.size() ? reply[i + 1] : 0;
  TIdentifyResult result = IdentifySignature(signature, IspMode);
  FEvents->OnLogLine(result.LogLine);
  FLastIdentification = result.Outcome;
  if (result.ErrorFlag) {
    ErrorFlag = true;  // the continuation ends the operation
    FCodeSize.reset();
    FEvents->OnChipIdentified({result.Outcome, nullptr});
    return;
  }
  if (result.IdentifiedChip != nullptr) FCodeSize = FlashSizeBytes(*result.IdentifiedChip);
  if (result.FuseList) {
    FFuseBoxes = std::move(*result.FuseList);
    FFusesAsRead = CheckedFuses();
  }
  IdentifiedChip = result.IdentifiedChip;
  FEvents->OnChipIdentified({result.Outcome, IdentifiedChip});
}

bool TProgrammerDriver::ChipNeedsFuseRead() const {
  return quenvar::ChipNeedsFuseRead(IdentifiedChip);
}

void TProgrammerDriver::StartReadFuses() {
  Log(TLogText::ReadingFuses);
  ProtocolState = TProtocolState::AwaitFuseRead;
  OutReport[kCommandByte] = kCmdReadFuses;
  PutFuseRecords(OutReport, FuseReadRecords(IdentifiedChip));
  SendReport();
}

void TProgrammerDriver::ShowFuses(std::span<const std::uint8_t> reply) {
  const TFuseReadout readout = MapFuseReply(IdentifiedChip, reply);
  for (const TFuseBoxChange& change : readout.Boxes)
    if (change.Index < FFuseBoxes.size()) FFuseBoxes[change.Index].Checked = change.Checked;
  FEvents->OnFusesRead(readout.Boxes);
  for (const TLogLine& line : readout.LogLines) FEvents->OnLogLine(line);
  FFusesAsRead = CheckedFuses();
}

void TProgrammerDriver::StartWriteFuses() {
  Log(TLogText::WritingFuses);
  OutReport[kCommandByte] = kCmdWriteFuses;
  PutFuseRecords(OutReport, FuseWriteRecords(IdentifiedChip, CheckedFuses()));
  ProtocolState = TProtocolState::AwaitFuseWrite;
  SendReport();
}

void TProgrammerDriver::SetFuseState(std::size_t index, bool programmed) {
  if (index < FFuseBoxes.size()) FFuseBoxes[index].Checked = programmed;
}

std::vector<bool> TProgrammerDriver::CheckedFuses() const {
  std::vector<bool> checked;
  checked.reserve(FFuseBoxes.size());
  for (const TFuseBox& box : FFuseBoxes) checked.push_back(box.Checked);
  return checked;
}

}  // namespace quenvar
