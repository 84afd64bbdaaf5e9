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
  bool PluggedIn() const override { return Plugged; }
  std::size_t OutputReportLength() override { return ReportLength; }
  bool WriteReport(std::span<const std::uint8_t> report) override {
    Written.emplace_back(report.begin(), report.end());
    return true;
  }
  bool Plugged = true;
  std::size_t ReportLength = 65;
  std::vector<TBytes> Written;
};

class TFakePort final : public IProgrammerPort {
 public:
  IProgrammerDevice* ClaimProgrammer(std::uint16_t vendorId, std::uint16_t productId) override {
    ClaimIds.emplace_back(vendorId, productId);
    if (!Available || Claimed != nullptr) return nullptr;
    Claimed = std::make_unique<TFakeDevice>();
    return Claimed.get();
  }
  void DriverGone() override { Trace += 'g'; }
  void ReleaseProgrammer(IProgrammerDevice* device) override {
    Trace += 'r';
    ++Releases;
    if (device == Claimed.get()) Claimed.reset();
  }
  bool Available = true;
  int Releases = 0;
  std::string Trace;
  std::vector<std::pair<std::uint16_t, std::uint16_t>> ClaimIds;
  std::unique_ptr<TFakeDevice> Claimed;
};

class TFakeBuffer final : public IMemoryBuffer {
 public:
  std::int64_t DataLength() const override { return static_cast<std::int64_t>(Data.size()); }
  std::size_t ReadRange(std::int64_t position, std::span<std::uint8_t> out) const override {
    ++Reads;
    BytesRead += out.size();
    std::size_t n = 0;
    for (; n < out.size() && position + static_cast<std::int64_t>(n) < DataLength(); ++n)
      out[n] = Data[static_cast<std::size_t>(position) + n];
    return n;
  }
  void ReplaceAll(std::span<const std::uint8_t> data) override {
    if (ThrowOnReplace) throw std::runtime_error("buffer full");
    Data.assign(data.begin(), data.end());
    ++Replacements;
  }
  TBytes Data;
  int Replacements = 0;
  bool ThrowOnReplace = false;
  mutable int Reads = 0;
  mutable std::size_t BytesRead = 0;
};

class TFakeTimer final : public IReplyTimer {
 public:
  void Start(std::chrono::milliseconds timeout, std::function<void()> onExpired) override {
    Armed = true;
    LastTimeout = timeout;
    Callback = std::move(onExpired);
    ++Starts;
  }
  void Stop() override { Armed = false; }
  void Fire() {
    ASSERT_TRUE(Armed) << "timer fired while not armed";
    Armed = false;
    auto cb = Callback;
    cb();
  }
  bool Armed = false;
  int Starts = 0;
  std::chrono::milliseconds LastTimeout{0};
  std::function<void()> Callback;
};

// A driver with every port faked; the clock stands still until moved.
class TDriverRig {
 public:
  TDriverRig() : Driver(TProgrammerDriver::TPorts{&Port, &Buffer, &Timer}) {
    Driver.Now = [this] { return Clock; };
  }

  // Plugs the programmer in (first device change).
  void Connect() { Driver.DeviceChange(); }
  TFakeDevice& Device() { return *Port.Claimed; }
  std::vector<TBytes>& Sent() { return Port.Claimed->Written; }

  // An input report's reply bytes (without report id), padded to 64 like the link delivers them.
  void Reply(std::initializer_list<std::uint8_t> bytes) {
    TBytes data(bytes);
    data.resize(64, 0);
    Driver.HidData(0, data);
  }
  void ReplyChar(char c) { Reply({static_cast<std::uint8_t>(c)}); }
  // A data report of a read: count byte, then the bytes.
  void DataReport(const TBytes& payload) {
    TBytes data;
    data.push_back(static_cast<std::uint8_t>(payload.size()));
    data.insert(data.end(), payload.begin(), payload.end());
    data.resize(64, 0);
    Driver.HidData(0, data);
  }
  void Advance(std::chrono::milliseconds ms) { Clock += ms; }

  TFakePort Port;
  TFakeBuffer Buffer;
  TFakeTimer Timer;
  TProgrammerDriver::TClock::time_point Clock{std::chrono::hours(24 * 365 * 50)};
  TProgrammerDriver Driver;
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
