#pragma once
// Shared pieces of the link tests: a simulated backend on a TUiLoop, and
// device models.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "quenvar/hid/jv_hid_device_controller.h"
#include "quenvar/hid/sim_hid_backend.h"
#include "quenvar/hid/ui_loop.h"

namespace quenvar::test {

inline constexpr std::chrono::milliseconds kWait{5000};

// Answers every output report with the same bytes.
class TEchoModel : public ISimDeviceModel {
 public:
  void OnOutputReport(std::span<const std::uint8_t> report, ISimDeviceHost& host) override {
    host.PushInputReport(report);
  }
};

// Answers once, then pulls its own cable.
class TUnplugAfterReplyModel : public ISimDeviceModel {
 public:
  void OnOutputReport(std::span<const std::uint8_t> report, ISimDeviceHost& host) override {
    host.PushInputReport(report);
    host.RequestUnplug();
  }
};

struct TReceived {
  std::uint8_t FReportID;
  std::vector<std::uint8_t> FData;
};

class HidSimFixture : public ::testing::Test {
 protected:
  void MakeController() { FCtl = std::make_unique<TJvHidDeviceController>(FSim, FLoop.Poster()); }
  std::vector<std::string> ListIds() const {
    std::vector<std::string> ids;
    for (auto* d : FCtl->DeviceList()) ids.push_back(d->PnPInfo().FDevInst);
    return ids;
  }
  // A data handler that records into Received.
  TJvHidDataEvent Recorder() {
    return [this](TJvHidDevice&, std::uint8_t id, const std::uint8_t* data, std::uint16_t size) {
      FReceived.push_back(TReceived{id, std::vector<std::uint8_t>(data, data + size)});
    };
  }
  static std::vector<std::uint8_t> Report(std::uint8_t id, std::uint8_t first) {
    std::vector<std::uint8_t> r(65);
    r[0] = id;
    for (std::size_t i = 1; i < r.size(); ++i) r[i] = static_cast<std::uint8_t>(first + i - 1);
    return r;
  }

  // Declared so that the loop (which watches the backend) goes before the backend.
  std::shared_ptr<TSimHidBackend> FSim = std::make_shared<TSimHidBackend>();
  TUiLoop FLoop;
  std::unique_ptr<TJvHidDeviceController> FCtl;
  std::vector<TReceived> FReceived;
};

}  // namespace quenvar::test
