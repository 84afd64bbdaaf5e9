#pragma once
// What the protocol driver needs from the world around it. The wiring library
// connects these to the HID link, the hex editor's model and a timer; tests
// supply their own.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

namespace quenvar {

// A claimed programmer.
class IProgrammerDevice {
 public:
  virtual ~IProgrammerDevice() = default;
  virtual bool PluggedIn() const = 0;
  // Output report length the device declares (report id included).
  virtual std::size_t OutputReportLength() = 0;
  // Synchronous write; the result is informational only.
  virtual bool WriteReport(std::span<const std::uint8_t> report) = 0;
};

// The HID controller as the driver sees it: check-out and release.
class IProgrammerPort {
 public:
  virtual ~IProgrammerPort() = default;
  // Claims the first unclaimed device with these ids, or returns null.
  virtual IProgrammerDevice* ClaimProgrammer(std::uint16_t vendorId, std::uint16_t productId) = 0;
  // Gives a claimed device back; the pointer is invalid afterwards.
  virtual void ReleaseProgrammer(IProgrammerDevice* device) = 0;
  // The driver is being destroyed: deliver nothing more to it.
  virtual void DriverGone() {}
};

// The memory buffer, taken and replaced whole.
class IMemoryBuffer {
 public:
  virtual ~IMemoryBuffer() = default;
  virtual std::int64_t DataLength() const = 0;
  // Copies up to out.size() bytes from `position`; returns how many were copied.
  virtual std::size_t ReadRange(std::int64_t position, std::span<std::uint8_t> out) const = 0;
  virtual void ReplaceAll(std::span<const std::uint8_t> data) = 0;
};

// A single-shot timer on the user-interface thread. Start replaces a pending one.
class IReplyTimer {
 public:
  virtual ~IReplyTimer() = default;
  virtual void Start(std::chrono::milliseconds timeout, std::function<void()> onExpired) = 0;
  virtual void Stop() = 0;
};

}  // namespace quenvar
