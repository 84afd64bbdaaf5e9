#include "quenvar/uhid/uhid_bridge.h"

#include <linux/input.h>
#include <linux/uhid.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

namespace quenvar {

namespace {

// Vendor page 0xFF00, one application collection, 64 bytes in, 64 bytes out,
// no report ids: what the programmer's firmware announces.
constexpr std::array<std::uint8_t, 25> kReportDescriptor = {
    0x06, 0x00, 0xFF,  // Usage Page (vendor 0xFF00)
    0x09, 0x01,        // Usage (1)
    0xA1, 0x01,        // Collection (Application)
    0x15, 0x00,        //   Logical Minimum (0)
    0x26, 0xFF, 0x00,  //   Logical Maximum (255)
    0x75, 0x08,        //   Report Size (8)
    0x95, 0x40,        //   Report Count (64)
    0x09, 0x02,        //   Usage (2)
    0x81, 0x02,        //   Input (Data, Variable, Absolute)
    0x09, 0x03,        //   Usage (3)
    0x91, 0x02,        //   Output (Data, Variable, Absolute)
    0xC0,              // End Collection
};

TError ErrnoError(const char* what, int err) {
  return TError{TErrorKind::Device, std::string(what) + ": " + std::strerror(err), err};
}

TError DeviceError(std::string text) {
  return TError{TErrorKind::Device, std::move(text)};
}

}  // namespace

std::string FormatUhidStats(const TUhidStats& s) {
  return "outputs " + std::to_string(s.FOutputReports) + " (bad " +
         std::to_string(s.FBadOutputReports) + ", ignored " +
         std::to_string(s.FIgnoredOutputReports) + "), inputs " + std::to_string(s.FInputReports) +
         " x 64 bytes, dropped " + std::to_string(s.FDroppedInputReports) + ", plugs " +
         std::to_string(s.FPlugs) + ", unplugs " + std::to_string(s.FUnplugs) + ", refused " +
         std::to_string(s.FRefusedRequests);
}

// What the model sees while it answers one output report.
class TUhidBridge::THost final : public ISimDeviceHost {
 public:
  explicit THost(TUhidBridge& bridge) : FBridge(bridge) {}

  void PushInputReport(std::span<const std::uint8_t> report,
                       std::chrono::microseconds delay) override {
    FBridge.Enqueue(report, delay);
  }
  void RequestUnplug() override { FBridge.FUnplugRequested = true; }

 private:
  TUhidBridge& FBridge;
};

TUhidBridge::TUhidBridge(int uhidFd, std::shared_ptr<ISimDeviceModel> model, TUhidDeviceSetup setup)
    : FUhidFd(uhidFd), FModel(std::move(model)), FSetup(std::move(setup)) {}

TUhidBridge::~TUhidBridge() = default;

std::span<const std::uint8_t> TUhidBridge::ReportDescriptor() {
  return kReportDescriptor;
}

TResult<void> TUhidBridge::WriteEvent(const void* event, const char* what) {
  for (;;) {
    const ssize_t n = ::write(FUhidFd, event, sizeof(uhid_event));
    if (n == static_cast<ssize_t>(sizeof(uhid_event))) return {};
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return ErrnoError(what, errno);
    return DeviceError(std::string(what) + ": short write");
  }
}

TResult<void> TUhidBridge::Plug() {
  if (FIsPlugged) return {};
  uhid_event ev{};
  ev.type = UHID_CREATE2;
  auto& c = ev.u.create2;
  std::strncpy(reinterpret_cast<char*>(c.name), FSetup.FName.c_str(), sizeof c.name - 1);
  std::strncpy(reinterpret_cast<char*>(c.phys), FSetup.FPhys.c_str(), sizeof c.phys - 1);
  std::strncpy(reinterpret_cast<char*>(c.uniq), FSetup.FUniq.c_str(), sizeof c.uniq - 1);
  std::memcpy(c.rd_data, kReportDescriptor.data(), kReportDescriptor.size());
  c.rd_size = static_cast<__u16>(kReportDescriptor.size());
  c.bus = BUS_USB;
  c.vendor = FSetup.FVendorId;
  c.product = FSetup.FProductId;
  c.version = FSetup.FVersion;
  c.country = 0;
  if (TResult<void> r = WriteEvent(&ev, "UHID_CREATE2"); !r) return r;
  FIsPlugged = true;
  FUnplugRequested = false;
  FUnplugCountdown = 0;
  FQueue.clear();
  FLastDue.reset();
  ++FStats.FPlugs;
  return {};
}

TResult<void> TUhidBridge::Unplug() {
  if (!FIsPlugged) return {};
  uhid_event ev{};
  ev.type = UHID_DESTROY;
  if (TResult<void> r = WriteEvent(&ev, "UHID_DESTROY"); !r) return r;
  FIsPlugged = false;
  FUnplugRequested = false;
  FUnplugCountdown = 0;
  FStats.FDroppedInputReports += FQueue.size();
  FQueue.clear();
  FLastDue.reset();
  ++FStats.FUnplugs;
  return {};
}

void TUhidBridge::UnplugAfterReports(std::uint64_t count) {
  FUnplugCountdown = count;
}

void TUhidBridge::Enqueue(std::span<const std::uint8_t> report, std::chrono::microseconds delay) {
  if (!FIsPlugged || FUnplugRequested) {
    ++FStats.FDroppedInputReports;
    return;
  }
  TQueued q;
  q.FBytes.assign(kInputReportBytes, 0);
  // The id byte stays here: an unnumbered device sends only the data.
  if (report.size() > 1) {
    const std::size_t n = std::min(report.size() - 1, kInputReportBytes);
    std::copy_n(report.begin() + 1, n, q.FBytes.begin());
  }
  const TClock::time_point after = FLastDue ? std::max(FNow, *FLastDue) : FNow;
  q.FDue = after + delay;
  if (FLastDue && FSetup.FFrame.count() > 0) q.FDue = std::max(q.FDue, *FLastDue + FSetup.FFrame);
  FLastDue = q.FDue;
  FQueue.push_back(std::move(q));
}

void TUhidBridge::ServeOutput(std::span<const std::uint8_t> report) {
  THost host(*this);
  if (FModel) FModel->OnOutputReport(report, host);
  if (FUnplugCountdown > 0 && --FUnplugCountdown == 0) FUnplugRequested = true;
}

TResult<void> TUhidBridge::HandleEvent(TClock::time_point now) {
  FNow = now;
  uhid_event ev{};
  const ssize_t n = ::read(FUhidFd, &ev, sizeof ev);
  if (n < 0) {
    if (errno == EINTR || errno == EAGAIN) return {};
    return ErrnoError("reading uhid events", errno);
  }
  if (n == 0) return DeviceError("reading uhid events: end of file");
  if (static_cast<std::size_t>(n) < sizeof ev.type) return {};

  switch (ev.type) {
    case UHID_OUTPUT: {
      ++FStats.FOutputReports;
      const std::size_t size = std::min<std::size_t>(ev.u.output.size, UHID_DATA_MAX);
      const std::span<const std::uint8_t> report(ev.u.output.data, size);
      if (size != kOutputReportBytes || report[0] != 0 || ev.u.output.rtype != UHID_OUTPUT_REPORT)
        ++FStats.FBadOutputReports;
      if (!FIsPlugged || FUnplugRequested) {
        ++FStats.FIgnoredOutputReports;
        return {};
      }
      ServeOutput(report);
      return {};
    }
    case UHID_GET_REPORT: {
      // The firmware has no feature or input reports to be fetched on request.
      ++FStats.FRefusedRequests;
      uhid_event reply{};
      reply.type = UHID_GET_REPORT_REPLY;
      reply.u.get_report_reply.id = ev.u.get_report.id;
      reply.u.get_report_reply.err = EIO;
      return WriteEvent(&reply, "UHID_GET_REPORT_REPLY");
    }
    case UHID_SET_REPORT: {
      ++FStats.FRefusedRequests;
      uhid_event reply{};
      reply.type = UHID_SET_REPORT_REPLY;
      reply.u.set_report_reply.id = ev.u.set_report.id;
      reply.u.set_report_reply.err = EIO;
      return WriteEvent(&reply, "UHID_SET_REPORT_REPLY");
    }
    default:
      // START, STOP, OPEN and CLOSE need nothing from a device that always
      // listens.
      return {};
  }
}

TResult<void> TUhidBridge::Flush(TClock::time_point now) {
  FNow = now;
  while (!FQueue.empty() && FQueue.front().FDue <= now) {
    uhid_event ev{};
    ev.type = UHID_INPUT2;
    ev.u.input2.size = static_cast<__u16>(kInputReportBytes);
    std::copy(FQueue.front().FBytes.begin(), FQueue.front().FBytes.end(), ev.u.input2.data);
    if (TResult<void> r = WriteEvent(&ev, "UHID_INPUT2"); !r) return r;
    FQueue.pop_front();
    ++FStats.FInputReports;
  }
  if (FUnplugRequested && FQueue.empty()) return Unplug();
  return {};
}

std::optional<TUhidBridge::TClock::time_point> TUhidBridge::NextDue() const {
  if (!FQueue.empty()) return FQueue.front().FDue;
  if (FUnplugRequested && FIsPlugged) return TClock::time_point{};
  return std::nullopt;
}

}  // namespace quenvar
