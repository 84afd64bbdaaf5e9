// A thousand mixed operations in a row against the simulated programmer, as a
// user would run them, with faults injected at random. Every operation must end
// with a result line (after a time-out if need be) or be abandoned by a pulled
// cable; nothing may stay stuck, leak or grow without bound, and every report
// must be one the programmer can take. Operations without a fault must succeed
// and move exactly the right bytes.
//
// The seed is printed; QUENVAR_SOAK_SEED=<n> repeats a run.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "quenvar/core/chip_table.h"
#include "quenvar/core/eeprom_types.h"
#include "quenvar/sim/sim_chip_table.h"
#include "quenvar/sim/sim_config.h"
#include "soak_stack.h"

namespace quenvar::test {
namespace {

using namespace std::chrono_literals;

constexpr int kOperationCount = 1000;
constexpr auto kReplyTimeout = 50ms;
// Far above any operation of this soak; reaching it means a stuck state.
constexpr auto kOperationLimit = 20s;

struct TLanguageTexts {
  std::string_view Success;
  std::string_view Error;
  std::string_view DurationPrefix;
  std::string_view NoReply;
};

constexpr TLanguageTexts kTexts[3] = {
    {"Erfolgreich beendet.", "Fehler.", "Dauer: ", "Keine Antwort vom Programmer."},
    {"Successfully finished.", "Error.", "Duration: ", "No reply from the programmer."},
    {"Действие завершено успешно !", "Ошибка.",
     "Время выполнения : ", "Нет ответа от программатора."},
};

// AVR chips the soak moves between: every fuse family, with and without the
// fuse read, flash from 1 to 16 KB.
constexpr std::string_view kChips[] = {"ATmega8",   "ATtiny13",     "AT90S2313", "ATtiny2313",
                                       "ATmega48",  "ATmega16",     "AT90S1200", "ATtiny12",
                                       "ATtiny15L", "AT90S/LS4433", "ATtiny22",  "ATmega8515",
                                       "ATtiny26",  "AT90S/LS2343"};

enum class TOp { Detect, Erase, Program, Verify, ReadFlash, ReadEeprom, ProgramEeprom, WriteFuses };

struct TOpInfo {
  TOp Op;
  TControl Control;
  bool IspOnly;
  bool NeedsData;
};

constexpr TOpInfo kOps[] = {
    {TOp::Detect, TControl::bDetectDevice, true, false},
    {TOp::Erase, TControl::bErase, false, false},
    {TOp::Program, TControl::bProg, false, true},
    {TOp::Verify, TControl::bVerify, false, true},
    {TOp::ReadFlash, TControl::bRead, false, false},
    {TOp::ReadEeprom, TControl::breadeeprom, true, false},
    {TOp::ProgramEeprom, TControl::bprogeeprom, true, true},
    {TOp::WriteFuses, TControl::bWriteFuse, true, false},
};

unsigned SoakSeed() {
  if (const char* text = std::getenv("QUENVAR_SOAK_SEED"); text != nullptr && *text != '\0')
    return static_cast<unsigned>(std::strtoul(text, nullptr, 10));
  // A fixed run by default, so that a failure in CI can be repeated as it came.
  return 20261208;
}

class Soak : public ::testing::Test {
 protected:
  Soak() : Seed(SoakSeed()), Rng(Seed) {
    std::printf("soak seed %u (QUENVAR_SOAK_SEED=%u repeats this run)\n", Seed, Seed);
    std::fflush(stdout);
    RecordProperty("seed", std::to_string(Seed));
    S.Driver().ReplyTimeout = kReplyTimeout;
  }

  int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(Rng); }
  bool Chance(int percent) { return Pick(100) < percent; }

  bool Isp() { return S.Driver().IspModeValue(); }
  // Bytes of the memory that flash operations address on the current target.
  std::size_t FlashSize() {
    return Isp() ? S.Programmer->Avr().Flash().size() : S.Programmer->Socket().Content().size();
  }

  void SwitchTarget() {
    if (Chance(40)) {
      S.Presenter.nAVRISPClick();
    } else {
      const std::size_t type = static_cast<std::size_t>(Pick(kEepromTypeCount));
      // The socket holds the part the menu names; both tables list them in one order.
      const TSim24xxModel& model = Sim24xxModels()[type];
      ASSERT_EQ(static_cast<std::int32_t>(model.Size),
                EepromReadSize(EepromTypes()[type].SizeCode));
      S.Programmer->SetSocket(TSim24xx(model));
      S.Presenter.SelectEepromType(type);
    }
  }

  void SwapChip() {
    TSimIspSetup setup;
    setup.ChipName = std::string(kChips[Pick(static_cast<int>(std::size(kChips)))]);
    ASSERT_NE(FindSimAvrModel(setup.ChipName), nullptr) << setup.ChipName;
    ASSERT_NE(FindChipByName(setup.ChipName), nullptr) << setup.ChipName;
    S.Programmer->SetAvr(MakeSimAvrChip(setup));
  }

  // Random content, usually no longer than the target memory (so a clean write
  // must succeed), sometimes longer.
  void LoadBuffer() {
    const std::size_t limit = std::min<std::size_t>(FlashSize(), 4096);
    std::size_t length = static_cast<std::size_t>(Pick(static_cast<int>(limit))) + 1;
    if (Chance(10)) length = limit + 1 + static_cast<std::size_t>(Pick(200));
    if (Chance(20) && Isp()) length = 1 + static_cast<std::size_t>(Pick(64));  // EEPROM sized
    TBytes data(length);
    for (auto& b : data) b = static_cast<std::uint8_t>(Pick(256));
    S.Load(data);
  }

  void ArmFault() {
    static constexpr TSimFaultAction kActions[] = {
        TSimFaultAction::NoReply, TSimFaultAction::ReplyError, TSimFaultAction::Unplug,
        TSimFaultAction::Garbage, TSimFaultAction::Duplicate};
    const TSimFaultAction action = kActions[Pick(5)];
    const std::uint32_t index = 1 + static_cast<std::uint32_t>(Pick(6));
    switch (Pick(3)) {
      case 0:
        S.Programmer->AddFault(TSimFault::AtOutputReport(index, action));
        break;
      case 1:
        S.Programmer->AddFault(TSimFault::AtChunk(index, action));
        break;
      default:
        S.Programmer->AddFault(TSimFault::AfterDataReport(index, action));
        break;
    }
  }

  // For a fuse write the boxes must show the chip: detect first, clean.
  bool PrepareFuseWrite() {
    S.Programmer->ClearFaults();
    if (!S.Presenter.Click(TControl::bDetectDevice)) return false;
    if (!S.Loop().RunUntil([this] { return S.Idle(); }, kOperationLimit)) return false;
    S.Sim.Drain(2ms);
    const auto& items = S.W().FuseList();
    for (std::size_t i = 0; i < items.size(); ++i) {
      if (!items[i].Enabled) continue;
      // Flipped twice: unchanged, but the write button is now enabled.
      S.Presenter.ToggleFuse(i);
      S.Presenter.ToggleFuse(i);
      return true;
    }
    return false;
  }

  // Expected content of the target memory after a clean write of `data`.
  static bool StartsWith(const TBytes& memory, const TBytes& data) {
    return data.size() <= memory.size() && std::equal(data.begin(), data.end(), memory.begin());
  }

  void RunOne(int number) {
    const TOpInfo& info = kOps[Pick(static_cast<int>(std::size(kOps)))];
    if (info.IspOnly && !Isp()) return;
    if (info.NeedsData && S.Sim.Editor.DataLength() == 0) return;
    if (info.Op == TOp::WriteFuses && !PrepareFuseWrite()) return;
    const std::uint8_t language = static_cast<std::uint8_t>(Pick(3));
    S.Presenter.SetLanguageIndex(language);
    S.Presenter.SetVerifyAfterProgram(Chance(50));
    const bool faulty = Chance(35);
    if (faulty) ArmFault();

    const TBytes before = S.Content();
    const TBytes flashBefore =
        Isp() ? S.Programmer->Avr().Flash() : S.Programmer->Socket().Content();
    const TBytes eepromBefore = S.Programmer->Avr().Eeprom();
    SCOPED_TRACE("operation " + std::to_string(number) + " (" +
                 std::string(ControlName(info.Control)) + "), seed " + std::to_string(Seed) +
                 (faulty ? ", with a fault" : ""));

    ASSERT_TRUE(S.Presenter.Click(info.Control)) << ControlName(info.Control) << " not reachable";
    ++Started;
    // A refused click starts nothing, so it leaves an abandoned exchange's state as it was.
    const bool ended = S.Loop().RunUntil(
        [this] {
          return S.Idle() || !S.Driver().HasProgrammer() || S.Driver().LastRefusal().has_value();
        },
        kOperationLimit);
    ASSERT_TRUE(ended) << "stuck in state " << static_cast<int>(S.Driver().ProtocolStateValue());
    S.Sim.Drain(faulty ? 10ms : 2ms);

    const bool unplugged = !S.Driver().HasProgrammer();
    if (const auto& refusal = S.Driver().LastRefusal()) {
      // Too large for the target: refused before the erase, the chip untouched.
      ++Refused;
      EXPECT_EQ(refusal->ImageSize, static_cast<std::int64_t>(before.size()));
      EXPECT_GT(refusal->ImageSize, refusal->TargetSize);
      EXPECT_EQ(Isp() ? S.Programmer->Avr().Flash() : S.Programmer->Socket().Content(),
                flashBefore);
      EXPECT_EQ(S.Programmer->Avr().Eeprom(), eepromBefore);
      EXPECT_TRUE(S.W().MainWindowEnabled());
    } else if (unplugged) {
      // Abandoned without a result line; the window is usable again.
      ++Abandoned;
      EXPECT_TRUE(S.W().MainWindowEnabled());
      EXPECT_FALSE(S.W().Progress().Shown);
      EXPECT_EQ(S.W().StatusPanel(0), "Программатор не подключен!");
      EXPECT_EQ(S.Sim.Stack.Controller().NumClaimedDevices(), 0);
      ASSERT_TRUE(S.Sim.Replug()) << "programmer not claimed again";
    } else {
      ASSERT_TRUE(S.Idle());
      const auto& log = S.W().Verlauf();
      ASSERT_GE(log.size(), 3u);
      const TLanguageTexts& texts = kTexts[language];
      const std::string& result = log[log.size() - 2];
      EXPECT_EQ(log[log.size() - 3], "");
      EXPECT_TRUE(result == texts.Success || result == texts.Error) << result;
      EXPECT_EQ(log.back().rfind(texts.DurationPrefix, 0), 0u) << log.back();
      EXPECT_TRUE(S.W().MainWindowEnabled());
      EXPECT_FALSE(S.W().Progress().Shown);
      const bool success = result == texts.Success;
      if (!success) ++Failed;
      if (log.size() >= 4 && log[log.size() - 4] == texts.NoReply) ++TimedOut;
      if (!faulty) CheckClean(info.Op, success, before, flashBefore, eepromBefore);
    }
    // Only a completed read may change the buffer.
    if (info.Op != TOp::ReadFlash && info.Op != TOp::ReadEeprom) {
      EXPECT_EQ(S.Content(), before);
    }

    EXPECT_EQ(S.Model->Malformed.load(), 0u)
        << "last malformed report starts "
        << (S.Model->LastMalformed.size() > 4 ? std::to_string(S.Model->LastMalformed[2]) + "," +
                                                    std::to_string(S.Model->LastMalformed[3])
                                              : std::string("-"));
    EXPECT_EQ(S.Sim.Backend->PendingInputReports(S.Sim.Plug), 0u);
    EXPECT_LE(S.Sim.Stack.Controller().NumClaimedDevices(), 1);
    S.Programmer->ClearFaults();
    S.Programmer->ResetSession();
  }

  // A clean operation succeeds (or fails exactly when it must) and moves the right bytes.
  void CheckClean(TOp op, bool success, const TBytes& before, const TBytes& flashBefore,
                  const TBytes& eepromBefore) {
    const TBytes flashNow = Isp() ? S.Programmer->Avr().Flash() : S.Programmer->Socket().Content();
    const TBytes& eepromNow = S.Programmer->Avr().Eeprom();
    switch (op) {
      case TOp::Detect:
      case TOp::Erase:
      case TOp::WriteFuses:
        EXPECT_TRUE(success);
        break;
      case TOp::Program:
        // An image larger than the chip was refused before this.
        EXPECT_TRUE(success);
        EXPECT_TRUE(StartsWith(flashNow, before));
        break;
      case TOp::Verify:
        EXPECT_EQ(success, StartsWith(flashBefore, before));
        EXPECT_EQ(flashNow, flashBefore);
        break;
      case TOp::ReadFlash:
        EXPECT_TRUE(success);
        EXPECT_EQ(S.Content(), flashNow);
        break;
      case TOp::ReadEeprom:
        EXPECT_TRUE(success);
        EXPECT_EQ(S.Content(), eepromNow);
        break;
      case TOp::ProgramEeprom:
        EXPECT_EQ(success, before.size() <= eepromBefore.size());
        if (success) {
          EXPECT_TRUE(StartsWith(eepromNow, before));
        }
        break;
    }
  }

  unsigned Seed;
  std::mt19937 Rng;
  TSoakStack S;
  int Started = 0;
  int Failed = 0;
  int TimedOut = 0;
  int Abandoned = 0;
  int Refused = 0;
};

TEST_F(Soak, ThousandMixedOperationsEndCleanly) {
  ASSERT_TRUE(S.Driver().HasProgrammer());
  S.Presenter.nAVRISPClick();
  S.Load(TBytes(300, 0x5A));
  const auto start = std::chrono::steady_clock::now();
  std::size_t baselineHeap = 0;
  std::uint64_t baselineReports = 0;
  int number = 0;
  while (Started < kOperationCount && !HasFatalFailure() && number < 20 * kOperationCount) {
    ++number;
    // Between operations the user changes things.
    if (Chance(8)) SwitchTarget();
    if (Chance(5)) SwapChip();
    if (Chance(15) || S.Sim.Editor.DataLength() == 0) LoadBuffer();
    if (HasFatalFailure()) break;
    RunOne(number);
    if (Started == 100 && baselineHeap == 0) {
      baselineHeap = LiveHeapBytes();
      baselineReports = S.Model->Reports.load();
    }
  }
  ASSERT_FALSE(HasFatalFailure());
  ASSERT_EQ(Started, kOperationCount);

  // Bounded memory: past the warm-up, the heap grows only by the simulated
  // backend's record of written reports (65 bytes each plus its vector slot).
  const std::uint64_t reports = S.Model->Reports.load();
  const std::size_t allowance = 65 * (reports - baselineReports) + 48 * reports + (4u << 20);
  const std::size_t heap = LiveHeapBytes();
  EXPECT_LE(heap, baselineHeap + allowance)
      << "heap grew from " << baselineHeap << " to " << heap << " bytes";
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf(
      "soak: %d operations in %.1f s, %d ended with an error (%d by time-out), %d abandoned by "
      "a pulled cable, %d refused as too large, %llu reports, heap %zu -> %zu bytes\n",
      Started, seconds, Failed, TimedOut, Abandoned, Refused,
      static_cast<unsigned long long>(reports), baselineHeap, heap);
}

}  // namespace
}  // namespace quenvar::test
