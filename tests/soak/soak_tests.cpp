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
  std::string_view FSuccess;
  std::string_view FError;
  std::string_view FDurationPrefix;
  std::string_view FNoReply;
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
  TOp FOp;
  TControl FControl;
  bool FIspOnly;
  bool FNeedsData;
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
  Soak() : FSeed(SoakSeed()), FRng(FSeed) {
    std::printf("soak seed %u (QUENVAR_SOAK_SEED=%u repeats this run)\n", FSeed, FSeed);
    std::fflush(stdout);
    RecordProperty("seed", std::to_string(FSeed));
    FS.Driver().FReplyTimeout = kReplyTimeout;
  }

  int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(FRng); }
  bool Chance(int percent) { return Pick(100) < percent; }

  bool Isp() { return FS.Driver().IspModeValue(); }
  // Bytes of the memory that flash operations address on the current target.
  std::size_t FlashSize() {
    return Isp() ? FS.FProgrammer->Avr().Flash().size() : FS.FProgrammer->Socket().Content().size();
  }

  void SwitchTarget() {
    if (Chance(40)) {
      FS.FPresenter.nAVRISPClick();
    } else {
      const std::size_t type = static_cast<std::size_t>(Pick(kEepromTypeCount));
      // The socket holds the part the menu names; both tables list them in one order.
      const TSim24xxModel& model = Sim24xxModels()[type];
      ASSERT_EQ(static_cast<std::int32_t>(model.FSize),
                EepromReadSize(EepromTypes()[type].FSizeCode));
      FS.FProgrammer->SetSocket(TSim24xx(model));
      FS.FPresenter.SelectEepromType(type);
    }
  }

  void SwapChip() {
    TSimIspSetup setup;
    setup.FChipName = std::string(kChips[Pick(static_cast<int>(std::size(kChips)))]);
    ASSERT_NE(FindSimAvrModel(setup.FChipName), nullptr) << setup.FChipName;
    ASSERT_NE(FindChipByName(setup.FChipName), nullptr) << setup.FChipName;
    FS.FProgrammer->SetAvr(MakeSimAvrChip(setup));
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
    FS.Load(data);
  }

  void ArmFault() {
    static constexpr TSimFaultAction kActions[] = {
        TSimFaultAction::NoReply, TSimFaultAction::ReplyError, TSimFaultAction::Unplug,
        TSimFaultAction::Garbage, TSimFaultAction::Duplicate};
    const TSimFaultAction action = kActions[Pick(5)];
    const std::uint32_t index = 1 + static_cast<std::uint32_t>(Pick(6));
    switch (Pick(3)) {
      case 0:
        FS.FProgrammer->AddFault(TSimFault::AtOutputReport(index, action));
        break;
      case 1:
        FS.FProgrammer->AddFault(TSimFault::AtChunk(index, action));
        break;
      default:
        FS.FProgrammer->AddFault(TSimFault::AfterDataReport(index, action));
        break;
    }
  }

  // For a fuse write the boxes must show the chip: detect first, clean.
  bool PrepareFuseWrite() {
    FS.FProgrammer->ClearFaults();
    if (!FS.FPresenter.Click(TControl::bDetectDevice)) return false;
    if (!FS.Loop().RunUntil([this] { return FS.Idle(); }, kOperationLimit)) return false;
    FS.FSim.Drain(2ms);
    const auto& items = FS.W().FuseList();
    for (std::size_t i = 0; i < items.size(); ++i) {
      if (!items[i].FEnabled) continue;
      // Flipped twice: unchanged, but the write button is now enabled.
      FS.FPresenter.ToggleFuse(i);
      FS.FPresenter.ToggleFuse(i);
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
    if (info.FIspOnly && !Isp()) return;
    if (info.FNeedsData && FS.FSim.FEditor.DataLength() == 0) return;
    if (info.FOp == TOp::WriteFuses && !PrepareFuseWrite()) return;
    const std::uint8_t language = static_cast<std::uint8_t>(Pick(3));
    FS.FPresenter.SetLanguageIndex(language);
    FS.FPresenter.SetVerifyAfterProgram(Chance(50));
    const bool faulty = Chance(35);
    if (faulty) ArmFault();

    const TBytes before = FS.Content();
    const TBytes flashBefore =
        Isp() ? FS.FProgrammer->Avr().Flash() : FS.FProgrammer->Socket().Content();
    const TBytes eepromBefore = FS.FProgrammer->Avr().Eeprom();
    SCOPED_TRACE("operation " + std::to_string(number) + " (" +
                 std::string(ControlName(info.FControl)) + "), seed " + std::to_string(FSeed) +
                 (faulty ? ", with a fault" : ""));

    ASSERT_TRUE(FS.FPresenter.Click(info.FControl))
        << ControlName(info.FControl) << " not reachable";
    ++FStarted;
    // A refused click starts nothing, so it leaves an abandoned exchange's state as it was.
    const bool ended = FS.Loop().RunUntil(
        [this] {
          return FS.Idle() || !FS.Driver().HasProgrammer() || FS.Driver().LastRefusal().has_value();
        },
        kOperationLimit);
    ASSERT_TRUE(ended) << "stuck in state " << static_cast<int>(FS.Driver().ProtocolStateValue());
    FS.FSim.Drain(faulty ? 10ms : 2ms);

    const bool unplugged = !FS.Driver().HasProgrammer();
    if (const auto& refusal = FS.Driver().LastRefusal()) {
      // Too large for the target: refused before the erase, the chip untouched.
      ++FRefused;
      EXPECT_EQ(refusal->FImageSize, static_cast<std::int64_t>(before.size()));
      EXPECT_GT(refusal->FImageSize, refusal->FTargetSize);
      EXPECT_EQ(Isp() ? FS.FProgrammer->Avr().Flash() : FS.FProgrammer->Socket().Content(),
                flashBefore);
      EXPECT_EQ(FS.FProgrammer->Avr().Eeprom(), eepromBefore);
      EXPECT_TRUE(FS.W().MainWindowEnabled());
    } else if (unplugged) {
      // Abandoned without a result line; the window is usable again.
      ++FAbandoned;
      EXPECT_TRUE(FS.W().MainWindowEnabled());
      EXPECT_FALSE(FS.W().Progress().FShown);
      EXPECT_EQ(FS.W().StatusPanel(0), "Программатор не подключен!");
      EXPECT_EQ(FS.FSim.FStack.Controller().NumClaimedDevices(), 0);
      ASSERT_TRUE(FS.FSim.Replug()) << "programmer not claimed again";
    } else {
      ASSERT_TRUE(FS.Idle());
      const auto& log = FS.W().Verlauf();
      ASSERT_GE(log.size(), 3u);
      const TLanguageTexts& texts = kTexts[language];
      const std::string& result = log[log.size() - 2];
      EXPECT_EQ(log[log.size() - 3], "");
      EXPECT_TRUE(result == texts.FSuccess || result == texts.FError) << result;
      EXPECT_EQ(log.back().rfind(texts.FDurationPrefix, 0), 0u) << log.back();
      EXPECT_TRUE(FS.W().MainWindowEnabled());
      EXPECT_FALSE(FS.W().Progress().FShown);
      const bool success = result == texts.FSuccess;
      if (!success) ++FFailed;
      if (log.size() >= 4 && log[log.size() - 4] == texts.FNoReply) ++FTimedOut;
      if (!faulty) CheckClean(info.FOp, success, before, flashBefore, eepromBefore);
    }
    // Only a completed read may change the buffer.
    if (info.FOp != TOp::ReadFlash && info.FOp != TOp::ReadEeprom) {
      EXPECT_EQ(FS.Content(), before);
    }

    EXPECT_EQ(FS.FModel->FMalformed.load(), 0u)
        << "last malformed report starts "
        << (FS.FModel->FLastMalformed.size() > 4
                ? std::to_string(FS.FModel->FLastMalformed[2]) + "," +
                      std::to_string(FS.FModel->FLastMalformed[3])
                : std::string("-"));
    EXPECT_EQ(FS.FSim.FBackend->PendingInputReports(FS.FSim.FPlug), 0u);
    EXPECT_LE(FS.FSim.FStack.Controller().NumClaimedDevices(), 1);
    FS.FProgrammer->ClearFaults();
    FS.FProgrammer->ResetSession();
  }

  // A clean operation succeeds (or fails exactly when it must) and moves the right bytes.
  void CheckClean(TOp op, bool success, const TBytes& before, const TBytes& flashBefore,
                  const TBytes& eepromBefore) {
    const TBytes flashNow =
        Isp() ? FS.FProgrammer->Avr().Flash() : FS.FProgrammer->Socket().Content();
    const TBytes& eepromNow = FS.FProgrammer->Avr().Eeprom();
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
        EXPECT_EQ(FS.Content(), flashNow);
        break;
      case TOp::ReadEeprom:
        EXPECT_TRUE(success);
        EXPECT_EQ(FS.Content(), eepromNow);
        break;
      case TOp::ProgramEeprom:
        EXPECT_EQ(success, before.size() <= eepromBefore.size());
        if (success) {
          EXPECT_TRUE(StartsWith(eepromNow, before));
        }
        break;
    }
  }

  unsigned FSeed;
  std::mt19937 FRng;
  TSoakStack FS;
  int FStarted = 0;
  int FFailed = 0;
  int FTimedOut = 0;
  int FAbandoned = 0;
  int FRefused = 0;
};

TEST_F(Soak, ThousandMixedOperationsEndCleanly) {
  ASSERT_TRUE(FS.Driver().HasProgrammer());
  FS.FPresenter.nAVRISPClick();
  FS.Load(TBytes(300, 0x5A));
  const auto start = std::chrono::steady_clock::now();
  std::size_t baselineHeap = 0;
  std::uint64_t baselineReports = 0;
  int number = 0;
  while (FStarted < kOperationCount && !HasFatalFailure() && number < 20 * kOperationCount) {
    ++number;
    // Between operations the user changes things.
    if (Chance(8)) SwitchTarget();
    if (Chance(5)) SwapChip();
    if (Chance(15) || FS.FSim.FEditor.DataLength() == 0) LoadBuffer();
    if (HasFatalFailure()) break;
    RunOne(number);
    if (FStarted == 100 && baselineHeap == 0) {
      baselineHeap = LiveHeapBytes();
      baselineReports = FS.FModel->FReports.load();
    }
  }
  ASSERT_FALSE(HasFatalFailure());
  ASSERT_EQ(FStarted, kOperationCount);

  // Bounded memory: past the warm-up, the heap grows only by the simulated
  // backend's record of written reports (65 bytes each plus its vector slot).
  const std::uint64_t reports = FS.FModel->FReports.load();
  const std::size_t allowance = 65 * (reports - baselineReports) + 48 * reports + (4u << 20);
  const std::size_t heap = LiveHeapBytes();
  EXPECT_LE(heap, baselineHeap + allowance)
      << "heap grew from " << baselineHeap << " to " << heap << " bytes";
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf(
      "soak: %d operations in %.1f s, %d ended with an error (%d by time-out), %d abandoned by "
      "a pulled cable, %d refused as too large, %llu reports, heap %zu -> %zu bytes\n",
      FStarted, seconds, FFailed, FTimedOut, FAbandoned, FRefused,
      static_cast<unsigned long long>(reports), baselineHeap, heap);
}

}  // namespace
}  // namespace quenvar::test
