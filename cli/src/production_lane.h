#pragma once
// One programmer of a production run: its driver runs the command chain on
// the chip in its socket, then (station mode) waits for the chip to be
// swapped and runs the chain again. Everything happens on the run's one event
// loop; the lane never waits itself, it reacts to its driver's events and to
// its timer.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "production_log.h"
#include "programmer_list.h"
#include "quenvar/core/driver_events.h"
#include "quenvar/core/driver_ports.h"
#include "quenvar/core/programmer_driver.h"

namespace quenvar {

class TProductionRun;
struct TCliCommand;

// The image of one command, taken whole and kept per programmer: each chip
// gets its own stamped copy.
class TImageBuffer final : public IMemoryBuffer {
 public:
  std::int64_t DataLength() const override { return static_cast<std::int64_t>(FBytes.size()); }
  std::size_t ReadRange(std::int64_t position, std::span<std::uint8_t> out) const override;
  void ReplaceAll(std::span<const std::uint8_t> data) override {
    FBytes.assign(data.begin(), data.end());
  }
  std::vector<std::uint8_t>& Bytes() { return FBytes; }

 private:
  std::vector<std::uint8_t> FBytes;
};

class TProductionLane final : private IDriverEvents {
 public:
  enum class TState : std::uint8_t {
    Ready,        // claimed, nothing run yet
    Running,      // a chain runs
    WaitRemoval,  // station: polls until the socket is empty
    WaitInsert,   // station: polls until a chip is in the socket
    WaitEnter,    // station, 24xx: waits for Enter
    Done,
  };

  TProductionLane(TProductionRun& run, std::size_t index, TListedProgrammer programmer);
  ~TProductionLane() override;
  TProductionLane(const TProductionLane&) = delete;
  TProductionLane& operator=(const TProductionLane&) = delete;

  IMemoryBuffer& Buffer() { return FBuffer; }
  // After the gang made the driver: options and listener; before Attach.
  void Bind(TProgrammerDriver& driver);
  // After Attach: the target, and whether the programmer is there and writable.
  // False (with the message) when it cannot run.
  bool Prepare();

  void StartChain();
  // An Enter on standard input: a lane that waits for it starts.
  bool TakeEnter();
  // The first stop request: no further chain starts; a running one ends first.
  void Stop();
  // The second one: a running chain is cut now and logged aborted.
  void Abort(int status);
  // Ends the lane with this status and message (e.g. no programmer).
  void Fail(int status, const std::string& message);
  // Hears its driver no more; before the driver goes.
  void Detach();

  TState State() const { return FState; }
  std::uint32_t Number() const { return FProgrammer.FNumber; }
  const std::string& IdentityPath() const { return FProgrammer.FIdentityPath; }
  int Status() const { return FStatus; }
  std::uint32_t ChipsOk() const { return FChipsOk; }
  std::uint32_t ChipsFailed() const { return FChipsFailed; }
  // Whether station mode wanted more chips than the lane did.
  bool LeftChipsOut() const;
  // Chips per hour between the first chain's start and the last one's end.
  double ChipsPerHour() const;
  // What the progress display shows for this programmer.
  std::string ProgressText() const;

 private:
  // IDriverEvents
  void OnLogLine(const TLogLine& line) override;
  void OnProgress(std::int64_t position, std::int64_t maximum) override;
  void OnChipIdentified(const TIdentification& identification) override;
  void OnStepFailed(const std::string& text) override;
  void OnProgrammerLost() override;
  void OnFinished(TOperationResult result) override;

  void Line(const std::string& text);
  void Message(const std::string& text);
  void Later(std::chrono::milliseconds delay, void (TProductionLane::*step)());
  void RunStep();
  void StepDone();
  // The status of the finished operation as a plain session gives it, with
  // its message; 0 for success.
  int OperationStatus(TRequestedOperation operation, const std::string& file);
  // Fills the buffer for a write or verify of `file`; false when the chain
  // must end (its status set).
  bool PrepareImage(const TCliCommand& command, bool write);
  void EndChain(int status, std::optional<TChipResult> result = std::nullopt);
  void AfterChain(bool lost);
  void Poll();
  void PollDone();
  void Finish();

  TProductionRun& FRun;
  std::size_t FIndex;
  TListedProgrammer FProgrammer;
  TProgrammerDriver* FDriver = nullptr;
  TImageBuffer FBuffer;
  TState FState = TState::Ready;
  bool FStopping = false;
  int FTimer = 0;

  // The running chain.
  std::size_t FStep = 0;
  TRequestedOperation FOperation = TRequestedOperation::DetectDevice;
  std::optional<TOperationResult> FResult;
  std::optional<std::uint64_t> FSerial;
  TChipRecord FRecord;
  std::chrono::steady_clock::time_point FChainStart;
  std::string FLastLine;
  bool FPolling = false;
  std::optional<TIdentifyOutcome> FOutcome;

  // Progress of the running operation.
  std::int64_t FPosition = 0;
  std::int64_t FMaximum = 0;
  std::chrono::steady_clock::time_point FGaugeStart;

  int FStatus = 0;
  std::uint32_t FChipsOk = 0;
  std::uint32_t FChipsFailed = 0;
  std::optional<std::chrono::steady_clock::time_point> FFirstStart;
  std::chrono::steady_clock::time_point FLastEnd;
};

}  // namespace quenvar
