#include "quenvar/sim/sim_programmer.h"

#include <algorithm>
#include <optional>

#include "quenvar/sim/sim_state_file.h"

namespace quenvar {

namespace {

using std::chrono::microseconds;

const TSim24xxModel& SocketModelOf(const TSimConfig& config) {
  const TSim24xxModel* model = FindSim24xxModel(config.Socket);
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
    : Avr_(MakeSimAvrChip(config.Isp)),
      Socket_(SocketModelOf(config)),
      RealTiming_(config.RealTiming) {
  if (config.Chips) FChipsLeft = *config.Chips - 1;
}

TSimProgrammer::TSimProgrammer(TSimAvrChip avr, TSim24xx socket, bool realTiming)
    : Avr_(std::move(avr)), Socket_(std::move(socket)), RealTiming_(realTiming) {}

TResult<std::shared_ptr<TSimProgrammer>> TSimProgrammer::FromConfig(
    const TSimConfig& config, const std::function<void()>& onWaitForState) {
  if (config.Programmers != 1) {
    return TError(TErrorKind::BadOption,
                  "programmers=" + std::to_string(config.Programmers) +
                      " is not available here: this program drives one programmer");
  }
  auto programmer = std::make_shared<TSimProgrammer>(config);
  if (config.StatePath.empty()) return programmer;
  TResult<TSimStateFile> file = TSimStateFile::Lock(config.StatePath, onWaitForState);
  if (!file) return file.Error();
  TResult<std::vector<TSimState>> loaded = file->Load(1);
  if (!loaded) return loaded.Error();
  if (!loaded->empty()) {
    programmer->Avr_ = std::move(loaded->front().Avr);
    programmer->Socket_ = std::move(loaded->front().Socket);
  }
  programmer->FStateFile = std::move(file.Value());
  return programmer;
}

void TSimProgrammer::SetAvr(TSimAvrChip chip) {
  std::lock_guard lock(Mutex_);
  Avr_ = std::move(chip);
  FIspSocket = TIspSocket::Holding;
  Session_ = {};
}

void TSimProgrammer::SetSocket(TSim24xx chip) {
  std::lock_guard lock(Mutex_);
  Socket_ = std::move(chip);
  Session_ = {};
}

void TSimProgrammer::SetRealTiming(bool real) {
  std::lock_guard lock(Mutex_);
  RealTiming_ = real;
}

bool TSimProgrammer::RealTiming() const {
  std::lock_guard lock(Mutex_);
  return RealTiming_;
}

void TSimProgrammer::AddFault(const TSimFault& fault) {
  std::lock_guard lock(Mutex_);
  Faults_.Add(fault);
}

void TSimProgrammer::ClearFaults() {
  std::lock_guard lock(Mutex_);
  Faults_.Clear();
}

std::size_t TSimProgrammer::PendingFaults() const {
  std::lock_guard lock(Mutex_);
  return Faults_.Pending();
}

void TSimProgrammer::ChainEnded() {
  std::lock_guard lock(Mutex_);
  if (!FChipsLeft || FIspSocket != TIspSocket::Holding) return;
  Session_ = {};
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
  std::lock_guard lock(Mutex_);
  FClock = std::move(clock);
}

void TSimProgrammer::TakeFreshChipIfDue() {
  if (FIspSocket != TIspSocket::Out || !FOutSeen) return;
  if (RealTiming_ && FClock() - FOutSince < kChipSwap) return;
  Avr_ = FreshLike(Avr_);
  FIspSocket = TIspSocket::Holding;
}

TSimState TSimProgrammer::State() const {
  std::lock_guard lock(Mutex_);
  return {Avr_, Socket_};
}

void TSimProgrammer::ResetSession() {
  std::lock_guard lock(Mutex_);
  Session_ = {};
}

void TSimProgrammer::EmitUnsolicited(ISimDeviceHost& host,
                                     std::span<const std::uint8_t> replyBytes) const {
  TReport report{};
  const std::size_t n = std::min(replyBytes.size(), kInReportSize - kReplyCodeByte);
  std::copy_n(replyBytes.begin(), n, report.begin() + kReplyCodeByte);
  host.PushInputReport(report);
}

TResult<void> TSimProgrammer::SaveState() {
  std::lock_guard lock(Mutex_);
  if (!FStateFile) return {};
  const TSimState state{Avr_, Socket_};
  return FStateFile->Save({&state, 1});
}

void TSimProgrammer::ReleaseState() {
  std::lock_guard lock(Mutex_);
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
  return RealTiming_ ? 2 * kUsbFrame + work : microseconds{0};
}

void TSimProgrammer::ReplyWith(TStep& step, const std::vector<std::uint8_t>& bytes,
                               microseconds work) {
  TOut out{{}, Delay(work)};
  std::copy_n(bytes.begin(), std::min(bytes.size(), kInReportSize - kReplyCodeByte),
              out.Bytes.begin() + kReplyCodeByte);
  step.Out.push_back(out);
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
    std::lock_guard lock(Mutex_);
    // Too short to carry a command: an id no command report has.
    if (report.size() <= kCommandByte) r[kReportIdByte] = 0xFF;
    Process(r, step);
  }
  for (const TOut& out : step.Out) host.PushInputReport(out.Bytes, out.Delay);
  if (step.Unplug) host.RequestUnplug();
}

void TSimProgrammer::Process(const TReport& r, TStep& step) {
  TakeFreshChipIfDue();
  std::optional<TSimFaultAction> fault = Faults_.CountOutputReport();
  if (r[kReportIdByte] == 0 && IsKnownTarget(r[kTargetByte]) && IsChunkCommand(r[kCommandByte])) {
    if (auto chunkFault = Faults_.CountChunk(); !fault) fault = chunkFault;
  }
  if (!fault) {
    Execute(r, step);
    return;
  }
  // A fault at a report also ends any chunked transfer: the firmware gives up
  // on it, so a later write starts again at address 0.
  switch (*fault) {
    case TSimFaultAction::ReplyError:
      Session_ = {};
      Reply(step, {kReplyFailed});
      return;
    case TSimFaultAction::Unplug:
      Session_ = {};
      step.Unplug = true;
      return;
    case TSimFaultAction::NoReply:
      Execute(r, step);
      Session_ = {};
      step.Out.clear();
      step.Unplug = false;
      return;
    case TSimFaultAction::Garbage:
      Execute(r, step);
      Session_ = {};
      if (!step.Out.empty()) {
        const microseconds delay = step.Out.front().Delay;
        step.Out.assign(1, TOut{GarbageReport(), delay});
      } else {
        step.Out.push_back({GarbageReport(), Delay({})});
      }
      return;
    case TSimFaultAction::Duplicate:
      Execute(r, step);
      if (!step.Out.empty()) {
        TOut copy = step.Out.front();
        copy.Delay = RealTiming_ ? kUsbFrame : microseconds{0};
        step.Out.insert(step.Out.begin() + 1, copy);
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
  Session_ = {};  // any other command ends a chunked transfer
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
        const std::uint32_t cycles = Socket_.Erase(param1, r[kParam2Byte]);
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
    Session_ = {};
    Reply(step, {kReplyFailed});
    return;
  }
  const std::uint8_t target = r[kTargetByte];
  const std::uint8_t command = r[kCommandByte];
  if (!Session_.Active || Session_.Target != target || Session_.Command != command) {
    Session_ = {true, target, command, 0, 1};
    if (command == kCmdWriteFlash) {
      const std::uint8_t page = r[kParam3Byte];
      Session_.PageBytes =
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
  const std::uint32_t pos = Session_.Pos;
  if (pos + data.size() > limit) {
    Session_ = {};
    Reply(step, {kReplyFailed});
    return;
  }
  microseconds work{0};
  if (command == kCmdVerify) {
    for (std::size_t i = 0; i < data.size(); ++i) {
      if (Isp().ReadFlash(pos + static_cast<std::uint32_t>(i)) != data[i]) {
        Session_ = {};
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
    const std::uint32_t page = Session_.PageBytes;
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
  Session_.Pos += static_cast<std::uint32_t>(data.size());
  if (last) {
    Session_ = {};
    Reply(step, {command == kCmdVerify ? kReplyVerified : kReplyWritten}, work);
  } else {
    Reply(step, {kReplyNextChunk}, work);
  }
}

void TSimProgrammer::ChunkSocket(const TReport& r, std::span<const std::uint8_t> data, bool last,
                                 TStep& step) {
  const std::uint8_t command = r[kCommandByte];
  if (command == kCmdWriteEeprom) {
    Session_ = {};
    Reply(step, {kReplyFailed});
    return;
  }
  // The programmer counts 24xx addresses in 16 bits.
  constexpr std::size_t kAddressRange = 65536;
  const std::uint32_t pos = Session_.Pos;
  if (pos + data.size() > kAddressRange) {
    Session_ = {};
    Reply(step, {kReplyFailed});
    return;
  }
  microseconds work{0};
  if (command == kCmdVerify) {
    for (std::size_t i = 0; i < data.size(); ++i) {
      if (Socket_.Read(pos + static_cast<std::uint32_t>(i)) != data[i]) {
        Session_ = {};
        Reply(step, {kReplyFailed});
        return;
      }
    }
  } else {
    work = static_cast<int>(Socket_.WriteRuns(pos, data, Session_.PageBytes)) * k24xxPageWrite;
  }
  Session_.Pos += static_cast<std::uint32_t>(data.size());
  if (last) {
    Session_ = {};
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
    TOut out{{}, first ? Delay({}) : (RealTiming_ ? kUsbFrame : microseconds{0})};
    out.Bytes[kReplyCodeByte] = static_cast<std::uint8_t>(n);
    for (std::uint32_t i = 0; i < n; ++i) {
      const std::uint32_t a = sent + i;
      out.Bytes[kReplyDataByte + i] =
          socket ? Socket_.Read(a) : (flash ? Isp().ReadFlash(a) : Isp().ReadEeprom(a));
    }
    sent += n;
    first = false;
    step.Out.push_back(out);

    const auto fault = Faults_.CountDataReport();
    if (!fault) continue;
    const microseconds frame = RealTiming_ ? kUsbFrame : microseconds{0};
    switch (*fault) {
      case TSimFaultAction::NoReply:
        return;
      case TSimFaultAction::ReplyError: {
        TOut error{{}, frame};
        error.Bytes[kReplyCodeByte] = kReplyFailed;
        step.Out.push_back(error);
        return;
      }
      case TSimFaultAction::Unplug:
        step.Unplug = true;
        return;
      case TSimFaultAction::Garbage:
        step.Out.push_back({GarbageReport(), frame});
        break;
      case TSimFaultAction::Duplicate: {
        TOut copy = step.Out.back();
        copy.Delay = frame;
        step.Out.push_back(copy);
        break;
      }
    }
  } while (sent < total);
}

}  // namespace quenvar
