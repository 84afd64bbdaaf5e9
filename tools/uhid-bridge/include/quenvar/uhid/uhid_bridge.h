#pragma once
// Serves a simulated device model as a real kernel HID device through the
// Linux UHID interface (/dev/uhid). Output reports written to the device's
// hidraw node arrive as UHID_OUTPUT events (report id byte first) and go to
// the model; the model's input reports go back as UHID_INPUT2 events without
// the id byte, since the device has no numbered reports.
//
// Single-threaded: the owner polls Fd(), calls HandleEvent when it is readable
// and Flush when NextDue() has come (and after every HandleEvent). Time is
// passed in, so the schedule does not depend on the machine's speed.

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "quenvar/base/result.h"
#include "quenvar/devmodel/sim_device_model.h"
#include "quenvar/protocol/protocol.h"

namespace quenvar {

struct TUhidDeviceSetup {
  std::string FName = "Quenvar simulated programmer";
  std::uint16_t FVendorId = kProgrammerVendorId;
  std::uint16_t FProductId = kProgrammerProductId;
  std::uint16_t FVersion = 0x0100;
  // A full-speed interrupt endpoint sends at most one report per frame; the
  // pacing also keeps a reply burst inside hidraw's 64-report queue.
  // Zero sends every report as soon as it is due.
  std::chrono::microseconds FFrame{1000};
  // The physical path (where it is plugged in, as a USB device's
  // "usb-0000:00:14.0-2/input0") and the serial-number string; empty: none.
  std::string FPhys;
  std::string FUniq;
};

struct TUhidStats {
  std::uint64_t FOutputReports = 0;         // UHID_OUTPUT events
  std::uint64_t FBadOutputReports = 0;      // of those: not 65 bytes, or id byte not 0
  std::uint64_t FIgnoredOutputReports = 0;  // arrived while the cable was being pulled
  std::uint64_t FInputReports = 0;          // UHID_INPUT2 events written
  std::uint64_t FDroppedInputReports = 0;   // still queued when the device went away
  std::uint64_t FPlugs = 0;
  std::uint64_t FUnplugs = 0;
  std::uint64_t FRefusedRequests = 0;  // GET_REPORT / SET_REPORT, answered with EIO

  bool operator==(const TUhidStats&) const = default;
};

// One line for logs, e.g. "outputs 12 (bad 0, ignored 0), inputs 12 x 64 bytes,
// dropped 0, plugs 1, unplugs 0, refused 0".
std::string FormatUhidStats(const TUhidStats& stats);

class TUhidBridge {
 public:
  using TClock = std::chrono::steady_clock;
  static constexpr std::size_t kOutputReportBytes = kOutReportSize;  // id byte and 64 bytes
  // As the device sends it: an unnumbered device leaves the id byte out.
  static constexpr std::size_t kInputReportBytes = kInReportSize - 1;

  // `uhidFd` is an open /dev/uhid (or anything that carries whole uhid events,
  // such as a socket in tests); the bridge does not close it.
  TUhidBridge(int uhidFd, std::shared_ptr<ISimDeviceModel> model, TUhidDeviceSetup setup = {});
  ~TUhidBridge();
  TUhidBridge(const TUhidBridge&) = delete;
  TUhidBridge& operator=(const TUhidBridge&) = delete;

  // The vendor report descriptor: 64-byte input and output reports, no ids.
  static std::span<const std::uint8_t> ReportDescriptor();

  int Fd() const { return FUhidFd; }

  // Creates the kernel device (UHID_CREATE2).
  TResult<void> Plug();
  // Destroys it at once (UHID_DESTROY); replies not yet sent are dropped.
  TResult<void> Unplug();
  bool Plugged() const { return FIsPlugged; }
  // The cable is pulled once `count` more output reports have been served and
  // their replies sent; later output reports are ignored. 0 disarms.
  void UnplugAfterReports(std::uint64_t count);
  bool UnplugPending() const { return FUnplugRequested; }

  // Reads one event from the descriptor and handles it.
  TResult<void> HandleEvent(TClock::time_point now);
  // Sends the input reports due by `now`; a requested unplug follows the last.
  TResult<void> Flush(TClock::time_point now);
  // When the next queued report is due; empty when nothing waits (a pending
  // unplug with an empty queue is due at once: Flush carries it out).
  std::optional<TClock::time_point> NextDue() const;
  std::size_t QueuedInputReports() const { return FQueue.size(); }

  const TUhidStats& Stats() const { return FStats; }

 private:
  class THost;
  struct TQueued {
    TClock::time_point FDue;
    std::vector<std::uint8_t> FBytes;  // the 64 bytes after the id byte
  };

  void Enqueue(std::span<const std::uint8_t> report, std::chrono::microseconds delay);
  void ServeOutput(std::span<const std::uint8_t> report);
  TResult<void> WriteEvent(const void* event, const char* what);

  int FUhidFd;
  std::shared_ptr<ISimDeviceModel> FModel;
  TUhidDeviceSetup FSetup;
  bool FIsPlugged = false;
  bool FUnplugRequested = false;
  std::uint64_t FUnplugCountdown = 0;  // 0: not armed
  std::deque<TQueued> FQueue;
  std::optional<TClock::time_point> FLastDue;
  TClock::time_point FNow{};
  TUhidStats FStats;
};

}  // namespace quenvar
