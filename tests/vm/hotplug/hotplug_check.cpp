// Runs inside the test VM against the programmer that quenvar-uhid-bridge
// serves: the HID link on the real hidraw backend must see the cable pulled and
// plugged in again without a udev daemon, and move reports both ways.
// Prints "QVM PASS <name>" / "QVM FAIL <name>: why"; exit status 1 on a failure.
//
// Usage: quenvar-vm-hotplug-check CONTROL_FIFO

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "quenvar/hid/hidraw_backend.h"
#include "quenvar/hid/jv_hid_device_controller.h"
#include "quenvar/hid/ui_loop.h"
#include "quenvar/protocol/protocol.h"

namespace {

using namespace quenvar;
using namespace std::chrono_literals;

class TCheck {
 public:
  explicit TCheck(std::string control) : Control(std::move(control)) {}

  int Run() {
    auto backend = std::make_shared<THidrawBackend>();
    auto created = TJvHidDeviceController::Create(backend, Loop.Poster());
    if (!created) return Fail("hotplug-setup", created.Error().FText);
    Controller = std::move(created.Value());
    Watch = Loop.WatchChanges(*backend->ChangeSource(), [this] { Controller->DeviceChange(); });
    Controller->SetOnDeviceChange([this](TJvHidDeviceController&) { ++Changes; });
    if (backend->PollFd() < 0) Fail("hotplug-monitor", "the backend watches no change source");

    TJvHidDevice* device = nullptr;
    if (!Claim(device)) return Fail("hotplug-claim", "no 0451:3210 to claim");
    const std::string firstIdentity = device->PnPInfo().DevInst;
    const bool firstReport = RoundTrip(*device);

    // Pull the cable.
    const int before = Changes;
    if (!Send("unplug")) return Fail("hotplug-change-on-unplug", "cannot write " + Control);
    if (Loop.RunUntil([&] { return Changes > before; }, 10s))
      Pass("hotplug-change-on-unplug");
    else
      Fail("hotplug-change-on-unplug", "no OnDeviceChange within 10 s");

    std::size_t written = 99;
    const std::array<std::uint8_t, 65> probe{};
    const bool listed = Listed(device);
    const bool refused = !device->WriteReport(probe.data(), probe.size(), written) && written == 0;
    if (listed && !device->PluggedIn() && device->Claimed() && Unplugs == 1 && refused)
      Pass("hotplug-claimed-unplugged");
    else
      Fail("hotplug-claimed-unplugged", "listed " + std::to_string(listed) + ", plugged in " +
                                            std::to_string(device->PluggedIn()) + ", claimed " +
                                            std::to_string(device->Claimed()) + ", unplug events " +
                                            std::to_string(Unplugs) + ", write refused " +
                                            std::to_string(refused));

    // The application gives the dead device back by destroying it.
    const void* released = device;
    delete device;
    if (!Listed(released) && Controller->NumClaimedDevices() == 0)
      Pass("hotplug-release");
    else
      Fail("hotplug-release", "still listed or counted as claimed");

    const int beforeReplug = Changes;
    if (!Send("replug")) return Fail("hotplug-change-on-replug", "cannot write " + Control);
    const bool back = Loop.RunUntil(
        [&] { return Changes > beforeReplug && Controller->NumUnclaimedDevices() > 0; }, 10s);
    if (back)
      Pass("hotplug-change-on-replug");
    else
      Fail("hotplug-change-on-replug", "no OnDeviceChange with a new device within 10 s");

    device = nullptr;
    if (back && Claim(device) && device->PnPInfo().DevInst != firstIdentity)
      Pass("hotplug-reclaim", device->PnPInfo().DevInst);
    else
      Fail("hotplug-reclaim", "no new connection to claim");

    if (device != nullptr && firstReport && RoundTrip(*device))
      Pass("hotplug-report", "65-byte write, 64 data bytes after report id 0, twice");
    else
      Fail("hotplug-report", "a signature request went unanswered or came back wrong");

    delete device;
    Loop.UnwatchChanges(Watch);
    Controller.reset();
    return Failures == 0 ? 0 : 1;
  }

 private:
  int Fail(const std::string& name, const std::string& why) {
    std::printf("QVM FAIL %s: %s\n", name.c_str(), why.c_str());
    std::fflush(stdout);
    ++Failures;
    return 1;
  }
  void Pass(const std::string& name, const std::string& note = {}) {
    std::printf("QVM PASS %s%s%s\n", name.c_str(), note.empty() ? "" : ": ", note.c_str());
    std::fflush(stdout);
  }

  bool Send(const std::string& command) {
    const int fd = ::open(Control.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const std::string line = command + "\n";
    const bool ok = ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    ::close(fd);
    return ok;
  }

  bool Listed(const void* device) const {
    for (const TJvHidDevice* d : Controller->DeviceList())
      if (d == device) return true;
    return false;
  }

  bool Claim(TJvHidDevice*& device) {
    if (!Controller->ClaimById(device, kProgrammerVendorId, kProgrammerProductId)) return false;
    Unplugs = 0;
    device->SetOnUnplug([this](TJvHidDevice&) { ++Unplugs; });
    device->SetOnData(
        [this](TJvHidDevice&, std::uint8_t id, const std::uint8_t* data, std::uint16_t size) {
          Received.push_back({id});
          Received.back().insert(Received.back().end(), data, data + size);
        });
    return true;
  }

  // Asks the ISP target for its signature; the ATmega8 answers 's' 1E 93 07.
  bool RoundTrip(TJvHidDevice& device) {
    Received.clear();
    std::array<std::uint8_t, 65> request{};
    request[1] = 5;
    request[2] = 1;
    std::size_t written = 0;
    if (!device.WriteReport(request.data(), request.size(), written) || written != 65) {
      Fail("hotplug-write", "WriteReport wrote " + std::to_string(written) + " bytes, not 65");
      return false;
    }
    if (!Loop.RunUntil([&] { return !Received.empty(); }, 10s)) {
      Fail("hotplug-reply", "no input report within 10 s");
      return false;
    }
    std::vector<std::uint8_t> expected(65, 0);
    expected[1] = 0x73;
    expected[2] = 0x1E;
    expected[3] = 0x93;
    expected[4] = 0x07;
    if (Received.size() == 1 && Received[0] == expected) return true;
    std::string got;
    for (const auto& report : Received) {
      got += " [" + std::to_string(report.size()) + ":";
      for (std::size_t i = 0; i < report.size() && i < 6; ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, " %02X", report[i]);
        got += hex;
      }
      got += "]";
    }
    Fail("hotplug-reply", "received" + got);
    return false;
  }

  std::string Control;
  TUiLoop Loop;
  std::unique_ptr<TJvHidDeviceController> Controller;
  int Watch = 0;
  int Changes = 0;
  int Unplugs = 0;
  int Failures = 0;
  std::vector<std::vector<std::uint8_t>> Received;  // report id, then the data
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: quenvar-vm-hotplug-check CONTROL_FIFO\n");
    return 2;
  }
  TCheck check(argv[1]);
  return check.Run();
}
