#include "quenvar/hid/hid_win_backend.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <set>
#include <system_error>

#include "hid_win_impl.h"
#include "quenvar/fileio/utf16.h"

namespace quenvar {

using namespace win;
using win_detail::TOpenHandle;

namespace {

// No device path is longer than the longest Windows path.
constexpr TWinDword kMaxDetailBytes = kWinDetailPathOffset + 2 * 32768;

int Errno(std::errc e) {
  return static_cast<int>(e);
}

// The link speaks errno on every platform.
int ErrnoOf(TWinDword error) {
  switch (error) {
    case kErrorFileNotFound:
    case kErrorPathNotFound:
      return Errno(std::errc::no_such_file_or_directory);
    case kErrorAccessDenied:
      return Errno(std::errc::permission_denied);
    case kErrorSharingViolation:
      return Errno(std::errc::device_or_resource_busy);
    case kErrorInvalidHandle:
      return Errno(std::errc::bad_file_descriptor);
    case kErrorNotEnoughMemory:
    case kErrorOutOfMemory:
      return Errno(std::errc::not_enough_memory);
    case kErrorInvalidParameter:
      return Errno(std::errc::invalid_argument);
    case kErrorDeviceNotConnected:
    case kErrorGenFailure:
      return Errno(std::errc::no_such_device);
    case kErrorOperationAborted:
      return Errno(std::errc::operation_canceled);
    default:
      return Errno(std::errc::io_error);
  }
}

// What a pending read or a write fails with when the device is pulled.
bool DeviceGone(TWinDword error) {
  return error == kErrorDeviceNotConnected || error == kErrorGenFailure;
}

bool Complete(const TWinHidApi& a) {
  return a.GetLastError && a.CreateFileW && a.CloseHandle && a.CreateEventW && a.ReadFile &&
         a.WriteFile && a.GetOverlappedResult && a.WaitForSingleObject && a.CancelIoEx &&
         a.SetupDiGetClassDevsW && a.SetupDiEnumDeviceInterfaces &&
         a.SetupDiGetDeviceInterfaceDetailW && a.SetupDiDestroyDeviceInfoList &&
         a.HidD_GetHidGuid && a.HidD_GetAttributes && a.HidD_GetPreparsedData &&
         a.HidD_FreePreparsedData && a.HidP_GetCaps && a.HidD_GetSerialNumberString;
}

THidError Failed(const TWinHidApi& api, const char* text) {
  return THidError{ErrnoOf(api.GetLastError()), text};
}

THidError BadHandle() {
  return THidError{Errno(std::errc::bad_file_descriptor), "bad handle"};
}

std::string Identity(const std::string& path, unsigned generation) {
  return generation == 0 ? path : path + "#" + std::to_string(generation);
}

// "\\?\hid#vid_0451&pid_3210#7&1a2b&0&0000#{guid}" gives "7&1A2B&0&0000".
std::string InstancePart(const std::string& path) {
  std::vector<std::string> fields(1);
  for (const char c : path)
    if (c == '#')
      fields.emplace_back();
    else
      fields.back() += c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  return fields.size() == 4 ? fields[2] : std::string();
}

// The device's serial-number string; empty when it has none or cannot be asked.
std::string SerialNumber(const TWinHidApi& api, const std::u16string& path) {
  const TWinHandle handle =
      api.CreateFileW(path, 0, kFileShareRead | kFileShareWrite, kOpenExisting, 0);
  if (handle == kWinInvalidHandle) return {};
  std::u16string text(kHidSerialBytes / 2, u'\0');
  const bool ok = api.HidD_GetSerialNumberString(handle, text.data(), kHidSerialBytes);
  api.CloseHandle(handle);
  if (!ok) return {};
  text.resize(std::min(text.find(u'\0'), text.size()));  // never trust the NUL to be there
  return Utf16ToUtf8(text);
}

}  // namespace

namespace win_detail {

TOpenHandle::~TOpenHandle() {
  if (Event != 0) Api->CloseHandle(Event);
  Api->CloseHandle(Handle);
}

std::string PathKey(const std::string& path) {
  std::string key = path;
  for (char& c : key)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return key;
}

}  // namespace win_detail

std::vector<std::u16string> THidWinBackend::TImpl::ScanPaths(const TWinHidApi& api,
                                                             const TWinGuid& hidGuid) {
  std::vector<std::u16string> paths;
  const TWinHandle set = api.SetupDiGetClassDevsW(&hidGuid, kDigcfPresent | kDigcfDeviceInterface);
  if (set == kWinInvalidHandle) return paths;
  // Every index is asked once: an interface whose details cannot be read is skipped.
  for (TWinDword index = 0;; ++index) {
    TWinDeviceInterfaceData iface{};
    iface.cbSize = sizeof iface;
    if (!api.SetupDiEnumDeviceInterfaces(set, &hidGuid, index, &iface)) break;
    TWinDword required = 0;
    if (api.SetupDiGetDeviceInterfaceDetailW(set, &iface, nullptr, 0, &required) ||
        api.GetLastError() != kErrorInsufficientBuffer)
      continue;
    if (required <= kWinDetailPathOffset || required > kMaxDetailBytes) continue;
    // uint32 units: the record starts with a DWORD and must be aligned for it.
    std::vector<std::uint32_t> detail((required + 3) / 4, 0);
    std::memcpy(detail.data(), &kWinDetailCbSize, sizeof kWinDetailCbSize);
    if (!api.SetupDiGetDeviceInterfaceDetailW(set, &iface, detail.data(), required, nullptr))
      continue;
    std::u16string path((required - kWinDetailPathOffset) / 2, u'\0');
    std::memcpy(path.data(), reinterpret_cast<const char*>(detail.data()) + kWinDetailPathOffset,
                path.size() * 2);
    path.resize(std::min(path.find(u'\0'), path.size()));  // never trust the NUL to be there
    if (!path.empty()) paths.push_back(std::move(path));
  }
  api.SetupDiDestroyDeviceInfoList(set);
  return paths;
}

std::shared_ptr<TOpenHandle> THidWinBackend::TImpl::Find(THidHandle handle) const {
  std::lock_guard<std::mutex> g(Lock);
  auto it = Handles.find(handle.Value);
  return it == Handles.end() ? nullptr : it->second;
}

bool THidWinBackend::TImpl::Observe(const std::vector<std::u16string>& paths,
                                    std::vector<THidInterfaceInfo>* found) {
  bool changed = false;
  std::set<std::string> keys;
  for (const std::u16string& wide : paths) {
    std::string path = Utf16ToUtf8(wide);
    std::string key = win_detail::PathKey(path);
    win_detail::TPathState& state = Paths[key];
    changed |= !state.Present;
    state.Present = true;
    if (found) found->push_back(THidInterfaceInfo{Identity(path, state.Generation), path});
    keys.insert(std::move(key));
  }
  for (auto& [key, state] : Paths) {
    if (!state.Present || keys.count(key)) continue;
    state.Present = false;
    ++state.Generation;
    changed = true;
  }
  return changed;
}

void THidWinBackend::TImpl::ConnectionGone(const TOpenHandle& handle) {
  {
    std::lock_guard<std::mutex> g(Lock);
    auto it = Paths.find(handle.PathKey);
    // Once per connection: the first of its handles to notice tells.
    if (it == Paths.end() || it->second.Generation != handle.Generation) return;
    it->second.Present = false;
    ++it->second.Generation;
  }
  NoteChange();
}

bool THidWinBackend::TImpl::RemovalSeen(const TOpenHandle& handle) const {
  std::lock_guard<std::mutex> g(Lock);
  auto it = Paths.find(handle.PathKey);
  return it != Paths.end() && it->second.Generation != handle.Generation;
}

THidWinBackend::THidWinBackend(TWinHidApiLoader loader, std::chrono::milliseconds rescanInterval)
    : Impl(std::make_unique<TImpl>(std::move(loader), rescanInterval)) {}

#ifdef _WIN32
THidWinBackend::THidWinBackend() : THidWinBackend(SystemWinHidApi()) {}
#endif

THidWinBackend::~THidWinBackend() {
  Unbind();
}

bool THidWinBackend::Bind() {
  TImpl::TApiPtr api;
  TWinGuid guid;
  {
    std::lock_guard<std::mutex> g(Impl->Lock);
    if (Impl->Api) return true;
    std::optional<TWinHidApi> table = Impl->Loader ? Impl->Loader() : std::nullopt;
    if (!table || !Complete(*table)) return false;
    api = std::make_shared<const TWinHidApi>(std::move(*table));
    api->HidD_GetHidGuid(&guid);
    Impl->Api = api;
    Impl->HidGuid = guid;
    // What is present now is no change; whatever comes after is.
    Impl->Observe(TImpl::ScanPaths(*api, guid), nullptr);
  }
  Impl->StartWatching(api, guid);
  return true;
}

void THidWinBackend::Unbind() {
  Impl->StopWatching();
  std::map<std::int64_t, std::shared_ptr<TOpenHandle>> handles;
  {
    std::lock_guard<std::mutex> g(Impl->Lock);
    handles.swap(Impl->Handles);
    Impl->Api.reset();
    Impl->Paths.clear();
    Impl->PendingChanges = 0;
  }
  for (auto& [id, h] : handles) {
    h->Closed = true;
    if (h->Event != 0) h->Api->CancelIoEx(h->Handle, nullptr);
  }
}

std::vector<THidInterfaceInfo> THidWinBackend::Scan() {
  TImpl::TApiPtr api;
  TWinGuid guid;
  {
    std::lock_guard<std::mutex> g(Impl->Lock);
    api = Impl->Api;
    guid = Impl->HidGuid;
  }
  std::vector<THidInterfaceInfo> found;
  if (!api) return found;
  const auto paths = TImpl::ScanPaths(*api, guid);
  // Asked outside the lock: a device may take its time to answer.
  std::vector<std::string> serials;
  for (const std::u16string& path : paths) serials.push_back(SerialNumber(*api, path));
  std::lock_guard<std::mutex> g(Impl->Lock);
  // Unbound meanwhile: nothing is listed.
  if (Impl->Api != api) return found;
  Impl->Observe(paths, &found);
  for (std::size_t i = 0; i < found.size(); ++i) {
    found[i].FIdentityPath = InstancePart(found[i].DevicePath);
    found[i].FSerial = std::move(serials[i]);
  }
  return found;
}

THidResult<THidHandle> THidWinBackend::Open(const std::string& path, THidAccess access) {
  TImpl::TApiPtr api;
  {
    std::lock_guard<std::mutex> g(Impl->Lock);
    api = Impl->Api;
  }
  if (!api) return THidError{Errno(std::errc::no_such_device), "not bound"};
  const std::optional<std::u16string> wide = Utf8ToUtf16(path);
  if (!wide) return THidError{Errno(std::errc::invalid_argument), "bad device path"};

  TWinDword rights = 0;
  TWinDword flags = 0;
  switch (access) {
    case THidAccess::ReadWrite:
      rights = kGenericRead | kGenericWrite;
      break;
    case THidAccess::QueryOnly:
      break;
    case THidAccess::Read:
      rights = kGenericRead;
      flags = kFileFlagOverlapped;
      break;
    case THidAccess::Write:
      rights = kGenericWrite;
      flags = kFileFlagOverlapped;
      break;
  }
  const TWinHandle handle =
      api->CreateFileW(*wide, rights, kFileShareRead | kFileShareWrite, kOpenExisting, flags);
  if (handle == kWinInvalidHandle) return Failed(*api, "open failed");

  auto open = std::make_shared<TOpenHandle>();
  open->Api = api;
  open->Handle = handle;
  open->Access = access;
  open->PathKey = win_detail::PathKey(path);
  if (flags & kFileFlagOverlapped) {
    open->Event = api->CreateEventW();
    if (open->Event == 0) return Failed(*api, "CreateEventW failed");  // closes the handle
  }
  std::lock_guard<std::mutex> g(Impl->Lock);
  if (auto it = Impl->Paths.find(open->PathKey); it != Impl->Paths.end())
    open->Generation = it->second.Generation;
  const std::int64_t id = Impl->NextHandle++;
  Impl->Handles[id] = std::move(open);
  return THidHandle{id};
}

void THidWinBackend::Close(THidHandle handle) {
  std::shared_ptr<TOpenHandle> open;
  {
    std::lock_guard<std::mutex> g(Impl->Lock);
    auto it = Impl->Handles.find(handle.Value);
    if (it == Impl->Handles.end()) return;
    open = std::move(it->second);
    Impl->Handles.erase(it);
  }
  open->Closed = true;
  // A reader waiting on this handle wakes at once; it closes the handle when it lets go.
  if (open->Event != 0) open->Api->CancelIoEx(open->Handle, nullptr);
}

THidResult<THidAttributes> THidWinBackend::GetAttributes(THidHandle handle) {
  const auto open = Impl->Find(handle);
  if (!open) return BadHandle();
  TWinHiddAttributes attrs{};
  attrs.Size = sizeof attrs;
  if (!open->Api->HidD_GetAttributes(open->Handle, &attrs))
    return Failed(*open->Api, "HidD_GetAttributes failed");
  return THidAttributes{attrs.VendorID, attrs.ProductID, attrs.VersionNumber};
}

THidResult<THidCaps> THidWinBackend::GetCapabilities(THidHandle handle) {
  const auto open = Impl->Find(handle);
  if (!open) return BadHandle();
  const TWinHidApi& api = *open->Api;
  TWinHandle preparsed = 0;
  if (!api.HidD_GetPreparsedData(open->Handle, &preparsed))
    return Failed(api, "HidD_GetPreparsedData failed");
  TWinHidpCaps caps{};
  const std::int32_t status = api.HidP_GetCaps(preparsed, &caps);
  api.HidD_FreePreparsedData(preparsed);
  if (status != kHidpStatusSuccess)
    return THidError{Errno(std::errc::io_error), "HidP_GetCaps failed"};
  return THidCaps{caps.Usage, caps.UsagePage, caps.InputReportByteLength,
                  caps.OutputReportByteLength, caps.FeatureReportByteLength};
}

THidResult<std::size_t> THidWinBackend::Write(THidHandle handle, const void* data,
                                              std::size_t size) {
  const auto open = Impl->Find(handle);
  if (!open || open->Access == THidAccess::QueryOnly || open->Access == THidAccess::Read)
    return BadHandle();
  if (size > std::numeric_limits<TWinDword>::max())
    return THidError{Errno(std::errc::invalid_argument), "report too long"};
  const TWinHidApi& api = *open->Api;
  TWinDword done = 0;
  bool ok = false;
  if (open->Event != 0) {
    TWinOverlapped ov{};
    ov.hEvent = open->Event;
    ok = api.WriteFile(open->Handle, data, static_cast<TWinDword>(size), &done, &ov);
    if (!ok && api.GetLastError() == kErrorIoPending)
      ok = api.GetOverlappedResult(open->Handle, &ov, &done, true);
  } else {
    ok = api.WriteFile(open->Handle, data, static_cast<TWinDword>(size), &done, nullptr);
  }
  if (!ok) {
    const TWinDword error = api.GetLastError();
    if (DeviceGone(error)) Impl->ConnectionGone(*open);
    return THidError{ErrnoOf(error), "write failed"};
  }
  return std::size_t{done};
}

THidReadResult THidWinBackend::Read(THidHandle handle, std::uint8_t* buffer, std::size_t size,
                                    std::chrono::milliseconds timeout) {
  const auto open = Impl->Find(handle);
  // Only the overlapped read handle: a read on the others would block unbounded.
  if (!open || open->Access != THidAccess::Read)
    return THidReadResult{THidReadStatus::Error, 0, Errno(std::errc::bad_file_descriptor)};
  const TWinHidApi& api = *open->Api;
  const auto length =
      static_cast<TWinDword>(std::min<std::size_t>(size, std::numeric_limits<TWinDword>::max()));
  auto gone = [&](TWinDword error) {
    if (DeviceGone(error)) {
      Impl->ConnectionGone(*open);
      return THidReadResult{THidReadStatus::Unplugged, 0, ErrnoOf(error)};
    }
    return THidReadResult{THidReadStatus::Error, 0, ErrnoOf(error)};
  };

  TWinOverlapped ov{};
  ov.hEvent = open->Event;
  TWinDword done = 0;
  if (api.ReadFile(open->Handle, buffer, length, &done, &ov))
    return THidReadResult{THidReadStatus::Data, done, 0};
  if (const TWinDword error = api.GetLastError(); error != kErrorIoPending) return gone(error);

  // Closed while the read was being issued: its cancel may have come too early.
  if (open->Closed) api.CancelIoEx(open->Handle, &ov);
  const auto wait = static_cast<TWinDword>(
      std::clamp<std::chrono::milliseconds::rep>(timeout.count(), 0, 0x7FFFFFFF));
  const TWinDword waited = api.WaitForSingleObject(open->Event, wait);
  if (waited != kWaitObject0) api.CancelIoEx(open->Handle, &ov);
  // Waits for the cancel too: the buffer and `ov` must outlive the request.
  if (api.GetOverlappedResult(open->Handle, &ov, &done, true))
    return THidReadResult{THidReadStatus::Data, done, 0};  // the report beat the cancel
  const TWinDword error = api.GetLastError();
  if (error != kErrorOperationAborted) return gone(error);
  if (Impl->RemovalSeen(*open))
    return THidReadResult{THidReadStatus::Unplugged, 0, Errno(std::errc::no_such_device)};
  if (open->Closed)
    return THidReadResult{THidReadStatus::Error, 0, Errno(std::errc::bad_file_descriptor)};
  if (waited == kWaitTimeout) return THidReadResult{THidReadStatus::Timeout, 0, 0};
  return THidReadResult{THidReadStatus::Error, 0, ErrnoOf(error)};
}

IHidChangeSource* THidWinBackend::ChangeSource() {
  return this;
}

THidWinBackend::TChangeMode THidWinBackend::ChangeMode() const {
  std::lock_guard<std::mutex> g(Impl->Lock);
  return Impl->Mode;
}

}  // namespace quenvar
