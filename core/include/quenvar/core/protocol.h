#pragma once
// The two state enumerations of the operation driver and its output report;
// the wire format itself is shared with the simulated firmware.

#include <array>
#include <cstdint>

#include "quenvar/protocol/protocol.h"

namespace quenvar {

enum class TProtocolState : std::uint8_t {
  AwaitSignature = 0,
  AwaitErase = 1,
  Writing = 2,
  AwaitFuseWrite = 3,
  AwaitFuseRead = 4,
  Verifying = 5,
  Reading = 8,
  Idle = 9,
};

enum class TRequestedOperation : std::uint8_t {
  Erase = 0,
  Verify = 1,
  ProgramFlash = 2,
  ReadFlash = 3,
  ReadEeprom = 4,
  ProgramEeprom = 5,
  WriteFuses = 6,
  DetectDevice = 7,
};

// The operations that send the buffer: checked against the target's memory first.
constexpr bool WritesImage(TRequestedOperation operation) {
  return operation == TRequestedOperation::ProgramFlash ||
         operation == TRequestedOperation::Verify ||
         operation == TRequestedOperation::ProgramEeprom;
}

using TOutReport = std::array<std::uint8_t, kOutReportSize>;

}  // namespace quenvar
