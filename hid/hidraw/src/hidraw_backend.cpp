#include "quenvar/hid/hidraw_backend.h"

#include <fcntl.h>
#include <libudev.h>
#include <linux/hidraw.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

#include "quenvar/hid/report_descriptor.h"

namespace quenvar {

namespace hidraw {

THidReadStatus ReadErrnoStatus(int err) {
  switch (err) {
    case EAGAIN:
    case EINTR:
      return THidReadStatus::Timeout;
    case EIO:
    case ENODEV:
    case ENXIO:
    case ESHUTDOWN:
      return THidReadStatus::Unplugged;
    default:
      return THidReadStatus::Error;
  }
}

THidReadStatus PollEventsStatus(short revents) {
  // Hang-up first: a dying device may still flag POLLIN, but its read would fail.
  if (revents & (POLLHUP | POLLERR)) return THidReadStatus::Unplugged;
  if (revents & POLLNVAL) return THidReadStatus::Error;
  if (revents & POLLIN) return THidReadStatus::Data;
  return THidReadStatus::Timeout;
}

THidAttributes AttributesFromRawInfo(std::int16_t vendor, std::int16_t product,
                                     std::uint32_t /*bustype*/) {
  return THidAttributes{static_cast<std::uint16_t>(vendor), static_cast<std::uint16_t>(product), 0};
}

TResult<THidAttributes> AttributesFromHidId(const std::string& hidId) {
  unsigned bus = 0;
  unsigned vendor = 0;
  unsigned product = 0;
  char tail = 0;
  if (std::sscanf(hidId.c_str(), "%x:%x:%x%c", &bus, &vendor, &product, &tail) != 3 ||
      vendor > 0xFFFF || product > 0xFFFF)
    return TError{TErrorKind::Device, "unreadable HID_ID", EINVAL};
  return THidAttributes{static_cast<std::uint16_t>(vendor), static_cast<std::uint16_t>(product), 0};
}

}  // namespace hidraw

namespace {

struct TFd {
  int FFd = -1;             // -1: a query-only handle answered from sysfs
  std::string FHidSysPath;  // the `hid` parent device
  std::uint16_t FVersion = 0;
  bool FNumbered = false;
  TResult<THidCaps> FCaps = TError{TErrorKind::Device, "no report descriptor", ENODATA};

  ~TFd() {
    if (FFd >= 0) ::close(FFd);
  }
};

std::vector<std::uint8_t> ReadSysfsDescriptor(const std::string& hidSysPath) {
  std::ifstream in(hidSysPath + "/report_descriptor", std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::uint8_t> ReadIoctlDescriptor(int fd) {
  int size = 0;
  if (::ioctl(fd, HIDIOCGRDESCSIZE, &size) < 0 || size <= 0) return {};
  hidraw_report_descriptor desc{};
  desc.size = static_cast<std::uint32_t>(std::min(size, HID_MAX_DESCRIPTOR_SIZE));
  if (::ioctl(fd, HIDIOCGRDESC, &desc) < 0) return {};
  return std::vector<std::uint8_t>(desc.value, desc.value + desc.size);
}

}  // namespace

struct THidrawBackend::TImpl {
  std::mutex FLock;  // libudev objects are not thread-safe; reader threads open handles too
  udev* FUdev = nullptr;
  udev_monitor* FMonitor = nullptr;
  std::map<std::int64_t, std::shared_ptr<TFd>> FHandles;
  std::int64_t FNextHandle = 1;

  std::shared_ptr<TFd> Find(THidHandle h) {
    std::lock_guard<std::mutex> g(FLock);
    auto it = FHandles.find(h.FValue);
    return it == FHandles.end() ? nullptr : it->second;
  }

  // Caller holds Lock.
  void DescribeNode(const std::string& path, TFd& fd) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !FUdev) return;
    udev_device* node = udev_device_new_from_devnum(FUdev, 'c', st.st_rdev);
    if (!node) return;
    if (udev_device* hid = udev_device_get_parent_with_subsystem_devtype(node, "hid", nullptr))
      fd.FHidSysPath = udev_device_get_syspath(hid);
    if (udev_device* usb = udev_device_get_parent_with_subsystem_devtype(node, "usb", "usb_device"))
      if (const char* bcd = udev_device_get_sysattr_value(usb, "bcdDevice"))
        fd.FVersion = static_cast<std::uint16_t>(std::strtoul(bcd, nullptr, 16));
    udev_device_unref(node);
  }
};

THidrawBackend::THidrawBackend() : FImpl(std::make_unique<TImpl>()) {}

THidrawBackend::~THidrawBackend() {
  Unbind();
}

bool THidrawBackend::Bind() {
  std::lock_guard<std::mutex> g(FImpl->FLock);
  if (FImpl->FUdev) return true;
  FImpl->FUdev = udev_new();
  if (!FImpl->FUdev) return false;
  // Without a udev daemon (containers) only the kernel's own events arrive.
  const char* source = ::access("/run/udev/control", F_OK) == 0 ? "udev" : "kernel";
  FImpl->FMonitor = udev_monitor_new_from_netlink(FImpl->FUdev, source);
  if (FImpl->FMonitor) {
    udev_monitor_filter_add_match_subsystem_devtype(FImpl->FMonitor, "hidraw", nullptr);
    if (udev_monitor_enable_receiving(FImpl->FMonitor) < 0) {
      udev_monitor_unref(FImpl->FMonitor);
      FImpl->FMonitor = nullptr;
    } else {
      // Drain reads until nothing is left; that must never block the UI thread.
      const int fd = udev_monitor_get_fd(FImpl->FMonitor);
      ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    }
  }
  return true;
}

void THidrawBackend::Unbind() {
  std::lock_guard<std::mutex> g(FImpl->FLock);
  FImpl->FHandles.clear();
  if (FImpl->FMonitor) udev_monitor_unref(FImpl->FMonitor);
  FImpl->FMonitor = nullptr;
  if (FImpl->FUdev) udev_unref(FImpl->FUdev);
  FImpl->FUdev = nullptr;
}

std::vector<THidInterfaceInfo> THidrawBackend::Scan() {
  std::lock_guard<std::mutex> g(FImpl->FLock);
  std::vector<THidInterfaceInfo> result;
  if (!FImpl->FUdev) return result;
  udev_enumerate* en = udev_enumerate_new(FImpl->FUdev);
  if (!en) return result;
  udev_enumerate_add_match_subsystem(en, "hidraw");
  udev_enumerate_scan_devices(en);
  for (udev_list_entry* e = udev_enumerate_get_list_entry(en); e; e = udev_list_entry_get_next(e)) {
    udev_device* dev = udev_device_new_from_syspath(FImpl->FUdev, udev_list_entry_get_name(e));
    if (!dev) continue;
    const char* node = udev_device_get_devnode(dev);
    udev_device* hid = udev_device_get_parent_with_subsystem_devtype(dev, "hid", nullptr);
    // hidraw minors are reused; the hid parent's path is new on every replug.
    // Its physical path (usb-0000:00:14.0-2/input0) stays with the USB port.
    if (node && hid) {
      const char* phys = udev_device_get_property_value(hid, "HID_PHYS");
      const char* uniq = udev_device_get_property_value(hid, "HID_UNIQ");
      result.push_back(THidInterfaceInfo{udev_device_get_syspath(hid), node, phys ? phys : "",
                                         uniq ? uniq : ""});
    }
    udev_device_unref(dev);
  }
  udev_enumerate_unref(en);
  return result;
}

TResult<THidHandle> THidrawBackend::Open(const std::string& path, THidAccess access) {
  int flags = O_CLOEXEC;
  switch (access) {
    case THidAccess::ReadWrite:
      flags |= O_RDWR;
      break;
    case THidAccess::QueryOnly:
    case THidAccess::Read:
      flags |= O_RDONLY | O_NONBLOCK;
      break;
    case THidAccess::Write:
      flags |= O_WRONLY;
      break;
  }
  auto fd = std::make_shared<TFd>();
  fd->FFd = ::open(path.c_str(), flags);
  const int openErrno = errno;
  std::lock_guard<std::mutex> g(FImpl->FLock);
  if (fd->FFd < 0 && access != THidAccess::QueryOnly)
    return TError{TErrorKind::Device, "open failed", openErrno};
  FImpl->DescribeNode(path, *fd);
  // Query-only without the right to open the node: sysfs still tells who it is.
  if (fd->FFd < 0 && fd->FHidSysPath.empty())
    return TError{TErrorKind::Device, "open failed", openErrno};

  auto desc = fd->FFd >= 0 ? ReadIoctlDescriptor(fd->FFd) : ReadSysfsDescriptor(fd->FHidSysPath);
  if (desc.empty() && !fd->FHidSysPath.empty()) desc = ReadSysfsDescriptor(fd->FHidSysPath);
  auto parsed = ParseReportDescriptor(desc);
  if (parsed) {
    fd->FNumbered = parsed->FNumberedReports;
    fd->FCaps = parsed->FCaps;
  } else {
    fd->FCaps = parsed.Error();
  }
  const std::int64_t id = FImpl->FNextHandle++;
  FImpl->FHandles[id] = std::move(fd);
  return THidHandle{id};
}

void THidrawBackend::Close(THidHandle handle) {
  std::shared_ptr<TFd> fd;
  {
    std::lock_guard<std::mutex> g(FImpl->FLock);
    auto it = FImpl->FHandles.find(handle.FValue);
    if (it == FImpl->FHandles.end()) return;
    fd = std::move(it->second);
    FImpl->FHandles.erase(it);
  }
  // A reader still inside poll() holds its own reference; the descriptor is
  // closed when that poll ends, so its number cannot be reused under it.
}

TResult<THidAttributes> THidrawBackend::GetAttributes(THidHandle handle) {
  auto fd = FImpl->Find(handle);
  if (!fd) return TError{TErrorKind::Device, "bad handle", EBADF};
  TResult<THidAttributes> attrs = TError{TErrorKind::Device, "device cannot be identified", ENODEV};
  if (fd->FFd >= 0) {
    hidraw_devinfo info{};
    if (::ioctl(fd->FFd, HIDIOCGRAWINFO, &info) < 0)
      return TError{TErrorKind::Device, "HIDIOCGRAWINFO", errno};
    attrs = hidraw::AttributesFromRawInfo(info.vendor, info.product, info.bustype);
  } else {
    std::lock_guard<std::mutex> g(FImpl->FLock);
    if (!FImpl->FUdev) return attrs;
    udev_device* hid = udev_device_new_from_syspath(FImpl->FUdev, fd->FHidSysPath.c_str());
    if (!hid) return attrs;
    const char* hidId = udev_device_get_property_value(hid, "HID_ID");
    if (hidId) attrs = hidraw::AttributesFromHidId(hidId);
    udev_device_unref(hid);
  }
  if (attrs) attrs->FVersionNumber = fd->FVersion;
  return attrs;
}

TResult<THidCaps> THidrawBackend::GetCapabilities(THidHandle handle) {
  auto fd = FImpl->Find(handle);
  if (!fd) return TError{TErrorKind::Device, "bad handle", EBADF};
  return fd->FCaps;
}

TResult<std::size_t> THidrawBackend::Write(THidHandle handle, const void* data, std::size_t size) {
  auto fd = FImpl->Find(handle);
  if (!fd || fd->FFd < 0) return TError{TErrorKind::Device, "bad handle", EBADF};
  for (;;) {
    const ssize_t n = ::write(fd->FFd, data, size);
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno != EINTR) return TError{TErrorKind::Device, "write failed", errno};
  }
}

THidReadResult THidrawBackend::Read(THidHandle handle, std::uint8_t* buffer, std::size_t size,
                                    std::chrono::milliseconds timeout) {
  auto fd = FImpl->Find(handle);
  if (!fd || fd->FFd < 0) return THidReadResult{THidReadStatus::Error, 0, EBADF};
  // Room for the id byte we may prepend plus at least one report byte.
  if (size < 2) return THidReadResult{THidReadStatus::Error, 0, EINVAL};
  pollfd p{fd->FFd, POLLIN, 0};
  const int ready = ::poll(&p, 1, static_cast<int>(timeout.count()));
  if (ready < 0) {
    const int err = errno;
    const auto status = hidraw::ReadErrnoStatus(err);
    return THidReadResult{status, 0, status == THidReadStatus::Timeout ? 0 : err};
  }
  if (ready == 0) return THidReadResult{THidReadStatus::Timeout, 0, 0};
  const auto pollStatus = hidraw::PollEventsStatus(p.revents);
  if (pollStatus == THidReadStatus::Unplugged) return {pollStatus, 0, ENODEV};
  if (pollStatus == THidReadStatus::Error) return {pollStatus, 0, EBADF};
  if (pollStatus == THidReadStatus::Timeout) return {pollStatus, 0, 0};

  // Unnumbered devices deliver the report without its id byte.
  const std::size_t skip = fd->FNumbered ? 0 : 1;
  const ssize_t n = ::read(fd->FFd, buffer + skip, size - skip);
  if (n == 0) return THidReadResult{THidReadStatus::Unplugged, 0, ENODEV};
  if (n < 0) {
    const int err = errno;
    const auto status = hidraw::ReadErrnoStatus(err);
    return THidReadResult{status, 0, status == THidReadStatus::Timeout ? 0 : err};
  }
  if (skip) buffer[0] = 0;
  return THidReadResult{THidReadStatus::Data, static_cast<std::size_t>(n) + skip, 0};
}

IHidChangeSource* THidrawBackend::ChangeSource() {
  return this;
}

int THidrawBackend::PollFd() const {
  std::lock_guard<std::mutex> g(FImpl->FLock);
  return FImpl->FMonitor ? udev_monitor_get_fd(FImpl->FMonitor) : -1;
}

bool THidrawBackend::Drain() {
  std::lock_guard<std::mutex> g(FImpl->FLock);
  if (!FImpl->FMonitor) return false;
  bool any = false;
  while (udev_device* dev = udev_monitor_receive_device(FImpl->FMonitor)) {
    udev_device_unref(dev);
    any = true;
  }
  return any;
}

void THidrawBackend::SetWakeup(std::function<void()> /*wake*/) {
  // The monitor's descriptor is the wakeup; the loop polls it.
}

}  // namespace quenvar
