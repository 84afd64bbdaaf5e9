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
  return a.FGetLastError && a.FCreateFileW && a.FCloseHandle && a.FCreateEventW && a.FReadFile &&
         a.FWriteFile && a.FGetOverlappedResult && a.FWaitForSingleObject && a.FCancelIoEx &&
         a.FSetupDiGetClassDevsW && a.FSetupDiEnumDeviceInterfaces &&
         a.FSetupDiGetDeviceInterfaceDetailW && a.FSetupDiDestroyDeviceInfoList &&
         a.FHidDGetHidGuid && a.FHidDGetAttributes && a.FHidDGetPreparsedData &&
         a.FHidDFreePreparsedData && a.FHidPGetCaps && a.FHidDGetSerialNumberString;
}

TError Failed(const TWinHidApi& api, const char* text) {
  return TError{TErrorKind::Device, text, ErrnoOf(api.FGetLastError())};
}

TError BadHandle() {
  return TError{TErrorKind::Device, "bad handle", Errno(std::errc::bad_file_descriptor)};
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
      api.FCreateFileW(path, 0, kFileShareRead | kFileShareWrite, kOpenExisting, 0);
  if (handle == kWinInvalidHandle) return {};
  std::u16string text(kHidSerialBytes / 2, u'\0');
  const bool ok = api.FHidDGetSerialNumberString(handle, text.data(), kHidSerialBytes);
  api.FCloseHandle(handle);
  if (!ok) return {};
  text.resize(std::min(text.find(u'\0'), text.size()));  // never trust the NUL to be there
  return Utf16ToUtf8(text);
}

}  // namespace

namespace win_detail {

TOpenHandle::~TOpenHandle() {
  if (FEvent != 0) FApi->FCloseHandle(FEvent);
  FApi->FCloseHandle(FHandle);
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
  const TWinHandle set = api.FSetupDiGetClassDevsW(&hidGuid, kDigcfPresent | kDigcfDeviceInterface);
  if (set == kWinInvalidHandle) return paths;
  // Every index is asked once: an interface whose details cannot be read is skipped.
  for (TWinDword index = 0;; ++index) {
    TWinDeviceInterfaceData iface{};
    iface.FCbSize = sizeof iface;
    if (!api.FSetupDiEnumDeviceInterfaces(set, &hidGuid, index, &iface)) break;
    TWinDword required = 0;
    if (api.FSetupDiGetDeviceInterfaceDetailW(set, &iface, nullptr, 0, &required) ||
        api.FGetLastError() != kErrorInsufficientBuffer)
      continue;
    if (required <= kWinDetailPathOffset || required > kMaxDetailBytes) continue;
    // uint32 units: the record starts with a DWORD and must be aligned for it.
    std::vector<std::uint32_t> detail((required + 3) / 4, 0);
    std::memcpy(detail.data(), &kWinDetailCbSize, sizeof kWinDetailCbSize);
    if (!api.FSetupDiGetDeviceInterfaceDetailW(set, &iface, detail.data(), required, nullptr))
      continue;
    std::u16string path((required - kWinDetailPathOffset) / 2, u'\0');
    std::memcpy(path.data(), reinterpret_cast<const char*>(detail.data()) + kWinDetailPathOffset,
                path.size() * 2);
    path.resize(std::min(path.find(u'\0'), path.size()));  // never trust the NUL to be there
    if (!path.empty()) paths.push_back(std::move(path));
  }
  api.FSetupDiDestroyDeviceInfoList(set);
  return paths;
}

std::shared_ptr<TOpenHandle> THidWinBackend::TImpl::Find(THidHandle handle) const {
  std::lock_guard<std::mutex> g(FLock);
  auto it = FHandles.find(handle.FValue);
  return it == FHandles.end() ? nullptr : it->second;
}

bool THidWinBackend::TImpl::Observe(const std::vector<std::u16string>& paths,
                                    std::vector<THidInterfaceInfo>* found) {
  bool changed = false;
  std::set<std::string> keys;
  for (const std::u16string& wide : paths) {
    std::string path = Utf16ToUtf8(wide);
    std::string key = win_detail::PathKey(path);
    win_detail::TPathState& state = FPaths[key];
    changed |= !state.FPresent;
    state.FPresent = true;
    if (found) found->push_back(THidInterfaceInfo{Identity(path, state.FGeneration), path});
    keys.insert(std::move(key));
  }
  for (auto& [key, state] : FPaths) {
    if (!state.FPresent || keys.count(key)) continue;
    state.FPresent = false;
    ++state.FGeneration;
    changed = true;
  }
  return changed;
}

void THidWinBackend::TImpl::ConnectionGone(const TOpenHandle& handle) {
  {
    std::lock_guard<std::mutex> g(FLock);
    auto it = FPaths.find(handle.FPathKey);
    // Once per connection: the first of its handles to notice tells.
    if (it == FPaths.end() || it->second.FGeneration != handle.FGeneration) return;
    it->second.FPresent = false;
    ++it->second.FGeneration;
  }
  NoteChange();
}

bool THidWinBackend::TImpl::RemovalSeen(const TOpenHandle& handle) const {
  std::lock_guard<std::mutex> g(FLock);
  auto it = FPaths.find(handle.FPathKey);
  return it != FPaths.end() && it->second.FGeneration != handle.FGeneration;
}

THidWinBackend::THidWinBackend(TWinHidApiLoader loader, std::chrono::milliseconds rescanInterval)
    : FImpl(std::make_unique<TImpl>(std::move(loader), rescanInterval)) {}

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
    std::lock_guard<std::mutex> g(FImpl->FLock);
    if (FImpl->FApi) return true;
    std::optional<TWinHidApi> table = FImpl->FLoader ? FImpl->FLoader() : std::nullopt;
    if (!table || !Complete(*table)) return false;
    api = std::make_shared<const TWinHidApi>(std::move(*table));
    api->FHidDGetHidGuid(&guid);
    FImpl->FApi = api;
    FImpl->FHidGuid = guid;
    // What is present now is no change; whatever comes after is.
    FImpl->Observe(TImpl::ScanPaths(*api, guid), nullptr);
  }
  FImpl->StartWatching(api, guid);
  return true;
}

void THidWinBackend::Unbind() {
  FImpl->StopWatching();
  std::map<std::int64_t, std::shared_ptr<TOpenHandle>> handles;
  {
    std::lock_guard<std::mutex> g(FImpl->FLock);
    handles.swap(FImpl->FHandles);
    FImpl->FApi.reset();
    FImpl->FPaths.clear();
    FImpl->FPendingChanges = 0;
  }
  for (auto& [id, h] : handles) {
    h->FClosed = true;
    if (h->FEvent != 0) h->FApi->FCancelIoEx(h->FHandle, nullptr);
  }
}

std::vector<THidInterfaceInfo> THidWinBackend::Scan() {
  TImpl::TApiPtr api;
  TWinGuid guid;
  {
    std::lock_guard<std::mutex> g(FImpl->FLock);
    api = FImpl->FApi;
    guid = FImpl->FHidGuid;
  }
  std::vector<THidInterfaceInfo> found;
  if (!api) return found;
  const auto paths = TImpl::ScanPaths(*api, guid);
  // Asked outside the lock: a device may take its time to answer.
  std::vector<std::string> serials;
  serials.reserve(paths.size());
  for (const std::u16string& path : paths) serials.push_back(SerialNumber(*api, path));
  std::lock_guard<std::mutex> g(FImpl->FLock);
  // Unbound meanwhile: nothing is listed.
  if (FImpl->FApi != api) return found;
  FImpl->Observe(paths, &found);
  for (std::size_t i = 0; i < found.size(); ++i) {
    found[i].FIdentityPath = InstancePart(found[i].FDevicePath);
    found[i].FSerial = std::move(serials[i]);
  }
  return found;
}

TResult<THidHandle> THidWinBackend::Open(const std::string& path, THidAccess access) {
  TImpl::TApiPtr api;
  {
    std::lock_guard<std::mutex> g(FImpl->FLock);
    api = FImpl->FApi;
  }
  if (!api) return TError{TErrorKind::Device, "not bound", Errno(std::errc::no_such_device)};
  const std::optional<std::u16string> wide = Utf8ToUtf16(path);
  if (!wide)
    return TError{TErrorKind::Device, "bad device path", Errno(std::errc::invalid_argument)};

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
      api->FCreateFileW(*wide, rights, kFileShareRead | kFileShareWrite, kOpenExisting, flags);
  if (handle == kWinInvalidHandle) return Failed(*api, "open failed");

  auto open = std::make_shared<TOpenHandle>();
  open->FApi = api;
  open->FHandle = handle;
  open->FAccess = access;
  open->FPathKey = win_detail::PathKey(path);
  if (flags & kFileFlagOverlapped) {
    open->FEvent = api->FCreateEventW();
    if (open->FEvent == 0) return Failed(*api, "CreateEventW failed");  // closes the handle
  }
  std::lock_guard<std::mutex> g(FImpl->FLock);
  if (auto it = FImpl->FPaths.find(open->FPathKey); it != FImpl->FPaths.end())
    open->FGeneration = it->second.FGeneration;
  const std::int64_t id = FImpl->FNextHandle++;
  FImpl->FHandles[id] = std::move(open);
  return THidHandle{id};
}

void THidWinBackend::Close(THidHandle handle) {
  std::shared_ptr<TOpenHandle> open;
  {
    std::lock_guard<std::mutex> g(FImpl->FLock);
    auto it = FImpl->FHandles.find(handle.FValue);
    if (it == FImpl->FHandles.end()) return;
    open = std::move(it->second);
    FImpl->FHandles.erase(it);
  }
  open->FClosed = true;
  // A reader waiting on this handle wakes at once; it closes the handle when it lets go.
  if (open->FEvent != 0) open->FApi->FCancelIoEx(open->FHandle, nullptr);
}

TResult<THidAttributes> THidWinBackend::GetAttributes(THidHandle handle) {
  const auto open = FImpl->Find(handle);
  if (!open) return BadHandle();
  TWinHiddAttributes attrs{};
  attrs.FSize = sizeof attrs;
  if (!open->FApi->FHidDGetAttributes(open->FHandle, &attrs))
    return Failed(*open->FApi, "HidD_GetAttributes failed");
  return THidAttributes{attrs.FVendorID, attrs.FProductID, attrs.FVersionNumber};
}

TResult<THidCaps> THidWinBackend::GetCapabilities(THidHandle handle) {
  const auto open = FImpl->Find(handle);
  if (!open) return BadHandle();
  const TWinHidApi& api = *open->FApi;
  TWinHandle preparsed = 0;
  if (!api.FHidDGetPreparsedData(open->FHandle, &preparsed))
    return Failed(api, "HidD_GetPreparsedData failed");
  TWinHidpCaps caps{};
  const std::int32_t status = api.FHidPGetCaps(preparsed, &caps);
  api.FHidDFreePreparsedData(preparsed);
  if (status != kHidpStatusSuccess)
    return TError{TErrorKind::Device, "HidP_GetCaps failed", Errno(std::errc::io_error)};
  return THidCaps{caps.FUsage, caps.FUsagePage, caps.FInputReportByteLength,
                  caps.FOutputReportByteLength, caps.FFeatureReportByteLength};
}

TResult<std::size_t> THidWinBackend::Write(THidHandle handle, const void* data, std::size_t size) {
  const auto open = FImpl->Find(handle);
  if (!open || open->FAccess == THidAccess::QueryOnly || open->FAccess == THidAccess::Read)
    return BadHandle();
  if (size > std::numeric_limits<TWinDword>::max())
    return TError{TErrorKind::Device, "report too long", Errno(std::errc::invalid_argument)};
  const TWinHidApi& api = *open->FApi;
  TWinDword done = 0;
  bool ok = false;
  if (open->FEvent != 0) {
    TWinOverlapped ov{};
    ov.FHEvent = open->FEvent;
    ok = api.FWriteFile(open->FHandle, data, static_cast<TWinDword>(size), &done, &ov);
    if (!ok && api.FGetLastError() == kErrorIoPending)
      ok = api.FGetOverlappedResult(open->FHandle, &ov, &done, true);
  } else {
    ok = api.FWriteFile(open->FHandle, data, static_cast<TWinDword>(size), &done, nullptr);
  }
  if (!ok) {
    const TWinDword error = api.FGetLastError();
    if (DeviceGone(error)) FImpl->ConnectionGone(*open);
    return TError{TErrorKind::Device, "write failed", ErrnoOf(error)};
  }
  return std::size_t{done};
}

THidReadResult THidWinBackend::Read(THidHandle handle, std::uint8_t* buffer, std::size_t size,
                                    std::chrono::milliseconds timeout) {
  const auto open = FImpl->Find(handle);
  // Only the overlapped read handle: a read on the others would block unbounded.
  if (!open || open->FAccess != THidAccess::Read)
    return THidReadResult{THidReadStatus::Error, 0, Errno(std::errc::bad_file_descriptor)};
  const TWinHidApi& api = *open->FApi;
  const auto length =
      static_cast<TWinDword>(std::min<std::size_t>(size, std::numeric_limits<TWinDword>::max()));
  auto gone = [&](TWinDword error) {
    if (DeviceGone(error)) {
      FImpl->ConnectionGone(*open);
      return THidReadResult{THidReadStatus::Unplugged, 0, ErrnoOf(error)};
    }
    return THidReadResult{THidReadStatus::Error, 0, ErrnoOf(error)};
  };

  TWinOverlapped ov{};
  ov.FHEvent = open->FEvent;
  TWinDword done = 0;
  if (api.FReadFile(open->FHandle, buffer, length, &done, &ov))
    return THidReadResult{THidReadStatus::Data, done, 0};
  if (const TWinDword error = api.FGetLastError(); error != kErrorIoPending) return gone(error);

  // Closed while the read was being issued: its cancel may have come too early.
  if (open->FClosed) api.FCancelIoEx(open->FHandle, &ov);
  const auto wait = static_cast<TWinDword>(
      std::clamp<std::chrono::milliseconds::rep>(timeout.count(), 0, 0x7FFFFFFF));
  const TWinDword waited = api.FWaitForSingleObject(open->FEvent, wait);
  if (waited != kWaitObject0) api.FCancelIoEx(open->FHandle, &ov);
  // Waits for the cancel too: the buffer and `ov` must outlive the request.
  if (api.FGetOverlappedResult(open->FHandle, &ov, &done, true))
    return THidReadResult{THidReadStatus::Data, done, 0};  // the report beat the cancel
  const TWinDword error = api.FGetLastError();
  if (error != kErrorOperationAborted) return gone(error);
  if (FImpl->RemovalSeen(*open))
    return THidReadResult{THidReadStatus::Unplugged, 0, Errno(std::errc::no_such_device)};
  if (open->FClosed)
    return THidReadResult{THidReadStatus::Error, 0, Errno(std::errc::bad_file_descriptor)};
  if (waited == kWaitTimeout) return THidReadResult{THidReadStatus::Timeout, 0, 0};
  return THidReadResult{THidReadStatus::Error, 0, ErrnoOf(error)};
}

IHidChangeSource* THidWinBackend::ChangeSource() {
  return this;
}

THidWinBackend::TChangeMode THidWinBackend::ChangeMode() const {
  std::lock_guard<std::mutex> g(FImpl->FLock);
  return FImpl->FMode;
}

}  // namespace quenvar
