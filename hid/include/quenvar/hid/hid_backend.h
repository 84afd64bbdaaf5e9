#pragma once
// The platform seam of the HID link. The controller and its devices implement
// the lifecycle; a backend only lists interfaces and moves bytes.
//
// Threading: everything runs on the UI thread except Read (and Close/Open of a
// read handle), which the reader threads call. Implementations must allow a
// handle to be closed on one thread while another thread sits in Read on it:
// that Read then ends promptly with an error or Unplugged, never touching a
// reused handle.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "quenvar/base/result.h"

namespace quenvar {

// One present HID interface as found by a scan.
struct THidInterfaceInfo {
  std::string FIdentity;    // stable for one connection, new on every replug
  std::string FDevicePath;  // what Open takes
  // Where the device is plugged in, stable across replugs into the same USB
  // port (Linux: the HID physical path); empty when the platform tells none.
  std::string FIdentityPath = {};
  std::string FSerial = {};  // the device's serial-number string; empty for none

  bool operator==(const THidInterfaceInfo&) const = default;
};

enum class THidAccess {
  ReadWrite,  // shared handle: write reports, query
  QueryOnly,  // attributes and capabilities only (fallback when read-write is refused)
  Read,       // the reader thread's handle
  Write,
};

struct THidHandle {
  std::int64_t FValue = -1;

  bool IsValid() const { return FValue >= 0; }
  bool operator==(const THidHandle&) const = default;
};

struct THidAttributes {
  std::uint16_t FVendorID = 0;
  std::uint16_t FProductID = 0;
  std::uint16_t FVersionNumber = 0;

  bool operator==(const THidAttributes&) const = default;
};

// Report byte lengths include the report id byte (also for devices without
// numbered reports), so a 64-byte vendor report gives 65.
struct THidCaps {
  std::uint16_t FUsage = 0;
  std::uint16_t FUsagePage = 0;
  std::uint16_t FInputReportByteLength = 0;
  std::uint16_t FOutputReportByteLength = 0;
  std::uint16_t FFeatureReportByteLength = 0;

  bool operator==(const THidCaps&) const = default;
};

enum class THidReadStatus {
  Data,       // Bytes bytes arrived (report id byte first)
  Timeout,    // nothing within the timeout; ask again
  Unplugged,  // the device is gone; further reads cannot succeed
  Error,      // the read failed; Error holds the platform code
};

struct THidReadResult {
  THidReadStatus FStatus = THidReadStatus::Timeout;
  std::size_t FBytes = 0;
  int FError = 0;
};

// Device arrival/removal. A source is either pollable (PollFd >= 0, watched by
// the UI loop) or wakes the loop through the wakeup function (any thread), or both.
class IHidChangeSource {
 public:
  virtual ~IHidChangeSource() = default;

  virtual int PollFd() const = 0;
  // Called on the UI thread: empties all pending notifications; true if there were any.
  virtual bool Drain() = 0;
  // Installs (or clears with an empty function) the wakeup; callable from any thread.
  virtual void SetWakeup(std::function<void()> wake) = 0;
};

class IHidBackend {
 public:
  virtual ~IHidBackend() = default;

  // All or nothing: false means no interface will ever be listed.
  virtual bool Bind() = 0;
  virtual void Unbind() = 0;

  virtual std::vector<THidInterfaceInfo> Scan() = 0;

  virtual TResult<THidHandle> Open(const std::string& path, THidAccess access) = 0;
  virtual void Close(THidHandle handle) = 0;

  virtual TResult<THidAttributes> GetAttributes(THidHandle handle) = 0;
  virtual TResult<THidCaps> GetCapabilities(THidHandle handle) = 0;

  // Writes one whole report (report id byte first); returns the bytes accepted.
  virtual TResult<std::size_t> Write(THidHandle handle, const void* data, std::size_t size) = 0;

  // Reader thread: waits at most `timeout` for one input report and copies it
  // (report id byte first, at most `size` bytes) into `buffer`.
  virtual THidReadResult Read(THidHandle handle, std::uint8_t* buffer, std::size_t size,
                              std::chrono::milliseconds timeout) = 0;

  // Null when the platform gives no notification.
  virtual IHidChangeSource* ChangeSource() = 0;
};

}  // namespace quenvar
