#pragma once
// The simulated programmer: answers the application's output reports with
// input reports as the real firmware does, for an AVR on the ISP connector
// (target byte 5) and a 24xx EEPROM in the socket (target byte 3) at once.
//
// Threads: OnOutputReport runs on whatever thread writes the report. The
// other methods may be called from another thread between operations (set-up,
// fault scripting, inspecting the chips); a mutex keeps the state consistent,
// and replies are handed to the host outside it. Avr() and Socket() give
// direct access and must not be used while an operation runs.
//
// Choices where the protocol leaves the device free:
//  - a report whose id byte is not 0, or shorter than 3 bytes, is ignored;
//  - an unknown target byte or an unknown command code is ignored (no reply);
//  - the socket answers '!' to the AVR-only commands 1, 7, 8, 9 and 10;
//  - a chunk count above 58 or a record count above 20 is refused with '!'
//    (the report cannot hold more), never clamped;
//  - a chunk with count 0 is accepted and writes nothing;
//  - writing or verifying past the memory's end answers '!' (the socket's
//    end is the programmer's 16-bit address range; the chip itself wraps).
//
// With a chip supply (chips=K) the ISP socket holds K chips in turn; see
// ChainEnded.

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "quenvar/base/result.h"
#include "quenvar/devmodel/sim_device_model.h"
#include "quenvar/protocol/protocol.h"
#include "quenvar/sim/sim_24xx.h"
#include "quenvar/sim/sim_avr_chip.h"
#include "quenvar/sim/sim_config.h"
#include "quenvar/sim/sim_fault_script.h"
#include "quenvar/sim/sim_state_file.h"

namespace quenvar {

class TSimProgrammer final : public ISimDeviceModel {
 public:
  // Realistic timing: USB frames and programming times of the datasheets.
  static constexpr std::chrono::microseconds kUsbFrame{1000};
  static constexpr std::chrono::microseconds kFlashPageWrite{4500};
  static constexpr std::chrono::microseconds kEepromByteWrite{9000};
  static constexpr std::chrono::microseconds k24xxPageWrite{5000};
  static constexpr std::chrono::microseconds kChipErase{9000};
  static constexpr std::chrono::microseconds kFuseWrite{4500};
  // How long the operator's hand takes to swap the chip in the ISP socket.
  static constexpr std::chrono::milliseconds kChipSwap{300};

  using TClock = std::function<std::chrono::steady_clock::time_point()>;

  // One array type holds the reports of both directions.
  static_assert(kInReportSize == kOutReportSize);
  using TReport = std::array<std::uint8_t, kOutReportSize>;

  // Chips and timing of the configuration; the state file is not read here
  // (see FromConfig).
  explicit TSimProgrammer(const TSimConfig& config = {});
  TSimProgrammer(TSimAvrChip avr, TSim24xx socket, bool realTiming);

  // Builds the programmer of a configuration. When it names a state file, the
  // file is locked for this programmer (see TSimStateFile; onWaitForState is
  // called once when another process holds it) and its chips, if any, are loaded.
  // A configuration of several programmers is refused: TSimGang builds those.
  static TResult<std::shared_ptr<TSimProgrammer>> FromConfig(
      const TSimConfig& config, const std::function<void()>& onWaitForState = {});

  void OnOutputReport(std::span<const std::uint8_t> report, ISimDeviceHost& host) override;

  // The chip in the ISP socket, or the last one taken out of it.
  TSimAvrChip& Avr() { return FAvr; }
  TSim24xx& Socket() { return FSocket; }
  // Puts the chip in the ISP socket (also when it was empty).
  void SetAvr(TSimAvrChip chip);
  void SetSocket(TSim24xx chip);
  void SetRealTiming(bool real);
  bool RealTiming() const;

  void AddFault(const TSimFault& fault);
  void ClearFaults();
  std::size_t PendingFaults() const;

  // Forgets a half-done chunked write or verify, as a power cycle would.
  void ResetSession();

  // A command chain has ended on this programmer. With a chip supply the chip
  // is taken out: the socket reads as empty (signature FF FF FF), then a fresh
  // chip of the same type appears, with erased memories and factory fuses;
  // after the supply's last chip it stays empty. The swap takes kChipSwap on
  // the clock and at least one signature read, so a late poll still sees the
  // empty socket; without timing it takes just that one read, and no time.
  // Without a supply, and while the socket is empty, nothing happens. The
  // supply is counted per run; a state file keeps the chip in the socket, or
  // the last one taken out, which is the first chip of the next run.
  void ChainEnded();
  // Where the swap time comes from; the steady clock unless a test sets one.
  void SetClock(TClock clock);

  // A copy of the chips, as the state file keeps them.
  TSimState State() const;

  // Sends a report nobody asked for: report id 0, then `replyBytes`.
  void EmitUnsolicited(ISimDeviceHost& host, std::span<const std::uint8_t> replyBytes) const;

  // Writes the chips to the state file FromConfig locked; nothing without one
  // or after ReleaseState.
  TResult<void> SaveState();
  // Lets other processes have the state file.
  void ReleaseState();

  // The report a garbage fault sends: id 0, then bytes that are no reply code
  // and no valid stream count.
  static TReport GarbageReport();

 private:
  struct TOut {
    TReport FBytes;
    std::chrono::microseconds FDelay;
  };
  struct TSession {
    bool FActive = false;
    std::uint8_t FTarget = 0;
    std::uint8_t FCommand = 0;
    std::uint32_t FPos = 0;
    std::uint32_t FPageBytes = 1;
  };
  struct TStep {
    std::vector<TOut> FOut;
    bool FUnplug = false;
  };

  enum class TIspSocket : std::uint8_t { Holding, Out, Empty };

  // The chip commands reach: none while the socket is empty.
  TSimAvrChip& Isp() { return FIspSocket == TIspSocket::Holding ? FAvr : FNoChip; }
  void TakeFreshChipIfDue();

  void Process(const TReport& r, TStep& step);
  void Execute(const TReport& r, TStep& step);
  void Chunk(const TReport& r, TStep& step);
  void ChunkIsp(const TReport& r, std::span<const std::uint8_t> data, bool last, TStep& step);
  void ChunkSocket(const TReport& r, std::span<const std::uint8_t> data, bool last, TStep& step);
  void Stream(std::uint32_t total, bool flash, bool socket, TStep& step);
  void Reply(TStep& step, std::initializer_list<std::uint8_t> bytes,
             std::chrono::microseconds work = {});
  void ReplyWith(TStep& step, const std::vector<std::uint8_t>& bytes,
                 std::chrono::microseconds work);
  std::chrono::microseconds Delay(std::chrono::microseconds work) const;

  mutable std::mutex FMutex;
  TSimAvrChip FAvr;
  TSim24xx FSocket;
  bool FRealTiming = true;
  TSimFaultScript FFaults;
  TSession FSession;
  std::optional<TSimStateFile> FStateFile;

  // Chips the supply holds after the one in the socket; none: no supply.
  std::optional<std::uint32_t> FChipsLeft;
  TIspSocket FIspSocket = TIspSocket::Holding;
  std::chrono::steady_clock::time_point FOutSince;
  bool FOutSeen = false;  // a signature read found the socket empty
  TSimAvrChip FNoChip;
  TClock FClock = [] { return std::chrono::steady_clock::now(); };
};

}  // namespace quenvar
