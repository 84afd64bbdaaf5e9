#pragma once
// A production run: the same command chain on every selected programmer at
// once, one driver per programmer on one event loop, with serial numbers,
// the production log and station mode.

#include <chrono>
#include <cstdint>
#include <iosfwd>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cli_link.h"
#include "cli_stop.h"
#include "gang_progress.h"
#include "production_lane.h"
#include "production_log.h"
#include "quenvar/cli/cli.h"
#include "quenvar/cli/cli_options.h"
#include "quenvar/stack/programmer_gang.h"
#include "serial_file.h"

namespace quenvar {

// Runs a chain whose options ask for a production run (see
// TProductionOptions::RunsAsProduction); an exit status.
int RunProduction(const TCliOptions& options, const TCliEnvironment& env, std::ostream& out,
                  std::ostream& err);

// Enter presses on standard input, read without blocking on the event loop.
// On Windows the loop cannot wait on it: the run drains it every loop slice.
class TLineInput final : public IHidChangeSource {
 public:
  explicit TLineInput(int fd) : FFd(fd), FClosed(fd < 0) {}

  // An input at its end is always readable: it is watched no more.
#ifdef _WIN32
  int PollFd() const override {
    return -1;
  }
#else
  int PollFd() const override {
    return FClosed ? -1 : FFd;
  }
#endif
  bool Drain() override;
  void SetWakeup(std::function<void()> /*wake*/) override {}

  int TakeEnters() {
    return std::exchange(FEnters, 0);
  }
  bool Closed() const {
    return FClosed;
  }

 private:
  int FFd;
  bool FClosed;
  int FEnters = 0;
};

class TProductionRun {
 public:
  TProductionRun(const TCliOptions& options, const TCliEnvironment& env, std::ostream& out,
                 std::ostream& err);
  ~TProductionRun();
  TProductionRun(const TProductionRun&) = delete;
  TProductionRun& operator=(const TProductionRun&) = delete;

  int Run();

  // --- for the lanes
  const TCliOptions& Options() const { return FOptions; }
  std::uint8_t Language() const { return FOptions.FLanguageIndex; }
  bool Station() const { return FOptions.FProduction.FRepeat; }
  IEventLoop& Loop() { return FLink.Stack().EventLoop(); }
  // The image of a write or verify file, loaded once before the start.
  const std::vector<std::uint8_t>& Image(const std::string& file) const { return FImages.at(file); }
  // A log line of programmer `lane` on standard output, a message on standard error.
  void Line(const TProductionLane& lane, const std::string& text);
  void Message(const TProductionLane& lane, const std::string& text);
  TSerialTake TakeSerial();
  // The chain on `lane` has ended: its record goes to the log, and a
  // simulated programmer takes the chip out. False when the log failed.
  bool ChainEnded(std::size_t lane, const TChipRecord& record);
  // A 24xx lane waits for Enter from now on.
  void PromptForEnter();
  // Whether standard input has ended: no Enter can come any more.
  bool InputClosed() const { return FInput == nullptr || FInput->Closed(); }

 private:
  int CheckBeforeStart();
  // Why the number cannot be stamped as --serial asks; empty when it can.
  std::string SerialMisfit(std::uint64_t number) const;
  int StartLanes();
  void OnInput();
  void DrawProgress(bool force);
  void PrintSummary();

  const TCliOptions& FOptions;
  const TCliEnvironment& FEnv;
  std::ostream& FOut;
  std::ostream& FErr;
  TCliStop FStop;
  TCliLink FLink;
  std::map<std::string, std::vector<std::uint8_t>> FImages;
  std::optional<TSerialFile> FSerialFile;
  std::optional<TProductionLog> FLog;
  TGangProgress FProgress;
  std::chrono::steady_clock::time_point FLastDraw{};
  bool FPrefix = false;

  std::unique_ptr<TLineInput> FInput;
  int FInputWatch = 0;
  bool FInputClosed = false;
  bool FPrompted = false;

  // The lanes hold the gang's drivers: they go first.
  std::unique_ptr<TProgrammerGang> FGang;
  std::vector<std::unique_ptr<TProductionLane>> FLanes;
};

}  // namespace quenvar
