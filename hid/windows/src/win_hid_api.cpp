// The real table: kernel32 directly, SetupAPI, hid.dll and the configuration
// manager's notifications resolved from the system folder when bound, so a
// missing library or entry point leaves the backend unbound instead of the
// program unable to start.
#ifdef _WIN32

// Declarations of newer systems are safe here: all of them are looked up at run time.
#undef WINVER
#undef _WIN32_WINNT
#define WINVER 0x0A00
#define _WIN32_WINNT 0x0A00
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
// clang-format off
#include <windows.h>
#include <setupapi.h>
#include <cfgmgr32.h>
#include <hidsdi.h>
#include <hidpi.h>
// clang-format on

#include "quenvar/hid/win_hid_api.h"

#include <cstddef>
#include <cwchar>
#include <memory>
#include <string>
#include <type_traits>

namespace quenvar::win {
namespace {

// The mirrors must be the system's records byte for byte: the backend hands
// them to the system as they are.
#define QUENVAR_SAME_FIELD(Mine, MyField, Theirs, Field)                     \
  static_assert(offsetof(Mine, MyField) == offsetof(Theirs, Field), #Field); \
  static_assert(sizeof(Mine::MyField) == sizeof(Theirs::Field), #Field " size")
static_assert(sizeof(TWinGuid) == sizeof(GUID));
static_assert(sizeof(TWinDeviceInterfaceData) == sizeof(SP_DEVICE_INTERFACE_DATA));
QUENVAR_SAME_FIELD(TWinDeviceInterfaceData, FInterfaceClassGuid, SP_DEVICE_INTERFACE_DATA,
                   InterfaceClassGuid);
QUENVAR_SAME_FIELD(TWinDeviceInterfaceData, FFlags, SP_DEVICE_INTERFACE_DATA, Flags);
QUENVAR_SAME_FIELD(TWinDeviceInterfaceData, FReserved, SP_DEVICE_INTERFACE_DATA, Reserved);
static_assert(kWinDetailCbSize == sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W));
static_assert(kWinDetailPathOffset == offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath));
static_assert(sizeof(TWinHiddAttributes) == sizeof(HIDD_ATTRIBUTES));
QUENVAR_SAME_FIELD(TWinHiddAttributes, FVendorID, HIDD_ATTRIBUTES, VendorID);
QUENVAR_SAME_FIELD(TWinHiddAttributes, FProductID, HIDD_ATTRIBUTES, ProductID);
QUENVAR_SAME_FIELD(TWinHiddAttributes, FVersionNumber, HIDD_ATTRIBUTES, VersionNumber);
static_assert(sizeof(TWinHidpCaps) == sizeof(HIDP_CAPS));
QUENVAR_SAME_FIELD(TWinHidpCaps, FInputReportByteLength, HIDP_CAPS, InputReportByteLength);
QUENVAR_SAME_FIELD(TWinHidpCaps, FOutputReportByteLength, HIDP_CAPS, OutputReportByteLength);
QUENVAR_SAME_FIELD(TWinHidpCaps, FFeatureReportByteLength, HIDP_CAPS, FeatureReportByteLength);
static_assert(sizeof(TWinOverlapped) == sizeof(OVERLAPPED));
QUENVAR_SAME_FIELD(TWinOverlapped, FHEvent, OVERLAPPED, hEvent);
static_assert(sizeof(TWinHandle) == sizeof(HANDLE));
#undef QUENVAR_SAME_FIELD

static_assert(kErrorFileNotFound == ERROR_FILE_NOT_FOUND);
static_assert(kErrorPathNotFound == ERROR_PATH_NOT_FOUND);
static_assert(kErrorAccessDenied == ERROR_ACCESS_DENIED);
static_assert(kErrorInvalidHandle == ERROR_INVALID_HANDLE);
static_assert(kErrorNotEnoughMemory == ERROR_NOT_ENOUGH_MEMORY);
static_assert(kErrorOutOfMemory == ERROR_OUTOFMEMORY);
static_assert(kErrorGenFailure == ERROR_GEN_FAILURE);
static_assert(kErrorSharingViolation == ERROR_SHARING_VIOLATION);
static_assert(kErrorInvalidParameter == ERROR_INVALID_PARAMETER);
static_assert(kErrorInsufficientBuffer == ERROR_INSUFFICIENT_BUFFER);
static_assert(kErrorNoMoreItems == ERROR_NO_MORE_ITEMS);
static_assert(kErrorOperationAborted == ERROR_OPERATION_ABORTED);
static_assert(kErrorIoPending == ERROR_IO_PENDING);
static_assert(kErrorDeviceNotConnected == ERROR_DEVICE_NOT_CONNECTED);
static_assert(kErrorNotFound == ERROR_NOT_FOUND);
static_assert(kGenericRead == GENERIC_READ && kGenericWrite == GENERIC_WRITE);
static_assert(kFileShareRead == FILE_SHARE_READ && kFileShareWrite == FILE_SHARE_WRITE);
static_assert(kOpenExisting == OPEN_EXISTING && kFileFlagOverlapped == FILE_FLAG_OVERLAPPED);
static_assert(kDigcfPresent == DIGCF_PRESENT && kDigcfDeviceInterface == DIGCF_DEVICEINTERFACE);
static_assert(kWaitObject0 == WAIT_OBJECT_0 && kWaitTimeout == WAIT_TIMEOUT);
static_assert(kWaitFailed == WAIT_FAILED);
static_assert(kHidpStatusSuccess == HIDP_STATUS_SUCCESS);
static_assert(kCrSuccess == CR_SUCCESS);
static_assert(kCmNotifyActionInterfaceArrival == CM_NOTIFY_ACTION_DEVICEINTERFACEARRIVAL);
static_assert(kCmNotifyActionInterfaceRemoval == CM_NOTIFY_ACTION_DEVICEINTERFACEREMOVAL);

// Not declared by every SDK; documented for cfgmgr32.dll from Windows 8 on.
using TCmRegisterNotification = CONFIGRET(WINAPI*)(PCM_NOTIFY_FILTER, PVOID, PCM_NOTIFY_CALLBACK,
                                                   PHCMNOTIFICATION);
using TCmUnregisterNotification = CONFIGRET(WINAPI*)(HCMNOTIFICATION);

HANDLE H(TWinHandle h) {
  return reinterpret_cast<HANDLE>(h);
}
TWinHandle W(HANDLE h) {
  return reinterpret_cast<TWinHandle>(h);
}
GUID* G(TWinGuid* g) {
  return reinterpret_cast<GUID*>(g);
}
const GUID* G(const TWinGuid* g) {
  return reinterpret_cast<const GUID*>(g);
}
OVERLAPPED* O(TWinOverlapped* o) {
  return reinterpret_cast<OVERLAPPED*>(o);
}

// Loaded libraries stay loaded while any copy of the table exists.
class TLibrary {
 public:
  explicit TLibrary(const wchar_t* name) {
    wchar_t folder[MAX_PATH];
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    // Only the system's own copy: never one planted beside the program.
    if (length > 0 && length < MAX_PATH)
      FModule = LoadLibraryW((std::wstring(folder, length) + L"\\" + name).c_str());
  }
  ~TLibrary() {
    if (FModule) FreeLibrary(FModule);
  }
  TLibrary(const TLibrary&) = delete;
  TLibrary& operator=(const TLibrary&) = delete;

  explicit operator bool() const { return FModule != nullptr; }

  // Null when the library or the entry point is missing.
  template <class F>
  F* Entry(const char* name) const {
    if (!FModule) return nullptr;
    // Through void(*)(): a cast between unrelated function types says it means it.
    return reinterpret_cast<F*>(reinterpret_cast<void (*)()>(GetProcAddress(FModule, name)));
  }

 private:
  HMODULE FModule = nullptr;
};

struct TLibraries {
  TLibrary FSetupApi{L"setupapi.dll"};
  TLibrary FHid{L"hid.dll"};
  TLibrary FCfgMgr{L"cfgmgr32.dll"};
};

// One registration: the callback the backend gave and the system's handle.
struct TCmRegistration {
  TWinCmCallback FCallback;
  HCMNOTIFICATION FHandle = nullptr;
  std::shared_ptr<TLibraries> FLibraries;
};

DWORD CALLBACK CmNotified(HCMNOTIFICATION, PVOID context, CM_NOTIFY_ACTION action,
                          PCM_NOTIFY_EVENT_DATA data, DWORD size) {
  std::u16string link;
  constexpr std::size_t kLinkAt = offsetof(CM_NOTIFY_EVENT_DATA, u.DeviceInterface.SymbolicLink);
  if (data && data->FilterType == CM_NOTIFY_FILTER_TYPE_DEVICEINTERFACE && size > kLinkAt) {
    const wchar_t* text = data->u.DeviceInterface.SymbolicLink;
    link.assign(text, text + wcsnlen(text, (size - kLinkAt) / sizeof(wchar_t)));
  }
  static_cast<TCmRegistration*>(context)->FCallback(static_cast<TWinDword>(action), link);
  return ERROR_SUCCESS;
}

std::optional<TWinHidApi> Load() {
  auto libs = std::make_shared<TLibraries>();
  // As the link has always bound them: SetupAPI first, hid.dll only with it.
  if (!libs->FSetupApi || !libs->FHid) return std::nullopt;

  auto getClassDevs =
      libs->FSetupApi.Entry<decltype(::SetupDiGetClassDevsW)>("SetupDiGetClassDevsW");
  auto enumInterfaces =
      libs->FSetupApi.Entry<decltype(::SetupDiEnumDeviceInterfaces)>("SetupDiEnumDeviceInterfaces");
  auto interfaceDetail = libs->FSetupApi.Entry<decltype(::SetupDiGetDeviceInterfaceDetailW)>(
      "SetupDiGetDeviceInterfaceDetailW");
  auto destroyList = libs->FSetupApi.Entry<decltype(::SetupDiDestroyDeviceInfoList)>(
      "SetupDiDestroyDeviceInfoList");
  auto hidGuid = libs->FHid.Entry<decltype(::HidD_GetHidGuid)>("HidD_GetHidGuid");
  auto attributes = libs->FHid.Entry<decltype(::HidD_GetAttributes)>("HidD_GetAttributes");
  auto preparsed = libs->FHid.Entry<decltype(::HidD_GetPreparsedData)>("HidD_GetPreparsedData");
  auto freePreparsed =
      libs->FHid.Entry<decltype(::HidD_FreePreparsedData)>("HidD_FreePreparsedData");
  auto caps = libs->FHid.Entry<decltype(::HidP_GetCaps)>("HidP_GetCaps");
  auto serial =
      libs->FHid.Entry<decltype(::HidD_GetSerialNumberString)>("HidD_GetSerialNumberString");
  if (!getClassDevs || !enumInterfaces || !interfaceDetail || !destroyList || !hidGuid ||
      !attributes || !preparsed || !freePreparsed || !caps || !serial)
    return std::nullopt;

  TWinHidApi api;
  api.FGetLastError = [] { return static_cast<TWinDword>(::GetLastError()); };
  api.FCreateFileW = [](const std::u16string& path, TWinDword access, TWinDword share,
                        TWinDword creation, TWinDword flags) {
    const std::wstring name(path.begin(), path.end());
    return W(::CreateFileW(name.c_str(), access, share, nullptr, creation, flags, nullptr));
  };
  api.FCloseHandle = [](TWinHandle h) { return ::CloseHandle(H(h)) != FALSE; };
  api.FCreateEventW = [] { return W(::CreateEventW(nullptr, TRUE, FALSE, nullptr)); };
  // With an OVERLAPPED the count argument is to be null; a request done at
  // once leaves its count in InternalHigh.
  api.FReadFile = [](TWinHandle h, void* buffer, TWinDword size, TWinDword* done,
                     TWinOverlapped* ov) {
    DWORD n = 0;
    const bool ok = ::ReadFile(H(h), buffer, size, ov ? nullptr : &n, O(ov)) != FALSE;
    *done = ov ? (ok ? static_cast<TWinDword>(ov->FInternalHigh) : 0) : n;
    return ok;
  };
  api.FWriteFile = [](TWinHandle h, const void* data, TWinDword size, TWinDword* done,
                      TWinOverlapped* ov) {
    DWORD n = 0;
    const bool ok = ::WriteFile(H(h), data, size, ov ? nullptr : &n, O(ov)) != FALSE;
    *done = ov ? (ok ? static_cast<TWinDword>(ov->FInternalHigh) : 0) : n;
    return ok;
  };
  api.FGetOverlappedResult = [](TWinHandle h, TWinOverlapped* ov, TWinDword* done, bool wait) {
    DWORD n = 0;
    const bool ok = ::GetOverlappedResult(H(h), O(ov), &n, wait ? TRUE : FALSE) != FALSE;
    *done = n;
    return ok;
  };
  api.FWaitForSingleObject = [](TWinHandle h, TWinDword ms) {
    return static_cast<TWinDword>(::WaitForSingleObject(H(h), ms));
  };
  api.FCancelIoEx = [](TWinHandle h, TWinOverlapped* ov) {
    return ::CancelIoEx(H(h), O(ov)) != FALSE;
  };

  api.FSetupDiGetClassDevsW = [libs, getClassDevs](const TWinGuid* guid, TWinDword flags) {
    return W(getClassDevs(G(guid), nullptr, nullptr, flags));
  };
  api.FSetupDiEnumDeviceInterfaces = [libs, enumInterfaces](TWinHandle set, const TWinGuid* guid,
                                                            TWinDword index,
                                                            TWinDeviceInterfaceData* data) {
    return enumInterfaces(H(set), nullptr, G(guid), index,
                          reinterpret_cast<SP_DEVICE_INTERFACE_DATA*>(data)) != FALSE;
  };
  api.FSetupDiGetDeviceInterfaceDetailW = [libs, interfaceDetail](
                                              TWinHandle set, TWinDeviceInterfaceData* data,
                                              void* detail, TWinDword size, TWinDword* required) {
    DWORD n = 0;
    const bool ok = interfaceDetail(H(set), reinterpret_cast<SP_DEVICE_INTERFACE_DATA*>(data),
                                    static_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(detail), size,
                                    required ? &n : nullptr, nullptr) != FALSE;
    if (required) *required = n;
    return ok;
  };
  api.FSetupDiDestroyDeviceInfoList = [libs, destroyList](TWinHandle set) {
    return destroyList(H(set)) != FALSE;
  };

  api.FHidDGetHidGuid = [libs, hidGuid](TWinGuid* guid) { hidGuid(G(guid)); };
  api.FHidDGetAttributes = [libs, attributes](TWinHandle h, TWinHiddAttributes* a) {
    return attributes(H(h), reinterpret_cast<HIDD_ATTRIBUTES*>(a)) != FALSE;
  };
  api.FHidDGetPreparsedData = [libs, preparsed](TWinHandle h, TWinHandle* out) {
    PHIDP_PREPARSED_DATA data = nullptr;
    const bool ok = preparsed(H(h), &data) != FALSE;
    *out = reinterpret_cast<TWinHandle>(data);
    return ok;
  };
  api.FHidDFreePreparsedData = [libs, freePreparsed](TWinHandle data) {
    return freePreparsed(reinterpret_cast<PHIDP_PREPARSED_DATA>(data)) != FALSE;
  };
  api.FHidPGetCaps = [libs, caps](TWinHandle data, TWinHidpCaps* out) {
    return static_cast<std::int32_t>(
        caps(reinterpret_cast<PHIDP_PREPARSED_DATA>(data), reinterpret_cast<HIDP_CAPS*>(out)));
  };
  api.FHidDGetSerialNumberString = [libs, serial](TWinHandle h, void* buffer, TWinDword size) {
    return serial(H(h), buffer, size) != FALSE;
  };

  auto registerFn = libs->FCfgMgr.Entry<std::remove_pointer_t<TCmRegisterNotification>>(
      "CM_Register_Notification");
  auto unregisterFn = libs->FCfgMgr.Entry<std::remove_pointer_t<TCmUnregisterNotification>>(
      "CM_Unregister_Notification");
  if (registerFn && unregisterFn) {
    api.FCmRegisterNotification = [libs, registerFn](const TWinGuid& interfaceClass,
                                                     TWinCmCallback callback,
                                                     TWinHandle* registration) {
      auto reg = std::make_unique<TCmRegistration>();
      reg->FCallback = std::move(callback);
      reg->FLibraries = libs;
      CM_NOTIFY_FILTER filter{};
      filter.cbSize = sizeof filter;
      filter.FilterType = CM_NOTIFY_FILTER_TYPE_DEVICEINTERFACE;
      filter.u.DeviceInterface.ClassGuid = *G(&interfaceClass);
      const CONFIGRET result = registerFn(&filter, reg.get(), CmNotified, &reg->FHandle);
      if (result == CR_SUCCESS) *registration = reinterpret_cast<TWinHandle>(reg.release());
      return static_cast<TWinDword>(result);
    };
    api.FCmUnregisterNotification = [libs, unregisterFn](TWinHandle registration) {
      std::unique_ptr<TCmRegistration> reg(reinterpret_cast<TCmRegistration*>(registration));
      return static_cast<TWinDword>(unregisterFn(reg->FHandle));
    };
  }
  return api;
}

}  // namespace

TWinHidApiLoader SystemWinHidApi() {
  return [] { return Load(); };
}

}  // namespace quenvar::win

#endif  // _WIN32
