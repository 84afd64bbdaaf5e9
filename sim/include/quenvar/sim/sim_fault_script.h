#pragma once
// Scripted faults of the simulated programmer. A fault names a point (the k-th
// output report, the k-th data chunk of commands 3, 4 and 9, or the moment
// after the n-th streamed data report) and what goes wrong there. Counting
// starts when the fault is added, from 1, and each fault fires once.
//
// Not thread-safe on its own: TSimProgrammer guards it. Add faults before or
// between operations.

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace quenvar {

enum class TSimFaultTrigger : std::uint8_t {
  OutputReport,  // the k-th output report of any kind
  Chunk,         // the k-th data chunk (commands 3, 4 and 9)
  DataReport,    // right after the n-th data report of a read stream
};

enum class TSimFaultAction : std::uint8_t {
  // Report triggers: the command is carried out, its reply is lost.
  // Data-report trigger: the stream stops early.
  NoReply,
  // Report triggers: the command is not carried out; the reply is '!'.
  // Data-report trigger: a '!' report follows, then the stream stops.
  ReplyError,
  // The cable is pulled: at a report before it is carried out; in a stream
  // after the n-th data report.
  Unplug,
  // Report triggers: carried out, the reply is replaced by a garbage report.
  // Data-report trigger: a garbage report is inserted; the stream goes on.
  Garbage,
  // The first reply (or the n-th data report) is sent twice.
  Duplicate,
};

struct TSimFault {
  TSimFaultTrigger FTrigger = TSimFaultTrigger::OutputReport;
  std::uint32_t FIndex = 1;  // k or n, from 1; 0 counts as 1
  TSimFaultAction FAction = TSimFaultAction::NoReply;

  static TSimFault AtOutputReport(std::uint32_t k, TSimFaultAction action) {
    return {TSimFaultTrigger::OutputReport, k, action};
  }
  static TSimFault AtChunk(std::uint32_t k, TSimFaultAction action) {
    return {TSimFaultTrigger::Chunk, k, action};
  }
  static TSimFault AfterDataReport(std::uint32_t n, TSimFaultAction action) {
    return {TSimFaultTrigger::DataReport, n, action};
  }
  // A read stream that stops after n data reports.
  static TSimFault StopStreamAfter(std::uint32_t n) {
    return AfterDataReport(n, TSimFaultAction::NoReply);
  }
};

class TSimFaultScript {
 public:
  void Add(const TSimFault& fault);
  void Clear() { FArmed.clear(); }
  std::size_t Pending() const { return FArmed.size(); }

  // Each call counts one event of its kind and returns the action of a fault
  // that fires there. When two faults name the same point, the first added wins
  // and the other is dropped.
  std::optional<TSimFaultAction> CountOutputReport() {
    return Count(TSimFaultTrigger::OutputReport);
  }
  std::optional<TSimFaultAction> CountChunk() { return Count(TSimFaultTrigger::Chunk); }
  std::optional<TSimFaultAction> CountDataReport() { return Count(TSimFaultTrigger::DataReport); }

 private:
  struct TArmed {
    TSimFault FFault;
    std::uint64_t FFireAt;
  };
  std::optional<TSimFaultAction> Count(TSimFaultTrigger trigger);

  std::array<std::uint64_t, 3> FCounts{};
  std::vector<TArmed> FArmed;
};

}  // namespace quenvar
