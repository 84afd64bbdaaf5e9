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
  TIdentifyResult result = IdentifySignature(signature, FIspMode);
  FEvents->OnLogLine(result.FLogLine);
  FLastIdentification = result.FOutcome;
  if (result.FErrorFlag) {
    FErrorFlag = true;  // the continuation ends the operation
    FCodeSize.reset();
    FEvents->OnChipIdentified({result.FOutcome, nullptr});
    return;
  }
  if (result.FIdentifiedChip != nullptr) FCodeSize = FlashSizeBytes(*result.FIdentifiedChip);
  if (result.FFuseList) {
    FFuseBoxes = std::move(*result.FFuseList);
    FFusesAsRead = CheckedFuses();
  }
  FIdentifiedChip = result.FIdentifiedChip;
  FEvents->OnChipIdentified({result.FOutcome, FIdentifiedChip});
}

bool TProgrammerDriver::ChipNeedsFuseRead() const {
  return quenvar::ChipNeedsFuseRead(FIdentifiedChip);
}

void TProgrammerDriver::StartReadFuses() {
  Log(TLogText::ReadingFuses);
  FProtocolState = TProtocolState::AwaitFuseRead;
  FOutReport[kCommandByte] = kCmdReadFuses;
  PutFuseRecords(FOutReport, FuseReadRecords(FIdentifiedChip));
  SendReport();
}

void TProgrammerDriver::ShowFuses(std::span<const std::uint8_t> reply) {
  const TFuseReadout readout = MapFuseReply(FIdentifiedChip, reply);
  for (const TFuseBoxChange& change : readout.FBoxes)
    if (change.FIndex < FFuseBoxes.size()) FFuseBoxes[change.FIndex].FChecked = change.FChecked;
  FEvents->OnFusesRead(readout.FBoxes);
  for (const TLogLine& line : readout.FLogLines) FEvents->OnLogLine(line);
  FFusesAsRead = CheckedFuses();
}

void TProgrammerDriver::StartWriteFuses() {
  Log(TLogText::WritingFuses);
  FOutReport[kCommandByte] = kCmdWriteFuses;
  PutFuseRecords(FOutReport, FuseWriteRecords(FIdentifiedChip, CheckedFuses()));
  FProtocolState = TProtocolState::AwaitFuseWrite;
  SendReport();
}

void TProgrammerDriver::SetFuseState(std::size_t index, bool programmed) {
  if (index < FFuseBoxes.size()) FFuseBoxes[index].FChecked = programmed;
}

std::vector<bool> TProgrammerDriver::CheckedFuses() const {
  std::vector<bool> checked;
  checked.reserve(FFuseBoxes.size());
  for (const TFuseBox& box : FFuseBoxes) checked.push_back(box.FChecked);
  return checked;
}

}  // namespace quenvar
