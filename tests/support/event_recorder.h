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
  std::uint8_t FLanguage = 1;
  // The running operation's log, as rendered; a start begins it anew.
  std::vector<std::string> FLines;
  std::vector<TOperationResult> FResults;
  std::vector<std::string> FFailures;
  std::vector<TOperationRefusal> FRefusals;
  std::vector<TIdentification> FIdentified;
  std::vector<TFuseBoxChange> FFuseChanges;
  std::vector<std::uint8_t> FDataRead;
  std::int64_t FPosition = 0;
  std::int64_t FMaximum = 0;
  int FVerifySteps = 0;
  // One word per event, in order: "start", "log", "progress", "verify",
  // "chip", "fuses", "data", "failed", "refused", "lost", "claimed",
  // "missing", "changed", "finished".
  std::vector<std::string> FTrace;

  void OnOperationStarted(TRequestedOperation) override {
    FLines.clear();
    FTrace.push_back("start");
  }
  void OnLogLine(const TLogLine& line) override {
    FLines.push_back(RenderLogLine(line, FLanguage));
    FTrace.push_back("log");
  }
  void OnProgress(std::int64_t position, std::int64_t maximum) override {
    FPosition = position;
    FMaximum = maximum;
    FTrace.push_back("progress");
  }
  void OnVerifyStarted() override {
    ++FVerifySteps;
    FTrace.push_back("verify");
  }
  void OnChipIdentified(const TIdentification& identification) override {
    FIdentified.push_back(identification);
    FTrace.push_back("chip");
  }
  void OnFusesRead(std::span<const TFuseBoxChange> changes) override {
    FFuseChanges.assign(changes.begin(), changes.end());
    FTrace.push_back("fuses");
  }
  void OnDataRead(std::span<const std::uint8_t> data) override {
    FDataRead.assign(data.begin(), data.end());
    FTrace.push_back("data");
  }
  void OnStepFailed(const std::string& text) override {
    FFailures.push_back(text);
    FTrace.push_back("failed");
  }
  void OnImageRefused(const TOperationRefusal& refusal) override {
    FRefusals.push_back(refusal);
    FTrace.push_back("refused");
  }
  void OnProgrammerLost() override { FTrace.push_back("lost"); }
  void OnProgrammerClaimed() override { FTrace.push_back("claimed"); }
  void OnProgrammerMissing() override { FTrace.push_back("missing"); }
  void OnDeviceChangeHandled() override { FTrace.push_back("changed"); }
  void OnFinished(TOperationResult result) override {
    FResults.push_back(result);
    FTrace.push_back("finished");
  }
};

}  // namespace quenvar::test
