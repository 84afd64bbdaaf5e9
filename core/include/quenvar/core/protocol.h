#pragma once
// Report layout, command codes and reply bytes of the programmer, and the two
// state enumerations of the operation driver.

#include <array>
#include <cstddef>
#include <cstdint>

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

inline constexpr std::uint16_t kProgrammerVendorId = 0x0451;
inline constexpr std::uint16_t kProgrammerProductId = 0x3210;

inline constexpr std::size_t kOutReportSize = 65;
using TOutReport = std::array<std::uint8_t, kOutReportSize>;

// Byte positions in the output report.
inline constexpr std::size_t kReportIdByte = 0;
inline constexpr std::size_t kTargetByte = 1;
inline constexpr std::size_t kCommandByte = 2;
inline constexpr std::size_t kParam1Byte = 3;
inline constexpr std::size_t kParam2Byte = 4;
inline constexpr std::size_t kParam3Byte = 5;
inline constexpr std::size_t kPayloadByte = 6;

inline constexpr std::uint8_t kTargetSocket = 3;
inline constexpr std::uint8_t kTargetIsp = 5;

enum TCommand : std::uint8_t {
  kCmdReadSignature = 1,
  kCmdErase = 2,
  kCmdWriteFlash = 3,
  kCmdVerify = 4,
  kCmdReadFlash = 5,
  kCmdWriteFuses = 7,
  kCmdReadFuses = 8,
  kCmdWriteEeprom = 9,
  kCmdReadEeprom = 10,
};

enum TReply : std::uint8_t {
  kReplyNextChunk = '*',
  kReplyFailed = '!',
  kReplySignature = 's',
  kReplyErased = 'e',
  kReplyWritten = 'w',
  kReplyVerified = 'v',
  kReplyFusesWritten = 'f',
  kReplyFusesRead = 'r',
};

// Chunk sizes: 24xx page writes take 32 bytes, everything else 58.
inline constexpr std::size_t kChunkSize = 58;
inline constexpr std::size_t kSocketWriteChunkSize = 32;
// A data report holds at most this many data bytes after its count byte.
inline constexpr std::size_t kMaxDataPerReport = 63;

}  // namespace quenvar
