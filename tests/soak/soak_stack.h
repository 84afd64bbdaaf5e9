#pragma once
// The whole stack for the soak: driver, HID controller, simulated backend and
// programmer, UI loop and reply timer. The programmer sits behind a model that
// checks every output report before the simulator sees it.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "quenvar/core/hex_editor_buffer.h"
#include "quenvar/core/hid_programmer_port.h"
#include "quenvar/core/programmer_session.h"
#include "quenvar/core/ui_loop_reply_timer.h"
#include "quenvar/hid/sim_hid_backend.h"
#include "quenvar/hid/ui_loop.h"
#include "quenvar/protocol/protocol.h"
#include "quenvar/sim/sim_programmer.h"

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
  explicit TCheckingModel(std::shared_ptr<TSimProgrammer> inner) : Inner(std::move(inner)) {}

  void OnOutputReport(std::span<const std::uint8_t> report, ISimDeviceHost& host) override {
    ++Reports;
    if (!WellFormed(report)) {
      ++Malformed;
      LastMalformed.assign(report.begin(), report.end());
    }
    Inner->OnOutputReport(report, host);
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

  std::shared_ptr<TSimProgrammer> Inner;
  std::atomic<std::uint64_t> Reports{0};
  std::atomic<std::uint64_t> Malformed{0};
  TBytes LastMalformed;  // written on the UI thread, read there too
};

struct TSoakStack {
  TSoakStack() {
    TSimConfig config;
    config.RealTiming = false;
    Programmer = std::make_shared<TSimProgrammer>(config);
    Model = std::make_shared<TCheckingModel>(Programmer);
    Plug = Backend->Plug(0x0451, 0x3210, Model);
    Ctl = std::make_unique<TJvHidDeviceController>(Backend, Loop.Poster());
    Watch = Loop.WatchChanges(*Backend->ChangeSource(), [this] { Ctl->DeviceChange(); });
    Port = std::make_unique<THidProgrammerPort>(*Ctl);
    Session = std::make_unique<TProgrammerSession>(
        TProgrammerSession::TPorts{Port.get(), &Buffer, nullptr, &Timer});
    Session->OnError = [this](const std::string& e) { Errors.push_back(e); };
    Port->Attach(*Session);
  }
  ~TSoakStack() {
    Port->Detach();
    Session.reset();
    Port.reset();
    Loop.UnwatchChanges(Watch);
    Ctl.reset();
  }
  TSoakStack(const TSoakStack&) = delete;
  TSoakStack& operator=(const TSoakStack&) = delete;

  TWindowModel& W() { return Session->Window(); }
  bool Idle() const { return Session->ProtocolStateValue() == TProtocolState::Idle; }
  TBytes Content() const { return TBytes(Editor.Data().begin(), Editor.Data().end()); }

  // A file load as the window does it: the change handler enables what needs data.
  void Load(const TBytes& data) {
    Editor.LoadDataFromBytes(data);
    if (data.empty()) return;
    for (const char* name : {"bProg", "bVerify", "nprogflash", "nverifyflash"})
      W().SetEnabled(name, true);
    if (W().Enabled("nreadeeprom")) {
      W().SetEnabled("nprogeeprom", true);
      W().SetEnabled("bprogeeprom", true);
    }
  }

  // Runs the loop until nothing has arrived for `quiet` and no report waits in
  // the device, so that late duplicates of a finished operation are not taken
  // for the next one's replies. A loaded machine may take longer than `quiet`
  // to hand a waiting report over, so the queue is asked, not the clock.
  void Drain(std::chrono::milliseconds quiet) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while ((Loop.ProcessEvents(quiet) > 0 || Backend->PendingInputReports(Plug) > 0) &&
           std::chrono::steady_clock::now() < deadline) {
    }
  }

  // Plugs the same programmer in again after a pulled cable and waits for the claim.
  bool Replug() {
    Plug = Backend->Plug(0x0451, 0x3210, Model);
    return Loop.RunUntil([this] { return Session->HasProgrammer(); }, std::chrono::seconds(10));
  }

  TUiLoop Loop;
  std::shared_ptr<TSimHidBackend> Backend = std::make_shared<TSimHidBackend>();
  std::shared_ptr<TSimProgrammer> Programmer;
  std::shared_ptr<TCheckingModel> Model;
  TSimHidBackend::TPlugHandle Plug = 0;
  std::unique_ptr<TJvHidDeviceController> Ctl;
  int Watch = 0;
  std::unique_ptr<THidProgrammerPort> Port;
  TCustomMPHexEditor Editor;
  THexEditorBuffer Buffer{Editor};
  TUiLoopReplyTimer Timer{Loop};
  std::vector<std::string> Errors;
  std::unique_ptr<TProgrammerSession> Session;
};

}  // namespace quenvar::test
