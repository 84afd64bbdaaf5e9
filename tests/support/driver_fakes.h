#pragma once
// Hand-written stand-ins for the driver's ports: a programmer that only
// records what it is sent, a plain byte buffer and a manual timer; and the
// report helpers the driver's and the presenter's tests share.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "quenvar/core/programmer_driver.h"

namespace quenvar::test {

using TBytes = std::vector<std::uint8_t>;

class TFakeDevice final : public IProgrammerDevice {
 public:
  bool PluggedIn() const override { return FPlugged; }
  std::size_t OutputReportLength() override { return FReportLength; }
  bool WriteReport(std::span<const std::uint8_t> report) override {
    FWritten.emplace_back(report.begin(), report.end());
    return true;
  }
  bool FPlugged = true;
  std::size_t FReportLength = 65;
  std::vector<TBytes> FWritten;
};

class TFakePort final : public IProgrammerPort {
 public:
  IProgrammerDevice* ClaimProgrammer(std::uint16_t vendorId, std::uint16_t productId) override {
    FClaimIds.emplace_back(vendorId, productId);
    if (!FAvailable || FClaimed != nullptr) return nullptr;
    FClaimed = std::make_unique<TFakeDevice>();
    return FClaimed.get();
  }
  void DriverGone() override { FTrace += 'g'; }
  void ReleaseProgrammer(IProgrammerDevice* device) override {
    FTrace += 'r';
    ++FReleases;
    if (device == FClaimed.get()) FClaimed.reset();
  }
  bool FAvailable = true;
  int FReleases = 0;
  std::string FTrace;
  std::vector<std::pair<std::uint16_t, std::uint16_t>> FClaimIds;
  std::unique_ptr<TFakeDevice> FClaimed;
};

class TFakeBuffer final : public IMemoryBuffer {
 public:
  std::int64_t DataLength() const override { return static_cast<std::int64_t>(FData.size()); }
  std::size_t ReadRange(std::int64_t position, std::span<std::uint8_t> out) const override {
    ++FReads;
    FBytesRead += out.size();
    std::size_t n = 0;
    for (; n < out.size() && position + static_cast<std::int64_t>(n) < DataLength(); ++n)
      out[n] = FData[static_cast<std::size_t>(position) + n];
    return n;
  }
  void ReplaceAll(std::span<const std::uint8_t> data) override {
    if (FThrowOnReplace) throw std::runtime_error("buffer full");
    FData.assign(data.begin(), data.end());
    ++FReplacements;
  }
  TBytes FData;
  int FReplacements = 0;
  bool FThrowOnReplace = false;
  mutable int FReads = 0;
  mutable std::size_t FBytesRead = 0;
};

class TFakeTimer final : public IReplyTimer {
 public:
  void Start(std::chrono::milliseconds timeout, std::function<void()> onExpired) override {
    FArmed = true;
    FLastTimeout = timeout;
    FCallback = std::move(onExpired);
    ++FStarts;
  }
  void Stop() override { FArmed = false; }
  void Fire() {
    ASSERT_TRUE(FArmed) << "timer fired while not armed";
    FArmed = false;
    auto cb = FCallback;
    cb();
  }
  bool FArmed = false;
  int FStarts = 0;
  std::chrono::milliseconds FLastTimeout{0};
  std::function<void()> FCallback;
};

// A driver with every port faked; the clock stands still until moved.
class TDriverRig {
 public:
  TDriverRig() : FDriver(TProgrammerDriver::TPorts{&FPort, &FBuffer, &FTimer}) {
    FDriver.FNow = [this] { return FClock; };
  }

  // Plugs the programmer in (first device change).
  void Connect() { FDriver.DeviceChange(); }
  TFakeDevice& Device() { return *FPort.FClaimed; }
  std::vector<TBytes>& Sent() { return FPort.FClaimed->FWritten; }

  // An input report's reply bytes (without report id), padded to 64 like the link delivers them.
  void Reply(std::initializer_list<std::uint8_t> bytes) {
    TBytes data(bytes);
    data.resize(64, 0);
    FDriver.HidData(0, data);
  }
  void ReplyChar(char c) { Reply({static_cast<std::uint8_t>(c)}); }
  // A data report of a read: count byte, then the bytes.
  void DataReport(const TBytes& payload) {
    TBytes data;
    data.push_back(static_cast<std::uint8_t>(payload.size()));
    data.insert(data.end(), payload.begin(), payload.end());
    data.resize(64, 0);
    FDriver.HidData(0, data);
  }
  void Advance(std::chrono::milliseconds ms) { FClock += ms; }

  TFakePort FPort;
  TFakeBuffer FBuffer;
  TFakeTimer FTimer;
  TProgrammerDriver::TClock::time_point FClock{std::chrono::hours(24 * 365 * 50)};
  TProgrammerDriver FDriver;
};

// Bytes 0..5 of a report.
inline TBytes Head(const TBytes& report) {
  return TBytes(report.begin(), report.begin() + 6);
}
// Bytes 6 .. 6+n of a report.
inline TBytes Payload(const TBytes& report, std::size_t n) {
  return TBytes(report.begin() + 6, report.begin() + 6 + static_cast<std::ptrdiff_t>(n));
}
// 0, 1, 2, ... n-1 (mod 256).
inline TBytes Ramp(std::size_t n, std::uint8_t start = 0) {
  TBytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(start + i);
  return b;
}

}  // namespace quenvar::test
