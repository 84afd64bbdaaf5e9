#pragma once
// The whole stack for the soak: the presenter over the simulated stack. The
// programmer sits behind a model that checks every output report before the
// simulator sees it.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "quenvar/presenter/main_presenter.h"
#include "quenvar/protocol/protocol.h"
#include "quenvar/sim/sim_programmer.h"
#include "sim_stack.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
// From the sanitizer runtime; declared here as not every compiler ships its header.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#else
#include <malloc.h>
#endif

namespace quenvar::test {

using TBytes = std::vector<std::uint8_t>;

// Bytes currently allocated on the heap (the sanitizers keep their own count).
inline std::size_t LiveHeapBytes() {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  return __sanitizer_get_current_allocated_bytes();
#elif defined(_WIN32)
  std::size_t used = 0;
  _HEAPINFO entry{};
  while (_heapwalk(&entry) == _HEAPOK)
    if (entry._useflag == _USEDENTRY) used += entry._size;
  return used;
#else
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
#endif
}

// Passes reports to the simulator and counts the ones a programmer could not
// take: wrong length or id, no target, a chunk count of 0 or above what the
// command carries, more fuse records than the report holds.
class TCheckingModel final : public ISimDeviceModel {
 public:
  explicit TCheckingModel(std::shared_ptr<TSimProgrammer> inner) : FInner(std::move(inner)) {}

  void OnOutputReport(std::span<const std::uint8_t> report, ISimDeviceHost& host) override {
    ++FReports;
    if (!WellFormed(report)) {
      ++FMalformed;
      FLastMalformed.assign(report.begin(), report.end());
    }
    FInner->OnOutputReport(report, host);
  }

  static bool WellFormed(std::span<const std::uint8_t> r) {
    if (r.size() != kOutReportSize || r[kReportIdByte] != 0 || r[kUnusedOutByte] != 0) return false;
    const bool socket = r[kTargetByte] == kTargetSocket;
    if (!socket && r[kTargetByte] != kTargetIsp) return false;
    const std::size_t count = r[kParam1Byte];
    switch (r[kCommandByte]) {
      case kCmdWriteFlash:
        return count >= 1 && count <= (socket ? kSocketWriteChunkSize : kChunkSize);
      case kCmdVerify:
      case kCmdWriteEeprom:
        return count >= 1 && count <= kChunkSize;
      case kCmdWriteFuses:
      case kCmdReadFuses:
        return count <= kMaxFuseRecords;
      case kCmdReadSignature:
      case kCmdErase:
      case kCmdReadFlash:
      case kCmdReadEeprom:
        return true;
      default:
        return false;
    }
  }

  std::shared_ptr<TSimProgrammer> FInner;
  std::atomic<std::uint64_t> FReports{0};
  std::atomic<std::uint64_t> FMalformed{0};
  TBytes FLastMalformed;  // written on the UI thread, read there too
};

// The simulated stack under the presenter, with the checking model plugged in.
struct TSoakStack {
  TSoakStack() {
    FPresenter.FOnError = [this](const std::string& e) { FErrors.push_back(e); };
    FSim.Attach();
  }

  TProgrammerDriver& Driver() { return FSim.Driver(); }
  TWindowModel& W() { return FPresenter.Window(); }
  bool Idle() const { return FSim.Idle(); }
  TBytes Content() const { return FSim.Content(); }
  TUiLoop& Loop() { return FSim.FLoop.Loop(); }

  // A file load as the window does it: the change handler enables what needs data.
  void Load(const TBytes& data) {
    FSim.FEditor.LoadDataFromBytes(data);
    FPresenter.EnableBufferCommands(static_cast<std::int64_t>(data.size()));
  }

  std::shared_ptr<TSimProgrammer> FProgrammer = std::make_shared<TSimProgrammer>(WithoutTiming());
  std::shared_ptr<TCheckingModel> FModel = std::make_shared<TCheckingModel>(FProgrammer);
  TSimStack FSim{FProgrammer, FModel};
  std::vector<std::string> FErrors;
  TMainPresenter FPresenter{FSim.Driver()};
};

}  // namespace quenvar::test
