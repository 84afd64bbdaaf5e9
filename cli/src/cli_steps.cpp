#include "cli_steps.h"

#include <ostream>

#include "cli_texts.h"
#include "quenvar/cli/cli.h"
#include "quenvar/core/chip_texts.h"

namespace quenvar {

int LoadImageFile(TFileOps& files, const TCustomMPHexEditor& editor, const std::string& name,
                  bool needData, std::uint8_t language, std::ostream& err) {
  const TOpenOutcome opened = files.OpenFile(name, language);
  switch (opened.FLoad.FStatus) {
    case TLoadStatus::Loaded:
      break;
    case TLoadStatus::FormatError:
    case TLoadStatus::FileError:
      err << opened.FLoad.FMessage << '\n';
      return kCliUsageOrFile;
    case TLoadStatus::Nothing:
      err << cli_texts::Fill(cli_texts::kNoFormat, language, {name}) << '\n';
      return kCliUsageOrFile;
  }
  // The window offers no write or verify of an empty buffer.
  if (needData && editor.DataLength() == 0) {
    err << cli_texts::Fill(cli_texts::kNoData, language, {name}) << '\n';
    return kCliUsageOrFile;
  }
  return kCliOk;
}

std::string ChipLine(const TProgrammerDriver& driver, std::uint8_t language) {
  const TChipInfo* chip = driver.IdentifiedChipValue();
  const std::string_view shown = driver.ChipLocked() ? kDeviceLockedText
                                 : chip != nullptr   ? chip->FName
                                                     : std::string_view();
  std::string line = cli_texts::Fill(cli_texts::kChip, language, {shown});
  if (driver.CodeSize())
    line += cli_texts::Fill(cli_texts::kChipFlash, language, {std::to_string(*driver.CodeSize())});
  return line;
}

std::vector<std::string> FuseLines(const TProgrammerDriver& driver) {
  std::vector<std::string> lines;
  for (const TFuseBox& item : driver.FuseBoxes())
    lines.push_back((item.FChecked ? "[x] " : "[ ] ") + item.FCaption +
                    (item.FEnabled ? "" : " (greyed)"));
  return lines;
}

}  // namespace quenvar
