// The driver's identification and fuse steps; the chip knowledge itself lives
// in the chip table, identification and fuse functions.
#include <string>
#include <vector>

#include "quenvar/core/chip_texts.h"
#include "quenvar/core/fuse_guard.h"
#include "quenvar/core/fuses.h"
#include "quenvar/core/identify.h"
#include "quenvar/core/programmer_session.h"

namespace quenvar {

void TProgrammerSession::IdentifyChip(std::span<const std::uint8_t> reply) {
  TSignature signature{};
  for (std::size_t i = 0; i < signature.size(); ++i)
    signature[i] = i + 1 < reply.size() ? reply[i + 1] : 0;
  TIdentifyResult result = IdentifySignature(signature, LanguageIndex, IspMode);
  for (std::string& line : result.LogLines) FWindow.AddLine(std::move(line));
  if (result.ErrorFlag) {
    ErrorFlag = true;  // the continuation shows the failure texts
    return;
  }
  if (result.AutoDevice) FWindow.SetAutoDevice(*result.AutoDevice);
  if (result.CodeSize) FWindow.SetCodeSize(*result.CodeSize);
  if (result.FuseList) {
    std::vector<TFuseItem> items;
    items.reserve(result.FuseList->size());
    for (TFuseBox& box : *result.FuseList)
      items.push_back(TFuseItem{std::move(box.Caption), box.Checked, box.Enabled});
    FWindow.SetFuseList(std::move(items));
    FFusesAsRead = CheckedFuses();
  }
  IdentifiedChip = result.IdentifiedChip;
}

bool TProgrammerSession::ChipNeedsFuseRead() const {
  return quenvar::ChipNeedsFuseRead(IdentifiedChip);
}

void TProgrammerSession::StartReadFuses() {
  FWindow.AddLine(std::string(FuseReadStartText(LanguageIndex)));
  ProtocolState = TProtocolState::AwaitFuseRead;
  OutReport[kCommandByte] = kCmdReadFuses;
  PutFuseRecords(OutReport, FuseReadRecords(IdentifiedChip));
  SendReport();
}

void TProgrammerSession::ShowFuses(std::span<const std::uint8_t> reply) {
  const TFuseReadout readout = MapFuseReply(IdentifiedChip, reply);
  for (const TFuseBoxChange& change : readout.Boxes)
    FWindow.SetFuseChecked(change.Index, change.Checked);
  for (const std::string& line : readout.LogLines) FWindow.AddLine(line);
  FFusesAsRead = CheckedFuses();
}

void TProgrammerSession::StartWriteFuses() {
  FWindow.AddLine(std::string(FuseWriteStartText(LanguageIndex)));
  OutReport[kCommandByte] = kCmdWriteFuses;
  PutFuseRecords(OutReport, FuseWriteRecords(IdentifiedChip, CheckedFuses()));
  ProtocolState = TProtocolState::AwaitFuseWrite;
  SendReport();
}

void TProgrammerSession::FuseListClickCheck() {
  if (!FuseToggleEnablesWrite(FWindow.Checked("nAVRISP"))) return;
  FWindow.SetEnabled("bWriteFuse", true);
  FWindow.SetEnabled("nWritefuse", true);
}

std::vector<bool> TProgrammerSession::CheckedFuses() const {
  std::vector<bool> checked;
  checked.reserve(FWindow.FuseList().size());
  for (const TFuseItem& item : FWindow.FuseList()) checked.push_back(item.Checked);
  return checked;
}

bool TProgrammerSession::ConfirmFuseWrite() {
  // No chip: the write carries no records, so it cannot lock anything out.
  if (!AskYesNo || IdentifiedChip == nullptr) return true;
  const std::vector<std::string_view> bits =
      NewIspDisablingBits(IdentifiedChip->FuseItems, FFusesAsRead, CheckedFuses());
  return bits.empty() || AskYesNo(IspDisablingQuestion(bits, LanguageIndex));
}

void TProgrammerSession::ToggleFuse(std::size_t index) {
  const auto& items = FWindow.FuseList();
  if (index >= items.size() || !items[index].Enabled) return;
  FWindow.SetFuseChecked(index, !items[index].Checked);
  FuseListClickCheck();
}

}  // namespace quenvar
