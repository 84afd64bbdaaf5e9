#pragma once
// Linux backend: hidraw nodes found and followed with libudev.
//
// Identity of an interface is the sysfs path of its `hid` parent device (new
// on every replug; hidraw minors are reused). Attributes come from
// HIDIOCGRAWINFO, report lengths from the report descriptor. Reads of devices
// without numbered reports get the 0 id byte prepended, so every device looks
// the same to the link.

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "quenvar/hid/hid_backend.h"

namespace quenvar {

// Pure helpers, exposed for tests.
namespace hidraw {
// What a failed read()/poll() means for the link.
THidReadStatus ReadErrnoStatus(int err);
THidReadStatus PollEventsStatus(short revents);
// HIDIOCGRAWINFO gives signed 16-bit ids.
THidAttributes AttributesFromRawInfo(std::int16_t vendor, std::int16_t product,
                                     std::uint32_t bustype);
// udev's HID_ID property "0003:00000451:00003210" (bus:vendor:product).
TResult<THidAttributes> AttributesFromHidId(const std::string& hidId);
}  // namespace hidraw

class THidrawBackend final : public IHidBackend, public IHidChangeSource {
 public:
  THidrawBackend();
  ~THidrawBackend() override;

  bool Bind() override;
  void Unbind() override;
  std::vector<THidInterfaceInfo> Scan() override;
  TResult<THidHandle> Open(const std::string& path, THidAccess access) override;
  void Close(THidHandle handle) override;
  TResult<THidAttributes> GetAttributes(THidHandle handle) override;
  TResult<THidCaps> GetCapabilities(THidHandle handle) override;
  TResult<std::size_t> Write(THidHandle handle, const void* data, std::size_t size) override;
  THidReadResult Read(THidHandle handle, std::uint8_t* buffer, std::size_t size,
                      std::chrono::milliseconds timeout) override;
  IHidChangeSource* ChangeSource() override;

  int PollFd() const override;
  bool Drain() override;
  void SetWakeup(std::function<void()> wake) override;

 private:
  struct TImpl;
  std::unique_ptr<TImpl> FImpl;
};

}  // namespace quenvar
