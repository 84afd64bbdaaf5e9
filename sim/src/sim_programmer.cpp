#include "quenvar/sim/sim_programmer.h"

#include <algorithm>
#include <optional>

#include "quenvar/sim/sim_state_file.h"

namespace quenvar {

namespace {

using std::chrono::microseconds;

const TSim24xxModel& SocketModelOf(const TSimConfig& config) {
  const TSim24xxModel* model = FindSim24xxModel(config.FSocket);
  return model ? *model : Sim24xxModels()[12];  // 24AA256, the default
}

bool IsChunkCommand(std::uint8_t command) {
  return command == kCmdWriteFlash || command == kCmdVerify || command == kCmdWriteEeprom;
}

bool IsKnownCommand(std::uint8_t command) {
  switch (command) {
    case kCmdReadSignature:
    case kCmdErase:
    case kCmdWriteFlash:
    case kCmdVerify:
    case kCmdReadFlash:
    case kCmdWriteFuses:
    case kCmdReadFuses:
    case kCmdWriteEeprom:
    case kCmdReadEeprom:
      return true;
    default:
      return false;
  }
}

bool IsKnownTarget(std::uint8_t target) {
  return target == kTargetIsp || target == kTargetSocket;
}

// The next chip of a supply: the same type, as it leaves the factory. A chip
// known only as locked stays so, since that is all there is to know about it.
TSimAvrChip FreshLike(const TSimAvrChip& chip) {
  if (chip.Model()) return TSimAvrChip(*chip.Model());
  if (chip.IsLocked()) return TSimAvrChip::Locked(nullptr);
  return TSimAvrChip::WithSignature(chip.RawSignature());
}

}  // namespace

TSimProgrammer::TSimProgrammer(const TSimConfig& config)
    : FAvr(MakeSimAvrChip(config.FIsp)),
      FSocket(SocketModelOf(config)),
      FRealTiming(config.FRealTiming) {
  if (config.FChips) FChipsLeft = *config.FChips - 1;
}

TSimProgrammer::TSimProgrammer(TSimAvrChip avr, TSim24xx socket, bool realTiming)
    : FAvr(std::move(avr)), FSocket(std::move(socket)), FRealTiming(realTiming) {}

TResult<std::shared_ptr<TSimProgrammer>> TSimProgrammer::FromConfig(
    const TSimConfig& config, const std::function<void()>& onWaitForState) {
  if (config.FProgrammers != 1) {
    return TError(TErrorKind::BadOption,
                  "programmers=" + std::to_string(config.FProgrammers) +
                      " is not available here: this program drives one programmer");
  }
  auto programmer = std::make_shared<TSimProgrammer>(config);
  if (config.FStatePath.empty()) return programmer;
  TResult<TSimStateFile> file = TSimStateFile::Lock(config.FStatePath, onWaitForState);
  if (!file) return file.Error();
  TResult<std::vector<TSimState>> loaded = file->Load(1);
  if (!loaded) return loaded.Error();
  if (!loaded->empty()) {
    programmer->FAvr = std::move(loaded->front().FAvr);
    programmer->FSocket = std::move(loaded->front().FSocket);
  }
  programmer->FStateFile = std::move(file.Value());
  return programmer;
}

void TSimProgrammer::SetAvr(TSimAvrChip chip) {
  std::lock_guard lock(FMutex);
  FAvr = std::move(chip);
  FIspSocket = TIspSocket::Holding;
  FSession = {};
}

void TSimProgrammer::SetSocket(TSim24xx chip) {
  std::lock_guard lock(FMutex);
  FSocket = std::move(chip);
  FSession = {};
}

void TSimProgrammer::SetRealTiming(bool real) {
  std::lock_guard lock(FMutex);
  FRealTiming = real;
}

bool TSimProgrammer::RealTiming() const {
  std::lock_guard lock(FMutex);
  return FRealTiming;
}

void TSimProgrammer::AddFault(const TSimFault& fault) {
  std::lock_guard lock(FMutex);
  FFaults.Add(fault);
}

void TSimProgrammer::ClearFaults() {
  std::lock_guard lock(FMutex);
  FFaults.Clear();
}

std::size_t TSimProgrammer::PendingFaults() const {
  std::lock_guard lock(FMutex);
  return FFaults.Pending();
}

void TSimProgrammer::ChainEnded() {
  std::lock_guard lock(FMutex);
  if (!FChipsLeft || FIspSocket != TIspSocket::Holding) return;
  FSession = {};
  if (*FChipsLeft == 0) {
    FIspSocket = TIspSocket::Empty;
    return;
  }
  --*FChipsLeft;
  FIspSocket = TIspSocket::Out;
  FOutSince = FClock();
  FOutSeen = false;
}

void TSimProgrammer::SetClock(TClock clock) {
  std::lock_guard lock(FMutex);
  FClock = std::move(clock);
}

void TSimProgrammer::TakeFreshChipIfDue() {
  if (FIspSocket != TIspSocket::Out || !FOutSeen) return;
  if (FRealTiming && FClock() - FOutSince < kChipSwap) return;
  FAvr = FreshLike(FAvr);
  FIspSocket = TIspSocket::Holding;
}

TSimState TSimProgrammer::State() const {
  std::lock_guard lock(FMutex);
  return {FAvr, FSocket};
}

void TSimProgrammer::ResetSession() {
  std::lock_guard lock(FMutex);
  FSession = {};
}

void TSimProgrammer::EmitUnsolicited(ISimDeviceHost& host,
                                     std::span<const std::uint8_t> replyBytes) const {
  TReport report{};
  const std::size_t n = std::min(replyBytes.size(), kInReportSize - kReplyCodeByte);
  std::copy_n(replyBytes.begin(), n, report.begin() + kReplyCodeByte);
  host.PushInputReport(report);
}

TResult<void> TSimProgrammer::SaveState() {
  std::lock_guard lock(FMutex);
  if (!FStateFile) return {};
  const TSimState state{FAvr, FSocket};
  return FStateFile->Save({&state, 1});
}

void TSimProgrammer::ReleaseState() {
  std::lock_guard lock(FMutex);
  FStateFile.reset();
}

TSimProgrammer::TReport TSimProgrammer::GarbageReport() {
  TReport report{};
  for (std::size_t i = kReplyCodeByte; i < kInReportSize; ++i) {
    report[i] = static_cast<std::uint8_t>(0xC3 + 0x35 * i);
  }
  return report;
}

microseconds TSimProgrammer::Delay(microseconds work) const {
  // One frame brings the command, one takes the reply back.
  return FRealTiming ? 2 * kUsbFrame + work : microseconds{0};
}

void TSimProgrammer::ReplyWith(TStep& step, const std::vector<std::uint8_t>& bytes,
                               microseconds work) {
  TOut out{{}, Delay(work)};
  std::copy_n(bytes.begin(), std::min(bytes.size(), kInReportSize - kReplyCodeByte),
              out.FBytes.begin() + kReplyCodeByte);
  step.FOut.push_back(out);
}

void TSimProgrammer::Reply(TStep& step, std::initializer_list<std::uint8_t> bytes,
                           microseconds work) {
  ReplyWith(step, std::vector<std::uint8_t>(bytes), work);
}

void TSimProgrammer::OnOutputReport(std::span<const std::uint8_t> report, ISimDeviceHost& host) {
  TReport r{};
  std::copy_n(report.begin(), std::min(report.size(), kOutReportSize), r.begin());
  TStep step;
  {
    std::lock_guard lock(FMutex);
    // Too short to carry a command: an id no command report has.
    if (report.size() <= kCommandByte) r[kReportIdByte] = 0xFF;
    Process(r, step);
  }
  for (const TOut& out : step.FOut) host.PushInputReport(out.FBytes, out.FDelay);
  if (step.FUnplug) host.RequestUnplug();
}

void TSimProgrammer::Process(const TReport& r, TStep& step) {
  TakeFreshChipIfDue();
  std::optional<TSimFaultAction> fault = FFaults.CountOutputReport();
  if (r[kReportIdByte] == 0 && IsKnownTarget(r[kTargetByte]) && IsChunkCommand(r[kCommandByte])) {
    if (auto chunkFault = FFaults.CountChunk(); !fault) fault = chunkFault;
  }
  if (!fault) {
    Execute(r, step);
    return;
  }
  // A fault at a report also ends any chunked transfer: the firmware gives up
  // on it, so a later write starts again at address 0.
  switch (*fault) {
    case TSimFaultAction::ReplyError:
      FSession = {};
      Reply(step, {kReplyFailed});
      return;
    case TSimFaultAction::Unplug:
      FSession = {};
      step.FUnplug = true;
      return;
    case TSimFaultAction::NoReply:
      Execute(r, step);
      FSession = {};
      step.FOut.clear();
      step.FUnplug = false;
      return;
    case TSimFaultAction::Garbage:
      Execute(r, step);
      FSession = {};
      if (!step.FOut.empty()) {
        const microseconds delay = step.FOut.front().FDelay;
        step.FOut.assign(1, TOut{GarbageReport(), delay});
      } else {
        step.FOut.push_back({GarbageReport(), Delay({})});
      }
      return;
    case TSimFaultAction::Duplicate:
      Execute(r, step);
      if (!step.FOut.empty()) {
        TOut copy = step.FOut.front();
        copy.FDelay = FRealTiming ? kUsbFrame : microseconds{0};
        step.FOut.insert(step.FOut.begin() + 1, copy);
      }
      return;
  }
}

void TSimProgrammer::Execute(const TReport& r, TStep& step) {
  if (r[kReportIdByte] != 0) return;
  const std::uint8_t target = r[kTargetByte];
  const std::uint8_t command = r[kCommandByte];
  if (!IsKnownTarget(target) || !IsKnownCommand(command)) return;

  if (IsChunkCommand(command)) {
    Chunk(r, step);
    return;
  }
  FSession = {};  // any other command ends a chunked transfer
  const bool socket = target == kTargetSocket;
  if (socket && command != kCmdErase && command != kCmdReadFlash) {
    Reply(step, {kReplyFailed});
    return;
  }
  const std::uint8_t param1 = r[kParam1Byte];
  switch (command) {
    case kCmdReadSignature: {
      if (FIspSocket == TIspSocket::Out) FOutSeen = true;
      const auto sig = Isp().Signature();
      Reply(step, {kReplySignature, sig[0], sig[1], sig[2]});
      return;
    }
    case kCmdErase:
      if (socket) {
        const std::uint32_t cycles = FSocket.Erase(param1, r[kParam2Byte]);
        Reply(step, {kReplyErased}, cycles * k24xxPageWrite);
      } else {
        Isp().Erase();
        Reply(step, {kReplyErased}, kChipErase);
      }
      return;
    case kCmdReadFlash:
      Stream(socket ? Sim24xxSizeFromCode(param1) : kFlashReadSizeUnit * param1, true, socket,
             step);
      return;
    case kCmdReadEeprom:
      Stream(param1 <= kEepromReadByteCodes
                 ? param1
                 : (param1 - std::uint32_t{kEepromReadByteCodes}) * kEepromReadSizeStep,
             false, false, step);
      return;
    case kCmdWriteFuses:
    case kCmdReadFuses: {
      const bool write = command == kCmdWriteFuses;
      const std::size_t count = param1;
      if (count > kMaxFuseRecords) {
        Reply(step, {kReplyFailed});
        return;
      }
      std::vector<std::uint8_t> reply{write ? kReplyFusesWritten : kReplyFusesRead};
      for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* rec = &r[kFuseRecordByte + kFuseRecordSize * i];
        if (write) {
          Isp().WriteInstruction(rec[0], rec[1], rec[2]);
        } else {
          reply.push_back(Isp().ReadInstruction(rec[0], rec[1], rec[2]));
        }
      }
      ReplyWith(step, reply, write ? static_cast<int>(count) * kFuseWrite : microseconds{});
      return;
    }
    default:
      return;
  }
}

void TSimProgrammer::Chunk(const TReport& r, TStep& step) {
  const std::size_t count = r[kParam1Byte];
  if (count > kChunkSize) {
    FSession = {};
    Reply(step, {kReplyFailed});
    return;
  }
  const std::uint8_t target = r[kTargetByte];
  const std::uint8_t command = r[kCommandByte];
  if (!FSession.FActive || FSession.FTarget != target || FSession.FCommand != command) {
    FSession = {true, target, command, 0, 1};
    if (command == kCmdWriteFlash) {
      const std::uint8_t page = r[kParam3Byte];
      FSession.FPageBytes =
          target == kTargetIsp ? SimFlashPageBytes(page) : std::max<std::uint8_t>(page, 1);
    }
  }
  const bool last = r[kParam2Byte] == kLastChunk;
  const std::span<const std::uint8_t> data(&r[kPayloadByte], count);
  if (target == kTargetIsp) {
    ChunkIsp(r, data, last, step);
  } else {
    ChunkSocket(r, data, last, step);
  }
}

void TSimProgrammer::ChunkIsp(const TReport& r, std::span<const std::uint8_t> data, bool last,
                              TStep& step) {
  const std::uint8_t command = r[kCommandByte];
  const std::size_t limit =
      command == kCmdWriteEeprom ? Isp().Eeprom().size() : Isp().Flash().size();
  const std::uint32_t pos = FSession.FPos;
  if (pos + data.size() > limit) {
    FSession = {};
    Reply(step, {kReplyFailed});
    return;
  }
  microseconds work{0};
  if (command == kCmdVerify) {
    for (std::size_t i = 0; i < data.size(); ++i) {
      if (Isp().ReadFlash(pos + static_cast<std::uint32_t>(i)) != data[i]) {
        FSession = {};
        Reply(step, {kReplyFailed});
        return;
      }
    }
  } else if (command == kCmdWriteEeprom) {
    for (std::size_t i = 0; i < data.size(); ++i) {
      Isp().WriteEepromByte(pos + static_cast<std::uint32_t>(i), data[i]);
    }
    work = static_cast<int>(data.size()) * kEepromByteWrite;
  } else {
    const std::uint32_t page = FSession.FPageBytes;
    int waits = 0;
    for (std::size_t i = 0; i < data.size(); ++i) {
      const std::uint32_t a = pos + static_cast<std::uint32_t>(i);
      Isp().LoadFlashByte(a, data[i]);
      // Byte-wise programming waits after every byte; paged programming
      // writes the page, addressed by its start, when its last byte is loaded.
      if (page == 1) {
        ++waits;
      } else if ((a + 1) % page == 0) {
        Isp().WriteFlashPage(a / page * page);
        ++waits;
      }
    }
    const std::uint32_t end = pos + static_cast<std::uint32_t>(data.size());
    if (last && page > 1 && end % page != 0 && end > 0) {
      Isp().WriteFlashPage((end - 1) / page * page);  // the partly filled last page
      ++waits;
    }
    work = waits * kFlashPageWrite;
  }
  FSession.FPos += static_cast<std::uint32_t>(data.size());
  if (last) {
    FSession = {};
    Reply(step, {command == kCmdVerify ? kReplyVerified : kReplyWritten}, work);
  } else {
    Reply(step, {kReplyNextChunk}, work);
  }
}

void TSimProgrammer::ChunkSocket(const TReport& r, std::span<const std::uint8_t> data, bool last,
                                 TStep& step) {
  const std::uint8_t command = r[kCommandByte];
  if (command == kCmdWriteEeprom) {
    FSession = {};
    Reply(step, {kReplyFailed});
    return;
  }
  // The programmer counts 24xx addresses in 16 bits.
  constexpr std::size_t kAddressRange = 65536;
  const std::uint32_t pos = FSession.FPos;
  if (pos + data.size() > kAddressRange) {
    FSession = {};
    Reply(step, {kReplyFailed});
    return;
  }
  microseconds work{0};
  if (command == kCmdVerify) {
    for (std::size_t i = 0; i < data.size(); ++i) {
      if (FSocket.Read(pos + static_cast<std::uint32_t>(i)) != data[i]) {
        FSession = {};
        Reply(step, {kReplyFailed});
        return;
      }
    }
  } else {
    work = static_cast<int>(FSocket.WriteRuns(pos, data, FSession.FPageBytes)) * k24xxPageWrite;
  }
  FSession.FPos += static_cast<std::uint32_t>(data.size());
  if (last) {
    FSession = {};
    Reply(step, {command == kCmdVerify ? kReplyVerified : kReplyWritten}, work);
  } else {
    Reply(step, {kReplyNextChunk}, work);
  }
}

void TSimProgrammer::Stream(std::uint32_t total, bool flash, bool socket, TStep& step) {
  std::uint32_t sent = 0;
  bool first = true;
  do {
    const std::uint32_t n = std::min<std::uint32_t>(total - sent, kMaxDataPerReport);
    TOut out{{}, first ? Delay({}) : (FRealTiming ? kUsbFrame : microseconds{0})};
    out.FBytes[kReplyCodeByte] = static_cast<std::uint8_t>(n);
    for (std::uint32_t i = 0; i < n; ++i) {
      const std::uint32_t a = sent + i;
      out.FBytes[kReplyDataByte + i] =
          socket ? FSocket.Read(a) : (flash ? Isp().ReadFlash(a) : Isp().ReadEeprom(a));
    }
    sent += n;
    first = false;
    step.FOut.push_back(out);

    const auto fault = FFaults.CountDataReport();
    if (!fault) continue;
    const microseconds frame = FRealTiming ? kUsbFrame : microseconds{0};
    switch (*fault) {
      case TSimFaultAction::NoReply:
        return;
      case TSimFaultAction::ReplyError: {
        TOut error{{}, frame};
        error.FBytes[kReplyCodeByte] = kReplyFailed;
        step.FOut.push_back(error);
        return;
      }
      case TSimFaultAction::Unplug:
        step.FUnplug = true;
        return;
      case TSimFaultAction::Garbage:
        step.FOut.push_back({GarbageReport(), frame});
        break;
      case TSimFaultAction::Duplicate: {
        TOut copy = step.FOut.back();
        copy.FDelay = frame;
        step.FOut.push_back(copy);
        break;
      }
    }
  } while (sent < total);
}

}  // namespace quenvar
