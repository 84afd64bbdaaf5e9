// Random sequences of input reports, clicks, target switches, plug events and
// reply time-outs against the window's presenter and its protocol driver, with
// a recording fake device.
// Aborts on:
// - a protocol state outside its eight values;
// - a buffer replaced other than by a read that has just completed, or with
//   bytes that are not the ones the data reports carried;
// - a malformed output report: report id not 0, a target byte that does not
//   match the selected target, a chunk count of 0 or above the chunk size, a
//   fuse record count that does not fit in the report;
// - a write to a device the driver does not hold;
// - an operation left running with no reply timer, unless its device was pulled.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "quenvar/core/chip_table.h"
#include "quenvar/core/driver_ports.h"
#include "quenvar/core/eeprom_types.h"
#include "quenvar/core/protocol.h"
#include "quenvar/presenter/main_presenter.h"

namespace {

using namespace quenvar;

// The harness may print: it is no library, and a finding must say what broke.
#define CHECK(condition)                                                                \
  do {                                                                                  \
    if (!(condition)) {                                                                 \
      std::fprintf(stderr, "session_fuzz: invariant failed at line %d: %s\n", __LINE__, \
                   #condition);                                                         \
      std::abort();                                                                     \
    }                                                                                   \
  } while (false)

bool ValidState(TProtocolState state) {
  switch (static_cast<std::uint8_t>(state)) {
    case 0:
    case 1:
    case 2:
    case 3:
    case 4:
    case 5:
    case 8:
    case 9:
      return true;
    default:
      return false;
  }
}

class TFakeDevice;

struct TWorld {
  TProgrammerDriver* FDriver = nullptr;
  TFakeDevice* FDevice = nullptr;
  bool FClaimed = false;
  bool FInHidData = false;
  std::uint8_t FReplyCode = 0;
  // Set QUENVAR_FUZZ_STRICT_CHUNKS to abort also on a chunk that goes out under
  // a command that does not carry chunks (a '*' after an erase, a read or a
  // fuse command), and on a 24xx write chunk above 32 bytes sent while no write
  // runs (a '*' after the write ended early). Otherwise such chunks are only
  // bounded like any other.
  bool FStrictChunks = false;
  TProtocolState FStateBeforeReply = TProtocolState::Idle;
  // What the data reports of the running read carried, kept independently.
  std::vector<std::uint8_t> FShadowRead;
  bool FShadowReading = false;
  int FReplacements = 0;
};

class TFakeDevice final : public IProgrammerDevice {
 public:
  explicit TFakeDevice(TWorld& world) : FWorld(world) {}
  bool FPlugged = true;
  std::size_t FReportLength = kOutReportSize;
  std::size_t FWritten = 0;

  bool PluggedIn() const override { return FPlugged; }
  std::size_t OutputReportLength() override { return FReportLength; }

  bool WriteReport(std::span<const std::uint8_t> report) override {
    CHECK(FWorld.FClaimed);
    CHECK(report.size() == FReportLength);
    ++FWritten;
    const TProgrammerDriver& s = *FWorld.FDriver;
    if (report.size() > 0) CHECK(report[0] == 0);
    if (report.size() > 1) {
      if (s.SocketModeValue()) CHECK(report[1] == kTargetSocket);
      if (s.IspModeValue()) CHECK(report[1] == kTargetIsp);
    }
    if (report.size() > kOutReportSize) {
      for (std::size_t i = kOutReportSize; i < report.size(); ++i) CHECK(report[i] == 0);
    }
    if (report.size() <= kParam1Byte) return true;
    const std::uint8_t command = report[kCommandByte];
    const std::uint8_t count = report[kParam1Byte];
    const bool chunkReply = FWorld.FInHidData && FWorld.FReplyCode == kReplyNextChunk &&
                            FWorld.FStateBeforeReply != TProtocolState::Reading;
    if (chunkReply) {
      const bool chunkCommand =
          command == kCmdWriteFlash || command == kCmdVerify || command == kCmdWriteEeprom;
      if (FWorld.FStrictChunks) CHECK(chunkCommand);
      CHECK(count >= 1 && count <= 58);
      if (!chunkCommand) return true;
    }
    switch (command) {
      case kCmdWriteFlash:
      case kCmdVerify:
      case kCmdWriteEeprom: {
        const bool socketPageWrite =
            command == kCmdWriteFlash && s.SocketModeValue() &&
            (FWorld.FStrictChunks || s.ProtocolStateValue() == TProtocolState::Writing);
        CHECK(count >= 1);
        CHECK(count <= (socketPageWrite ? 32 : 58));
        break;
      }
      case kCmdWriteFuses:
      case kCmdReadFuses:
        // Records of three bytes from byte 4; byte 64 is never used.
        CHECK(4 + 3 * static_cast<std::size_t>(count) <= 64);
        break;
      case kCmdReadFlash:
      case kCmdReadEeprom:
        // A chunk sent while idle keeps the last command byte; only a read
        // start (state already Reading) starts a new stream.
        if (s.ProtocolStateValue() == TProtocolState::Reading) {
          FWorld.FShadowRead.clear();
          FWorld.FShadowReading = true;
        }
        break;
      default:
        break;
    }
    return true;
  }

 private:
  TWorld& FWorld;
};

class TFakePort final : public IProgrammerPort {
 public:
  explicit TFakePort(TWorld& world) : FWorld(world) {}
  IProgrammerDevice* ClaimProgrammer(std::uint16_t vendorId, std::uint16_t productId) override {
    CHECK(vendorId == 0x0451 && productId == 0x3210);
    if (FWorld.FClaimed || !FWorld.FDevice->FPlugged) return nullptr;
    FWorld.FClaimed = true;
    return FWorld.FDevice;
  }
  void ReleaseProgrammer(IProgrammerDevice* device) override {
    CHECK(FWorld.FClaimed && device == FWorld.FDevice);
    FWorld.FClaimed = false;
    FWorld.FShadowReading = false;
  }

 private:
  TWorld& FWorld;
};

class TFakeBuffer final : public IMemoryBuffer {
 public:
  explicit TFakeBuffer(TWorld& world) : FWorld(world) {}
  std::vector<std::uint8_t> FBytes;

  std::int64_t DataLength() const override { return static_cast<std::int64_t>(FBytes.size()); }
  std::size_t ReadRange(std::int64_t position, std::span<std::uint8_t> out) const override {
    if (position < 0 || static_cast<std::size_t>(position) >= FBytes.size()) return 0;
    const std::size_t n = std::min(out.size(), FBytes.size() - static_cast<std::size_t>(position));
    std::copy_n(FBytes.begin() + position, n, out.begin());
    return n;
  }
  void ReplaceAll(std::span<const std::uint8_t> data) override {
    // Only the completion of a read may replace the buffer.
    CHECK(FWorld.FInHidData);
    CHECK(FWorld.FStateBeforeReply == TProtocolState::Reading);
    CHECK(FWorld.FShadowReading);
    CHECK(data.size() == FWorld.FShadowRead.size());
    CHECK(std::equal(data.begin(), data.end(), FWorld.FShadowRead.begin()));
    CHECK(static_cast<std::int64_t>(data.size()) >= FWorld.FDriver->ReadTotalValue());
    ++FWorld.FReplacements;
    FBytes.assign(data.begin(), data.end());
  }

 private:
  TWorld& FWorld;
};

class TFakeReloader final : public IFileReloader {
 public:
  bool FResult = true;
  bool LoadFile() override { return FResult; }
};

class TFakeTimer final : public IReplyTimer {
 public:
  std::function<void()> FPending;
  void Start(std::chrono::milliseconds timeout, std::function<void()> onExpired) override {
    CHECK(timeout.count() > 0);
    FPending = std::move(onExpired);
  }
  void Stop() override { FPending = nullptr; }
};

enum TAction : std::uint8_t {
  kActReply,
  kActRawReport,
  kActClick,
  kActDirectStart,
  kActTarget,
  kActPlug,
  kActTimeout,
  kActFuse,
  kActBufferEdit,
  kActSetting,
  kActCount,
};

constexpr std::uint8_t kReplyCodes[] = {'*', '!', 's', 'e', 'w', 'v', 'f', 'r'};
constexpr TControl kClicks[] = {
    TControl::bProg,       TControl::bVerify,     TControl::bRead,         TControl::bErase,
    TControl::bprogeeprom, TControl::breadeeprom, TControl::bDetectDevice, TControl::bWriteFuse,
    TControl::nAVRISP,     TControl::nErase,      TControl::nreadflash};

std::vector<std::uint8_t> MakeReply(FuzzedDataProvider& in) {
  std::vector<std::uint8_t> reply(64, 0);
  const std::uint8_t kind = in.ConsumeIntegralInRange<std::uint8_t>(0, 10);
  if (kind < 8) {
    reply[0] = kReplyCodes[kind];
  } else if (kind == 8) {
    // A data report with a plausible count.
    reply[0] = in.ConsumeIntegralInRange<std::uint8_t>(0, 63);
  } else {
    reply[0] = in.ConsumeIntegral<std::uint8_t>();
  }
  if (reply[0] == 's' && in.ConsumeBool()) {
    const auto chips = ChipTable();
    const TChipInfo& chip = chips[in.ConsumeIntegralInRange<std::size_t>(0, chips.size() - 1)];
    std::copy(chip.FSignature.begin(), chip.FSignature.end(), reply.begin() + 1);
  } else {
    const std::size_t fill = in.ConsumeIntegralInRange<std::size_t>(0, 63);
    for (std::size_t i = 1; i <= fill; ++i) reply[i] = in.ConsumeIntegral<std::uint8_t>();
  }
  // Occasionally shorter than a full report.
  if (in.ConsumeIntegralInRange<int>(0, 15) == 0)
    reply.resize(in.ConsumeIntegralInRange<std::size_t>(0, 64));
  return reply;
}

void Deliver(TWorld& world, std::span<const std::uint8_t> reply) {
  TProgrammerDriver& driver = *world.FDriver;
  // Only a claimed device delivers, and it streams data only after a read command.
  if (!world.FClaimed) return;
  world.FStateBeforeReply = driver.ProtocolStateValue();
  if (world.FStateBeforeReply == TProtocolState::Reading && !world.FShadowReading) return;
  if (world.FStateBeforeReply == TProtocolState::Reading && world.FShadowReading) {
    const std::size_t count =
        reply.empty() ? 0 : std::min<std::size_t>({reply[0], reply.size() - 1, 63});
    world.FShadowRead.insert(
        world.FShadowRead.end(), reply.begin() + (reply.empty() ? 0 : 1),
        reply.begin() + (reply.empty() ? 0 : 1) + static_cast<std::ptrdiff_t>(count));
  }
  world.FInHidData = true;
  world.FReplyCode = reply.empty() ? 0 : reply[0];
  driver.HidData(0, reply);
  world.FInHidData = false;
}

}  // namespace

// The name is the fuzzing engine's.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {  // NOLINT(readability-identifier-naming)
  FuzzedDataProvider in(data, size);
  TWorld world;
  TFakeDevice device(world);
  TFakePort port(world);
  TFakeBuffer buffer(world);
  TFakeReloader reloader;
  TFakeTimer timer;
  world.FDevice = &device;
  world.FStrictChunks = std::getenv("QUENVAR_FUZZ_STRICT_CHUNKS") != nullptr;

  static constexpr std::size_t kLengths[] = {
      kOutReportSize, kOutReportSize, kOutReportSize, 64, 3, 0, 80};
  device.FReportLength = kLengths[in.ConsumeIntegralInRange<std::size_t>(0, 6)];
  buffer.FBytes.resize(in.ConsumeIntegralInRange<std::size_t>(0, 700));
  for (std::size_t i = 0; i < buffer.FBytes.size(); ++i)
    buffer.FBytes[i] = static_cast<std::uint8_t>(i * 7 + 3);

  TProgrammerDriver driver({&port, &buffer, &timer});
  TMainPresenter presenter(driver);
  presenter.SetReloader(&reloader);
  world.FDriver = &driver;
  driver.FNow = [] { return TProgrammerDriver::TClock::time_point{}; };
  driver.FReplyTimeout = std::chrono::milliseconds(50);
  presenter.SetLanguageIndex(in.ConsumeIntegralInRange<std::uint8_t>(0, 2));
  presenter.SetVerifyAfterProgram(in.ConsumeBool());
  presenter.HidCtlDeviceChange();
  bool abandoned = false;

  const std::uint8_t firstTarget = in.ConsumeIntegralInRange<std::uint8_t>(0, 15);
  if (firstTarget < kEepromTypeCount)
    presenter.SelectEepromType(firstTarget);
  else if (firstTarget == 14)
    presenter.nAVRISPClick();

  int steps = 0;
  while (in.remaining_bytes() > 0 && steps++ < 400) {
    switch (in.ConsumeIntegralInRange<std::uint8_t>(0, kActCount - 1)) {
      case kActReply: {
        const std::vector<std::uint8_t> reply = MakeReply(in);
        Deliver(world, reply);
        break;
      }
      case kActRawReport: {
        const std::vector<std::uint8_t> raw =
            in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange<std::size_t>(0, 70));
        Deliver(world, raw);
        break;
      }
      case kActClick:
        presenter.Click(kClicks[in.ConsumeIntegralInRange<std::size_t>(0, std::size(kClicks) - 1)]);
        break;
      case kActDirectStart: {
        // The handlers themselves, whatever the controls say: any state.
        using THandler = void (TMainPresenter::*)();
        static constexpr THandler kHandlers[] = {
            &TMainPresenter::bEraseClick,      &TMainPresenter::bVerifyClick,
            &TMainPresenter::bProgClick,       &TMainPresenter::bReadClick,
            &TMainPresenter::breadeepromClick, &TMainPresenter::bprogeepromClick,
            &TMainPresenter::bWriteFuseClick,  &TMainPresenter::bDetectDeviceClick};
        (presenter.*kHandlers[in.ConsumeIntegralInRange<std::size_t>(0, 7)])();
        break;
      }
      case kActTarget: {
        const std::uint8_t t = in.ConsumeIntegralInRange<std::uint8_t>(0, 15);
        if (t < kEepromTypeCount)
          presenter.SelectEepromType(t);
        else if (t == 14)
          presenter.nAVRISPClick();
        else
          presenter.ClearTarget();
        break;
      }
      case kActPlug: {
        const bool wasClaimed = world.FClaimed;
        device.FPlugged = in.ConsumeBool();
        presenter.HidCtlDeviceChange();
        if (wasClaimed && !world.FClaimed) abandoned = true;
        CHECK(world.FClaimed == device.FPlugged);
        break;
      }
      case kActTimeout:
        if (timer.FPending) {
          auto fire = std::move(timer.FPending);
          timer.FPending = nullptr;
          fire();
          CHECK(driver.ProtocolStateValue() == TProtocolState::Idle);
        }
        break;
      case kActFuse:
        presenter.ToggleFuse(in.ConsumeIntegralInRange<std::size_t>(0, 24));
        break;
      case kActBufferEdit:
        buffer.FBytes.resize(in.ConsumeIntegralInRange<std::size_t>(0, 300));
        break;
      case kActSetting:
        presenter.SetVerifyAfterProgram(in.ConsumeBool());
        presenter.Window().SetChecked(TControl::updatebuffer, in.ConsumeBool());
        reloader.FResult = in.ConsumeBool();
        presenter.SetLanguageIndex(in.ConsumeIntegralInRange<std::uint8_t>(0, 2));
        break;
      default:
        break;
    }
    const TProtocolState state = driver.ProtocolStateValue();
    if (timer.FPending || state == TProtocolState::Idle) abandoned = false;
    CHECK(ValidState(state));
    CHECK(!driver.ErrorFlagValue() || state != TProtocolState::Idle);
    // A running operation ends with a reply or with the timer, unless its
    // device was pulled out (abandoned, as a device change does).
    if (state != TProtocolState::Idle && !abandoned) CHECK(static_cast<bool>(timer.FPending));
    if (state == TProtocolState::Idle) CHECK(!timer.FPending);
  }
  return 0;
}
