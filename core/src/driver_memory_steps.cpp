// Report sending, chunking and the start steps of the memory operations.
#include <algorithm>
#include <limits>
#include <string>
#include <vector>

#include "quenvar/core/eeprom_types.h"
#include "quenvar/core/programmer_driver.h"

namespace quenvar {

namespace {

std::uint8_t LowByte(std::uint16_t value) {
  return static_cast<std::uint8_t>(value & 0xFF);
}

}  // namespace

void TProgrammerDriver::SendReport() {
  if (FProgrammerDevice == nullptr) return;
  FOutReport[kReportIdByte] = 0;
  if (FSocketMode)
    FOutReport[kTargetByte] = kTargetSocket;
  else if (FIspMode)
    FOutReport[kTargetByte] = kTargetIsp;
  const std::size_t length = FProgrammerDevice->OutputReportLength();
  if (length <= FOutReport.size()) {
    FProgrammerDevice->WriteReport(std::span<const std::uint8_t>(FOutReport.data(), length));
    return;
  }
  // A device declaring longer reports gets ours padded with zeros.
  std::vector<std::uint8_t> padded(length, 0);
  std::copy(FOutReport.begin(), FOutReport.end(), padded.begin());
  FProgrammerDevice->WriteReport(padded);
}

void TProgrammerDriver::FillNextChunk() {
  // Only the write and verify commands carry buffer data. A late '*' after some
  // other command was sent must not turn buffer bytes into fuse records, an
  // erase or a read request.
  const std::uint8_t command = FOutReport[kCommandByte];
  if (command != kCmdWriteFlash && command != kCmdVerify && command != kCmdWriteEeprom) return;
  const std::int64_t total =
      std::min<std::int64_t>(BufferLength(), std::numeric_limits<std::int32_t>::max());
  const std::size_t chunk = (FSocketMode && FProtocolState == TProtocolState::Writing)
                                ? kSocketWriteChunkSize
                                : kChunkSize;
  if (FChunkPos < 0 || FChunkPos >= total) {
    Progress(FChunkPos, total);
    return;  // nothing left: no report
  }
  const std::size_t wanted =
      static_cast<std::size_t>(std::min<std::int64_t>(chunk, total - FChunkPos));
  // Only this chunk is copied, straight into the report.
  const std::size_t copied = FPorts.FBuffer->ReadRange(
      FChunkPos, std::span<std::uint8_t>(FOutReport.data() + kPayloadByte, wanted));
  if (copied == 0) {
    Progress(FChunkPos, total);
    return;
  }
  FChunkPos += static_cast<std::int32_t>(copied);
  Progress(FChunkPos, total);
  FOutReport[kParam1Byte] = static_cast<std::uint8_t>(copied);
  if (FChunkPos >= total)
    FOutReport[kParam2Byte] = 0;
  else
    FOutReport[kParam2Byte] = FSocketMode ? LowByte(FEepromSizeCode) : 1;
  SendReport();
}

void TProgrammerDriver::StartErase() {
  Log(TLogText::Erasing);
  FProtocolState = TProtocolState::AwaitErase;
  FOutReport[kCommandByte] = kCmdErase;
  if (FSocketMode) {
    FOutReport[kParam1Byte] = LowByte(FEepromSizeCode);
    FOutReport[kParam2Byte] = LowByte(FEepromPageSize);
  }
  SendReport();
}

void TProgrammerDriver::StartWriteFlash() {
  Log(TLogText::Writing);
  FProtocolState = TProtocolState::Writing;
  FOutReport[kCommandByte] = kCmdWriteFlash;
  FOutReport[kParam3Byte] = FSocketMode ? LowByte(FEepromPageSize) : FlashPageCode(FIdentifiedChip);
  FChunkPos = 0;
  FillNextChunk();
}

void TProgrammerDriver::StartWriteEeprom() {
  Log(TLogText::WritingEeprom);
  FProtocolState = TProtocolState::Writing;
  FOutReport[kCommandByte] = kCmdWriteEeprom;
  FChunkPos = 0;
  FillNextChunk();
}

void TProgrammerDriver::StartVerify() {
  Log(TLogText::Verifying);
  FProtocolState = TProtocolState::Verifying;
  FOutReport[kCommandByte] = kCmdVerify;
  FEvents->OnVerifyStarted();
  if (FSocketMode) FOutReport[kParam3Byte] = LowByte(FEepromPageSize);
  FChunkPos = 0;
  FillNextChunk();
}

void TProgrammerDriver::StartReadFlash() {
  Log(TLogText::Reading);
  FProtocolState = TProtocolState::Reading;
  FOutReport[kCommandByte] = kCmdReadFlash;
  if (FSocketMode) {
    FOutReport[kParam1Byte] = LowByte(FEepromSizeCode);
    FReadTotal = EepromReadSize(FEepromSizeCode);
  } else {
    if (!FCodeSize || *FCodeSize < 0 || *FCodeSize > std::numeric_limits<std::int32_t>::max()) {
      // E.g. a locked chip right after a target change leaves no size to read.
      const std::string shown = FCodeSize ? std::to_string(*FCodeSize) : std::string();
      EndWithError("'" + shown + "' is not a valid size in bytes.");
      return;
    }
    FReadTotal = static_cast<std::int32_t>(*FCodeSize);
    FOutReport[kParam1Byte] = static_cast<std::uint8_t>((FReadTotal / 1024) & 0xFF);
  }
  FReadData.clear();
  if (FReadTotal > 0 && FReadTotal <= (1 << 24))
    FReadData.reserve(static_cast<std::size_t>(FReadTotal));
  SendReport();
}

void TProgrammerDriver::StartReadEeprom() {
  Log(TLogText::ReadingEeprom);
  FProtocolState = TProtocolState::Reading;
  FOutReport[kCommandByte] = kCmdReadEeprom;
  FOutReport[kParam1Byte] = EepromSizeCodeFor(FIdentifiedChip);
  FReadTotal = EepromBytesExpected(FIdentifiedChip);
  FReadData.clear();
  SendReport();
}

void TProgrammerDriver::ReadDataStep(std::span<const std::uint8_t> data) {
  // The count byte may claim more than the report holds: take what is there.
  std::size_t count = data.empty() ? 0 : data[0];
  const std::size_t held = data.empty() ? 0 : data.size() - 1;
  count = std::min({count, held, kMaxDataPerReport});
  if (count > 0)
    FReadData.insert(FReadData.end(), data.begin() + 1,
                     data.begin() + 1 + static_cast<std::ptrdiff_t>(count));
  Progress(static_cast<std::int64_t>(FReadData.size()), FReadTotal);
  if (static_cast<std::int64_t>(FReadData.size()) >= FReadTotal) {
    if (FPorts.FBuffer != nullptr) FPorts.FBuffer->ReplaceAll(FReadData);
    FEvents->OnDataRead(FReadData);
    FProtocolState = TProtocolState::Idle;
  }
}

}  // namespace quenvar
