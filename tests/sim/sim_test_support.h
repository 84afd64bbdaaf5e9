#pragma once
// A host that records what the simulated programmer sends, and helpers to
// build output reports and expected input reports.

#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "quenvar/devmodel/sim_device_model.h"
#include "quenvar/sim/sim_programmer.h"

namespace quenvar::simtest {

using TBytes = std::vector<std::uint8_t>;

class TRecordingHost final : public ISimDeviceHost {
 public:
  void PushInputReport(std::span<const std::uint8_t> report,
                       std::chrono::microseconds delay) override {
    FReports.emplace_back(report.begin(), report.end());
    FDelays.push_back(delay);
  }
  void RequestUnplug() override { ++FUnplugs; }

  void Clear() {
    FReports.clear();
    FDelays.clear();
    FUnplugs = 0;
  }

  std::vector<TBytes> FReports;
  std::vector<std::chrono::microseconds> FDelays;
  int FUnplugs = 0;
};

// A 65-byte output report: id 0, target, command, bytes 3..5, payload from 6.
inline TBytes Out(std::uint8_t target, std::uint8_t command, std::uint8_t b3 = 0,
                  std::uint8_t b4 = 0, std::uint8_t b5 = 0, const TBytes& payload = {}) {
  TBytes r(65, 0);
  r[1] = target;
  r[2] = command;
  r[3] = b3;
  r[4] = b4;
  r[5] = b5;
  for (std::size_t i = 0; i < payload.size() && 6 + i < r.size(); ++i) r[6 + i] = payload[i];
  return r;
}

// Command 7 or 8 with records from byte 4.
inline TBytes Records(std::uint8_t command, const std::vector<TBytes>& records) {
  TBytes r(65, 0);
  r[1] = 5;
  r[2] = command;
  r[3] = static_cast<std::uint8_t>(records.size());
  std::size_t at = 4;
  for (const auto& rec : records) {
    for (std::uint8_t b : rec) r[at++] = b;
  }
  return r;
}

// The 65-byte input report: id 0, then these reply bytes, then zeros.
inline TBytes In(std::initializer_list<std::uint8_t> reply) {
  TBytes r(65, 0);
  std::size_t i = 1;
  for (std::uint8_t b : reply) r[i++] = b;
  return r;
}

inline TBytes In(const TBytes& reply) {
  TBytes r(65, 0);
  for (std::size_t i = 0; i < reply.size(); ++i) r[1 + i] = reply[i];
  return r;
}

constexpr std::uint8_t kIsp = 5;
constexpr std::uint8_t kSocket = 3;

inline TSimConfig NoTiming(const char* isp = "ATmega8", const char* socket = "24AA256") {
  TSimConfig config;
  config.FIsp.FChipName = isp;
  config.FSocket = socket;
  config.FRealTiming = false;
  return config;
}

// Sends `data` as the application does: chunks of `chunk` bytes, byte 4 = `more`
// on all but the last, byte 5 = `b5`. Returns the reply codes.
inline std::string SendChunks(TSimProgrammer& sim, TRecordingHost& host, std::uint8_t target,
                              std::uint8_t command, const TBytes& data, std::size_t chunk,
                              std::uint8_t more, std::uint8_t b5) {
  std::string codes;
  std::size_t pos = 0;
  do {
    const std::size_t n = std::min(chunk, data.size() - pos);
    TBytes payload(data.begin() + static_cast<long>(pos),
                   data.begin() + static_cast<long>(pos + n));
    pos += n;
    host.Clear();
    sim.OnOutputReport(Out(target, command, static_cast<std::uint8_t>(n),
                           pos == data.size() ? 0 : more, b5, payload),
                       host);
    for (const auto& r : host.FReports) codes += static_cast<char>(r[1]);
    if (host.FReports.empty()) codes += '-';
    if (!host.FReports.empty() && host.FReports.back()[1] != '*') break;
  } while (pos < data.size());
  return codes;
}

}  // namespace quenvar::simtest
