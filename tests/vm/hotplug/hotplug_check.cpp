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
  explicit TCheck(std::string control) : FControl(std::move(control)) {}

  int Run() {
    auto backend = std::make_shared<THidrawBackend>();
    auto created = TJvHidDeviceController::Create(backend, FLoop.Poster());
    if (!created) return Fail("hotplug-setup", created.Error().FText);
    FController = std::move(created.Value());
    FWatch = FLoop.WatchChanges(*backend->ChangeSource(), [this] { FController->DeviceChange(); });
    FController->SetOnDeviceChange([this](TJvHidDeviceController&) { ++FChanges; });
    if (backend->PollFd() < 0) Fail("hotplug-monitor", "the backend watches no change source");

    TJvHidDevice* device = nullptr;
    if (!Claim(device)) return Fail("hotplug-claim", "no 0451:3210 to claim");
    const std::string firstIdentity = device->PnPInfo().FDevInst;
    const bool firstReport = RoundTrip(*device);

    // Pull the cable.
    const int before = FChanges;
    if (!Send("unplug")) return Fail("hotplug-change-on-unplug", "cannot write " + FControl);
    if (FLoop.RunUntil([&] { return FChanges > before; }, 10s))
      Pass("hotplug-change-on-unplug");
    else
      Fail("hotplug-change-on-unplug", "no OnDeviceChange within 10 s");

    std::size_t written = 99;
    const std::array<std::uint8_t, 65> probe{};
    const bool listed = Listed(device);
    const bool refused = !device->WriteReport(probe.data(), probe.size(), written) && written == 0;
    if (listed && !device->PluggedIn() && device->Claimed() && FUnplugs == 1 && refused)
      Pass("hotplug-claimed-unplugged");
    else
      Fail("hotplug-claimed-unplugged", "listed " + std::to_string(listed) + ", plugged in " +
                                            std::to_string(device->PluggedIn()) + ", claimed " +
                                            std::to_string(device->Claimed()) + ", unplug events " +
                                            std::to_string(FUnplugs) + ", write refused " +
                                            std::to_string(refused));

    // The application gives the dead device back by destroying it.
    const void* released = device;
    delete device;
    if (!Listed(released) && FController->NumClaimedDevices() == 0)
      Pass("hotplug-release");
    else
      Fail("hotplug-release", "still listed or counted as claimed");

    const int beforeReplug = FChanges;
    if (!Send("replug")) return Fail("hotplug-change-on-replug", "cannot write " + FControl);
    const bool back = FLoop.RunUntil(
        [&] { return FChanges > beforeReplug && FController->NumUnclaimedDevices() > 0; }, 10s);
    if (back)
      Pass("hotplug-change-on-replug");
    else
      Fail("hotplug-change-on-replug", "no OnDeviceChange with a new device within 10 s");

    device = nullptr;
    if (back && Claim(device) && device->PnPInfo().FDevInst != firstIdentity)
      Pass("hotplug-reclaim", device->PnPInfo().FDevInst);
    else
      Fail("hotplug-reclaim", "no new connection to claim");

    if (device != nullptr && firstReport && RoundTrip(*device))
      Pass("hotplug-report", "65-byte write, 64 data bytes after report id 0, twice");
    else
      Fail("hotplug-report", "a signature request went unanswered or came back wrong");

    delete device;
    FLoop.UnwatchChanges(FWatch);
    FController.reset();
    return FFailures == 0 ? 0 : 1;
  }

 private:
  int Fail(const std::string& name, const std::string& why) {
    std::printf("QVM FAIL %s: %s\n", name.c_str(), why.c_str());
    std::fflush(stdout);
    ++FFailures;
    return 1;
  }
  void Pass(const std::string& name, const std::string& note = {}) {
    std::printf("QVM PASS %s%s%s\n", name.c_str(), note.empty() ? "" : ": ", note.c_str());
    std::fflush(stdout);
  }

  bool Send(const std::string& command) {
    const int fd = ::open(FControl.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const std::string line = command + "\n";
    const bool ok = ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    ::close(fd);
    return ok;
  }

  bool Listed(const void* device) const {
    for (const TJvHidDevice* d : FController->DeviceList())
      if (d == device) return true;
    return false;
  }

  bool Claim(TJvHidDevice*& device) {
    if (!FController->ClaimById(device, kProgrammerVendorId, kProgrammerProductId)) return false;
    FUnplugs = 0;
    device->SetOnUnplug([this](TJvHidDevice&) { ++FUnplugs; });
    device->SetOnData(
        [this](TJvHidDevice&, std::uint8_t id, const std::uint8_t* data, std::uint16_t size) {
          FReceived.push_back({id});
          FReceived.back().insert(FReceived.back().end(), data, data + size);
        });
    return true;
  }

  // Asks the ISP target for its signature; the ATmega8 answers 's' 1E 93 07.
  bool RoundTrip(TJvHidDevice& device) {
    FReceived.clear();
    std::array<std::uint8_t, 65> request{};
    request[1] = 5;
    request[2] = 1;
    std::size_t written = 0;
    if (!device.WriteReport(request.data(), request.size(), written) || written != 65) {
      Fail("hotplug-write", "WriteReport wrote " + std::to_string(written) + " bytes, not 65");
      return false;
    }
    if (!FLoop.RunUntil([&] { return !FReceived.empty(); }, 10s)) {
      Fail("hotplug-reply", "no input report within 10 s");
      return false;
    }
    std::vector<std::uint8_t> expected(65, 0);
    expected[1] = 0x73;
    expected[2] = 0x1E;
    expected[3] = 0x93;
    expected[4] = 0x07;
    if (FReceived.size() == 1 && FReceived[0] == expected) return true;
    std::string got;
    for (const auto& report : FReceived) {
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

  std::string FControl;
  TUiLoop FLoop;
  std::unique_ptr<TJvHidDeviceController> FController;
  int FWatch = 0;
  int FChanges = 0;
  int FUnplugs = 0;
  int FFailures = 0;
  std::vector<std::vector<std::uint8_t>> FReceived;  // report id, then the data
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
