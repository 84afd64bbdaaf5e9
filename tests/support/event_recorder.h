#pragma once
// Records what the protocol driver reports: the log as a front end in one
// language would print it, the results, the progress and a trace of the
// events in their order.

#include <cstdint>
#include <string>
#include <vector>

#include "quenvar/core/driver_events.h"
#include "quenvar/core/log_line.h"

namespace quenvar::test {

class TEventRecorder final : public IDriverEvents {
 public:
  std::uint8_t Language = 1;
  // The running operation's log, as rendered; a start begins it anew.
  std::vector<std::string> Lines;
  std::vector<TOperationResult> Results;
  std::vector<std::string> Failures;
  std::vector<TOperationRefusal> Refusals;
  std::vector<TIdentification> Identified;
  std::vector<TFuseBoxChange> FuseChanges;
  std::vector<std::uint8_t> DataRead;
  std::int64_t Position = 0;
  std::int64_t Maximum = 0;
  int VerifySteps = 0;
  // One word per event, in order: "start", "log", "progress", "verify",
  // "chip", "fuses", "data", "failed", "refused", "lost", "claimed",
  // "missing", "changed", "finished".
  std::vector<std::string> Trace;

  void OnOperationStarted(TRequestedOperation) override {
    Lines.clear();
    Trace.push_back("start");
  }
  void OnLogLine(const TLogLine& line) override {
    Lines.push_back(RenderLogLine(line, Language));
    Trace.push_back("log");
  }
  void OnProgress(std::int64_t position, std::int64_t maximum) override {
    Position = position;
    Maximum = maximum;
    Trace.push_back("progress");
  }
  void OnVerifyStarted() override {
    ++VerifySteps;
    Trace.push_back("verify");
  }
  void OnChipIdentified(const TIdentification& identification) override {
    Identified.push_back(identification);
    Trace.push_back("chip");
  }
  void OnFusesRead(std::span<const TFuseBoxChange> changes) override {
    FuseChanges.assign(changes.begin(), changes.end());
    Trace.push_back("fuses");
  }
  void OnDataRead(std::span<const std::uint8_t> data) override {
    DataRead.assign(data.begin(), data.end());
    Trace.push_back("data");
  }
  void OnStepFailed(const std::string& text) override {
    Failures.push_back(text);
    Trace.push_back("failed");
  }
  void OnImageRefused(const TOperationRefusal& refusal) override {
    Refusals.push_back(refusal);
    Trace.push_back("refused");
  }
  void OnProgrammerLost() override { Trace.push_back("lost"); }
  void OnProgrammerClaimed() override { Trace.push_back("claimed"); }
  void OnProgrammerMissing() override { Trace.push_back("missing"); }
  void OnDeviceChangeHandled() override { Trace.push_back("changed"); }
  void OnFinished(TOperationResult result) override {
    Results.push_back(result);
    Trace.push_back("finished");
  }
};

}  // namespace quenvar::test
