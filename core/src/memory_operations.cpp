// Report sending, chunking and the start steps of the memory operations.
#include <algorithm>
#include <charconv>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "quenvar/core/eeprom_types.h"
#include "quenvar/core/programmer_session.h"

namespace quenvar {

namespace {

std::uint8_t LowByte(std::uint16_t value) {
  return static_cast<std::uint8_t>(value & 0xFF);
}

// `CodeSize` as an integer: optional sign and decimal digits, nothing else.
std::optional<std::int32_t> ParseSize(const std::string& text) {
  const char* first = text.data();
  const char* last = first + text.size();
  if (first != last && *first == '+') ++first;
  std::int32_t value = 0;
  auto [end, ec] = std::from_chars(first, last, value);
  if (ec != std::errc() || end != last || first == last) return std::nullopt;
  return value;
}

}  // namespace

void TProgrammerSession::SendReport() {
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

void TProgrammerSession::FillNextChunk() {
  // Only the write and verify commands carry buffer data. A late '*' after some
  // other command was sent must not turn buffer bytes into fuse records, an
  // erase or a read request.
  const std::uint8_t command = OutReport[kCommandByte];
  if (command != kCmdWriteFlash && command != kCmdVerify && command != kCmdWriteEeprom) return;
  const std::int64_t total = FPorts.Buffer != nullptr
                                 ? std::min<std::int64_t>(FPorts.Buffer->DataLength(),
                                                          std::numeric_limits<std::int32_t>::max())
                                 : 0;
  FWindow.SetGaugeMax(total);
  const std::size_t chunk =
      (SocketMode && ProtocolState == TProtocolState::Writing) ? kSocketWriteChunkSize : kChunkSize;
  if (ChunkPos < 0 || ChunkPos >= total) {
    FWindow.SetGaugePosition(ChunkPos);
    return;  // nothing left: no report
  }
  const std::size_t wanted =
      static_cast<std::size_t>(std::min<std::int64_t>(chunk, total - ChunkPos));
  // Only this chunk is copied, straight into the report.
  const std::size_t copied = FPorts.Buffer->ReadRange(
      ChunkPos, std::span<std::uint8_t>(OutReport.data() + kPayloadByte, wanted));
  if (copied == 0) return;
  ChunkPos += static_cast<std::int32_t>(copied);
  FWindow.SetGaugePosition(ChunkPos);
  OutReport[kParam1Byte] = static_cast<std::uint8_t>(copied);
  if (ChunkPos >= total)
    OutReport[kParam2Byte] = 0;
  else
    OutReport[kParam2Byte] = SocketMode ? LowByte(EepromSizeCode) : 1;
  SendReport();
}

void TProgrammerSession::StartErase() {
  FWindow.AddLine(std::string(Text(texts::kErasing)));
  ProtocolState = TProtocolState::AwaitErase;
  OutReport[kCommandByte] = kCmdErase;
  if (SocketMode) {
    OutReport[kParam1Byte] = LowByte(EepromSizeCode);
    OutReport[kParam2Byte] = LowByte(EepromPageSize);
  }
  SendReport();
}

void TProgrammerSession::StartWriteFlash() {
  FWindow.AddLine(std::string(Text(texts::kWriting)));
  ProtocolState = TProtocolState::Writing;
  OutReport[kCommandByte] = kCmdWriteFlash;
  OutReport[kParam3Byte] = SocketMode ? LowByte(EepromPageSize) : FlashPageCode(IdentifiedChip);
  ChunkPos = 0;
  FillNextChunk();
}

void TProgrammerSession::StartWriteEeprom() {
  FWindow.AddLine(std::string(Text(texts::kWritingEeprom)));
  ProtocolState = TProtocolState::Writing;
  OutReport[kCommandByte] = kCmdWriteEeprom;
  ChunkPos = 0;
  FillNextChunk();
}

void TProgrammerSession::StartVerify() {
  FWindow.AddLine(std::string(Text(texts::kVerifying)));
  ProtocolState = TProtocolState::Verifying;
  OutReport[kCommandByte] = kCmdVerify;
  FWindow.SetProgressLabel(std::string(texts::kLabelVerify));
  if (SocketMode) OutReport[kParam3Byte] = LowByte(EepromPageSize);
  ChunkPos = 0;
  FillNextChunk();
}

void TProgrammerSession::StartReadFlash() {
  FWindow.AddLine(std::string(Text(texts::kReading)));
  ProtocolState = TProtocolState::Reading;
  OutReport[kCommandByte] = kCmdReadFlash;
  if (SocketMode) {
    OutReport[kParam1Byte] = LowByte(EepromSizeCode);
    ReadTotal = EepromReadSize(EepromSizeCode);
  } else {
    const std::optional<std::int32_t> size = ParseSize(FWindow.CodeSize());
    if (!size) {
      // E.g. a locked chip right after a target change leaves no size to read.
      EndWithError("'" + FWindow.CodeSize() + "' is not a valid size in bytes.");
      return;
    }
    ReadTotal = *size;
    OutReport[kParam1Byte] = static_cast<std::uint8_t>((ReadTotal / 1024) & 0xFF);
  }
  ReadData.clear();
  if (ReadTotal > 0 && ReadTotal <= (1 << 24))
    ReadData.reserve(static_cast<std::size_t>(ReadTotal));
  SendReport();
}

void TProgrammerSession::StartReadEeprom() {
  FWindow.AddLine(std::string(Text(texts::kReadingEeprom)));
  ProtocolState = TProtocolState::Reading;
  OutReport[kCommandByte] = kCmdReadEeprom;
  OutReport[kParam1Byte] = EepromSizeCodeFor(IdentifiedChip);
  ReadTotal = EepromBytesExpected(IdentifiedChip);
  ReadData.clear();
  SendReport();
}

void TProgrammerSession::ReadDataStep(std::span<const std::uint8_t> data) {
  // The count byte may claim more than the report holds: take what is there.
  std::size_t count = data.empty() ? 0 : data[0];
  const std::size_t held = data.empty() ? 0 : data.size() - 1;
  count = std::min({count, held, kMaxDataPerReport});
  FWindow.SetGaugeMax(ReadTotal);
  if (count > 0)
    ReadData.insert(ReadData.end(), data.begin() + 1,
                    data.begin() + 1 + static_cast<std::ptrdiff_t>(count));
  FWindow.SetGaugePosition(static_cast<std::int64_t>(ReadData.size()));
  if (static_cast<std::int64_t>(ReadData.size()) >= ReadTotal) {
    if (FPorts.Buffer != nullptr) FPorts.Buffer->ReplaceAll(ReadData);
    ProtocolState = TProtocolState::Idle;
  }
}

}  // namespace quenvar
