#pragma once
// Turning the programmer's signature reply into the chip shown in the window.
// Pure: the caller applies the result to its state and view.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "quenvar/core/chip_table.h"
#include "quenvar/core/log_line.h"

namespace quenvar {

// One box of the fuse list as identification creates it.
struct TFuseBox {
  std::string FCaption;
  bool FChecked = false;
  bool FEnabled = true;

  bool operator==(const TFuseBox&) const = default;
};

enum class TIdentifyOutcome : std::uint8_t {
  Known,       // 1E xx xx found in the table
  Locked,      // 00 01 02: a locked chip, not an error
  NotInTable,  // 1E xx xx not in the table
  Invalid,     // any other first byte
};

// What the driver does after the signature reply.
enum class TIdentifyNext : std::uint8_t {
  ReadFuses,  // StartReadFuses, continue after its 'r'
  Continue,   // the requested operation's next step
  Stop,       // failed: ProtocolState := Idle, the operation ends with an error
};

struct TIdentifyResult {
  TIdentifyOutcome FOutcome = TIdentifyOutcome::Invalid;
  const TChipInfo* FIdentifiedChip = nullptr;  // new IdentifiedChip (nullptr unless Known)
  TLogLine FLogLine;                           // "ID: ..." to append
  // New texts; unset means "keep what is shown". A failure empties the size;
  // what AutoDevice shows then is the front end's error word.
  std::optional<std::string> FAutoDevice;
  std::optional<std::string> FCodeSize;
  // Set: replace the whole fuse list by these boxes.
  std::optional<std::vector<TFuseBox>> FFuseList;
  bool FErrorFlag = false;
  TIdentifyNext FNext = TIdentifyNext::Stop;
};

// The signature reply 's' r1 r2 r3. IspMode decides whether a fuse read follows.
TIdentifyResult IdentifySignature(const TSignature& reply, bool ispMode);

// The fresh fuse list of a chip: every box unchecked, greyed items disabled.
std::vector<TFuseBox> FuseBoxesFor(const TChipInfo& chip);

}  // namespace quenvar
