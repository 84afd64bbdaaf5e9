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
  if (ProgrammerDevice == nullptr) return;
  OutReport[kReportIdByte] = 0;
  if (SocketMode)
    OutReport[kTargetByte] = kTargetSocket;
  else if (IspMode)
    OutReport[kTargetByte] = kTargetIsp;
  const std::size_t length = ProgrammerDevice->OutputReportLength();
  if (length <= OutReport.size()) {
    ProgrammerDevice->WriteReport(std::span<const std::uint8_t>(OutReport.data(), length));
    return;
  }
  // A device declaring longer reports gets ours padded with zeros.
  std::vector<std::uint8_t> padded(length, 0);
  std::copy(OutReport.begin(), OutReport.end(), padded.begin());
  ProgrammerDevice->WriteReport(padded);
}

void TProgrammerDriver::FillNextChunk() {
  // Only the write and verify commands carry buffer data. A late '*' after some
  // other command was sent must not turn buffer bytes into fuse records, an
  // erase or a read request.
  const std::uint8_t command = OutReport[kCommandByte];
  if (command != kCmdWriteFlash && command != kCmdVerify && command != kCmdWriteEeprom) return;
  const std::int64_t total =
      std::min<std::int64_t>(BufferLength(), std::numeric_limits<std::int32_t>::max());
  const std::size_t chunk =
      (SocketMode && ProtocolState == TProtocolState::Writing) ? kSocketWriteChunkSize : kChunkSize;
  if (ChunkPos < 0 || ChunkPos >= total) {
    Progress(ChunkPos, total);
    return;  // nothing left: no report
  }
  const std::size_t wanted =
      static_cast<std::size_t>(std::min<std::int64_t>(chunk, total - ChunkPos));
  // Only this chunk is copied, straight into the report.
  const std::size_t copied = FPorts.Buffer->ReadRange(
      ChunkPos, std::span<std::uint8_t>(OutReport.data() + kPayloadByte, wanted));
  if (copied == 0) {
    Progress(ChunkPos, total);
    return;
  }
  ChunkPos += static_cast<std::int32_t>(copied);
  Progress(ChunkPos, total);
  OutReport[kParam1Byte] = static_cast<std::uint8_t>(copied);
  if (ChunkPos >= total)
    OutReport[kParam2Byte] = 0;
  else
    OutReport[kParam2Byte] = SocketMode ? LowByte(EepromSizeCode) : 1;
  SendReport();
}

void TProgrammerDriver::StartErase() {
  Log(TLogText::Erasing);
  ProtocolState = TProtocolState::AwaitErase;
  OutReport[kCommandByte] = kCmdErase;
  if (SocketMode) {
    OutReport[kParam1Byte] = LowByte(EepromSizeCode);
    OutReport[kParam2Byte] = LowByte(EepromPageSize);
  }
  SendReport();
}

void TProgrammerDriver::StartWriteFlash() {
  Log(TLogText::Writing);
  ProtocolState = TProtocolState::Writing;
  OutReport[kCommandByte] = kCmdWriteFlash;
  OutReport[kParam3Byte] = SocketMode ? LowByte(EepromPageSize) : FlashPageCode(IdentifiedChip);
  ChunkPos = 0;
  FillNextChunk();
}

void TProgrammerDriver::StartWriteEeprom() {
  Log(TLogText::WritingEeprom);
  ProtocolState = TProtocolState::Writing;
  OutReport[kCommandByte] = kCmdWriteEeprom;
  ChunkPos = 0;
  FillNextChunk();
}

void TProgrammerDriver::StartVerify() {
  Log(TLogText::Verifying);
  ProtocolState = TProtocolState::Verifying;
  OutReport[kCommandByte] = kCmdVerify;
  FEvents->OnVerifyStarted();
  if (SocketMode) OutReport[kParam3Byte] = LowByte(EepromPageSize);
  ChunkPos = 0;
  FillNextChunk();
}

void TProgrammerDriver::StartReadFlash() {
  Log(TLogText::Reading);
  ProtocolState = TProtocolState::Reading;
  OutReport[kCommandByte] = kCmdReadFlash;
  if (SocketMode) {
    OutReport[kParam1Byte] = LowByte(EepromSizeCode);
    ReadTotal = EepromReadSize(EepromSizeCode);
  } else {
    if (!FCodeSize || *FCodeSize < 0 || *FCodeSize > std::numeric_limits<std::int32_t>::max()) {
      // E.g. a locked chip right after a target change leaves no size to read.
      const std::string shown = FCodeSize ? std::to_string(*FCodeSize) : std::string();
      EndWithError("'" + shown + "' is not a valid size in bytes.");
      return;
    }
    ReadTotal = static_cast<std::int32_t>(*FCodeSize);
    OutReport[kParam1Byte] = static_cast<std::uint8_t>((ReadTotal / 1024) & 0xFF);
  }
  ReadData.clear();
  if (ReadTotal > 0 && ReadTotal <= (1 << 24))
    ReadData.reserve(static_cast<std::size_t>(ReadTotal));
  SendReport();
}

void TProgrammerDriver::StartReadEeprom() {
  Log(TLogText::ReadingEeprom);
  ProtocolState = TProtocolState::Reading;
  OutReport[kCommandByte] = kCmdReadEeprom;
  OutReport[kParam1Byte] = EepromSizeCodeFor(IdentifiedChip);
  ReadTotal = EepromBytesExpected(IdentifiedChip);
  ReadData.clear();
  SendReport();
}

void TProgrammerDriver::ReadDataStep(std::span<const std::uint8_t> data) {
  // The count byte may claim more than the report holds: take what is there.
  std::size_t count = data.empty() ? 0 : data[0];
  const std::size_t held = data.empty() ? 0 : data.size() - 1;
  count = std::min({count, held, kMaxDataPerReport});
  if (count > 0)
    ReadData.insert(ReadData.end(), data.begin() + 1,
                    data.begin() + 1 + static_cast<std::ptrdiff_t>(count));
  Progress(static_cast<std::int64_t>(ReadData.size()), ReadTotal);
  if (static_cast<std::int64_t>(ReadData.size()) >= ReadTotal) {
    if (FPorts.Buffer != nullptr) FPorts.Buffer->ReplaceAll(ReadData);
    FEvents->OnDataRead(ReadData);
    ProtocolState = TProtocolState::Idle;
  }
}

}  // namespace quenvar
