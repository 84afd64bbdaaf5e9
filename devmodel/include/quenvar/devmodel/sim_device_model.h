#pragma once
// The seam between a simulated device and what carries its reports (the
// simulated HID backend, or the kernel through UHID).
// The host owns the queue of input reports and the plug state; a model only
// sees output reports and answers through its host.

#include <chrono>
#include <cstdint>
#include <span>

namespace quenvar {

class ISimDeviceHost {
 public:
  virtual ~ISimDeviceHost() = default;

  // Queues one input report (report id byte first, at most InputReportByteLength
  // bytes; shorter ones are padded with zeros). It becomes readable `delay` after
  // the later of now and the previous queued report, so replies keep their order
  // and a model can express transfer and programming times.
  virtual void PushInputReport(std::span<const std::uint8_t> report,
                               std::chrono::microseconds delay = std::chrono::microseconds{0}) = 0;

  // Pulls the cable: the device goes away once the reports queued so far are
  // delivered. Safe to call from inside OnOutputReport.
  virtual void RequestUnplug() = 0;
};

class ISimDeviceModel {
 public:
  virtual ~ISimDeviceModel() = default;

  // One output report as written by the application (report id byte first,
  // OutputReportByteLength bytes). Called on the writing thread.
  virtual void OnOutputReport(std::span<const std::uint8_t> report, ISimDeviceHost& host) = 0;
};

}  // namespace quenvar
