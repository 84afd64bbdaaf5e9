#pragma once
// The programmer's wire format, as both ends of the link see it: the USB ids,
// the report layout, the command codes, the reply bytes and the parameter
// encodings. Names only; what the numbers mean for an operation is up to the
// driver on one side and the firmware (or the simulator) on the other.

#include <cstddef>
#include <cstdint>

namespace quenvar {

inline constexpr std::uint16_t kProgrammerVendorId = 0x0451;
inline constexpr std::uint16_t kProgrammerProductId = 0x3210;

// Both directions carry the report id byte (always 0) and 64 bytes.
inline constexpr std::size_t kOutReportSize = 65;
inline constexpr std::size_t kInReportSize = 65;

// Byte positions in the output report.
inline constexpr std::size_t kReportIdByte = 0;
inline constexpr std::size_t kTargetByte = 1;
inline constexpr std::size_t kCommandByte = 2;
inline constexpr std::size_t kParam1Byte = 3;
inline constexpr std::size_t kParam2Byte = 4;
inline constexpr std::size_t kParam3Byte = 5;
inline constexpr std::size_t kPayloadByte = 6;
// The last byte of the output report carries nothing.
inline constexpr std::size_t kUnusedOutByte = kOutReportSize - 1;

// Byte positions in an input report: the reply code (in a read stream, the
// count of data bytes), then what the reply carries.
inline constexpr std::size_t kReplyCodeByte = 1;
inline constexpr std::size_t kReplyDataByte = 2;

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
// Parameter 2 of a chunk: 0 marks the last one.
inline constexpr std::uint8_t kLastChunk = 0;

// Fuse commands: parameter 1 counts the 3-byte instruction records that start
// at kFuseRecordByte; as many as fit before the unused last byte.
inline constexpr std::size_t kFuseRecordByte = 4;
inline constexpr std::size_t kFuseRecordSize = 3;
inline constexpr std::size_t kMaxFuseRecords = (kUnusedOutByte - kFuseRecordByte) / kFuseRecordSize;

// Flash read on the ISP connector: parameter 1 counts KiB.
inline constexpr std::uint32_t kFlashReadSizeUnit = 1024;

// EEPROM read: a parameter up to kEepromReadByteCodes is the byte count; above
// it, each step adds kEepromReadSizeStep bytes.
inline constexpr std::uint8_t kEepromReadByteCodes = 128;
inline constexpr std::uint32_t kEepromReadSizeStep = 256;

// 24xx size code (erase and read in the socket): code times k24xxSizeUnit
// bytes, except for three codes that name a size of their own.
inline constexpr std::uint32_t k24xxSizeUnit = 128;
inline constexpr std::uint8_t k24xxSizeCode16 = 0;
inline constexpr std::uint8_t k24xxSizeCode32K = 129;
inline constexpr std::uint8_t k24xxSizeCode64K = 130;

// Flash page code (ISP write, parameter 3): up to kFlashPageByteWise the chip
// is programmed byte by byte; up to kFlashPageWordCodes the code is the page
// in words; the codes above name pages of 16, 32, 64 ... words.
inline constexpr std::uint8_t kFlashPageByteWise = 1;
inline constexpr std::uint8_t kFlashPageWordCodes = 128;
inline constexpr std::uint8_t kFlashPage16Words = 129;

}  // namespace quenvar
