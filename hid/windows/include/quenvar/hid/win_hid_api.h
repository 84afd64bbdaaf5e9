#pragma once
// Every system call of the Windows HID backend goes through this table, so
// that the backend's logic builds and is tested on any platform against a
// table of fakes. The Windows types are mirrored by small typedefs and
// structs; on Windows the real table is checked against the system headers
// (layouts and constants) where it is filled.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace quenvar::win {

using TWinDword = std::uint32_t;
// HANDLE, HDEVINFO, PHIDP_PREPARSED_DATA and HCMNOTIFICATION alike.
using TWinHandle = std::uintptr_t;
inline constexpr TWinHandle kWinInvalidHandle = ~TWinHandle{0};

struct TWinGuid {
  std::uint32_t Data1 = 0;
  std::uint16_t Data2 = 0;
  std::uint16_t Data3 = 0;
  std::uint8_t Data4[8] = {};

  bool operator==(const TWinGuid&) const = default;
};

// SP_DEVICE_INTERFACE_DATA
struct TWinDeviceInterfaceData {
  TWinDword cbSize = 0;
  TWinGuid InterfaceClassGuid;
  TWinDword Flags = 0;
  std::uintptr_t Reserved = 0;
};

// SP_DEVICE_INTERFACE_DETAIL_DATA_W is a size followed by the path's UTF-16
// units up to a NUL; its cbSize is the size of the struct with one unit.
inline constexpr TWinDword kWinDetailPathOffset = 4;
inline constexpr TWinDword kWinDetailCbSize = sizeof(void*) == 8 ? 8 : 6;

// HIDD_ATTRIBUTES
struct TWinHiddAttributes {
  std::uint32_t Size = 0;
  std::uint16_t VendorID = 0;
  std::uint16_t ProductID = 0;
  std::uint16_t VersionNumber = 0;
};

// HIDP_CAPS
struct TWinHidpCaps {
  std::uint16_t Usage = 0;
  std::uint16_t UsagePage = 0;
  std::uint16_t InputReportByteLength = 0;
  std::uint16_t OutputReportByteLength = 0;
  std::uint16_t FeatureReportByteLength = 0;
  std::uint16_t Reserved[17] = {};
  std::uint16_t Counts[10] = {};  // link collection nodes, button and value caps, data indices
};

// OVERLAPPED
struct TWinOverlapped {
  std::uintptr_t Internal = 0;
  std::uintptr_t InternalHigh = 0;
  TWinDword Offset = 0;
  TWinDword OffsetHigh = 0;
  TWinHandle hEvent = 0;
};

inline constexpr TWinDword kErrorSuccess = 0;
inline constexpr TWinDword kErrorFileNotFound = 2;
inline constexpr TWinDword kErrorPathNotFound = 3;
inline constexpr TWinDword kErrorAccessDenied = 5;
inline constexpr TWinDword kErrorInvalidHandle = 6;
inline constexpr TWinDword kErrorNotEnoughMemory = 8;
inline constexpr TWinDword kErrorOutOfMemory = 14;
inline constexpr TWinDword kErrorGenFailure = 31;
inline constexpr TWinDword kErrorSharingViolation = 32;
inline constexpr TWinDword kErrorInvalidParameter = 87;
inline constexpr TWinDword kErrorInsufficientBuffer = 122;
inline constexpr TWinDword kErrorNoMoreItems = 259;
inline constexpr TWinDword kErrorOperationAborted = 995;
inline constexpr TWinDword kErrorIoPending = 997;
inline constexpr TWinDword kErrorDeviceNotConnected = 1167;
inline constexpr TWinDword kErrorNotFound = 1168;

inline constexpr TWinDword kGenericRead = 0x80000000u;
inline constexpr TWinDword kGenericWrite = 0x40000000u;
inline constexpr TWinDword kFileShareRead = 0x1;
inline constexpr TWinDword kFileShareWrite = 0x2;
inline constexpr TWinDword kOpenExisting = 3;
inline constexpr TWinDword kFileFlagOverlapped = 0x40000000u;

inline constexpr TWinDword kDigcfPresent = 0x2;
inline constexpr TWinDword kDigcfDeviceInterface = 0x10;

inline constexpr TWinDword kWaitObject0 = 0;
inline constexpr TWinDword kWaitTimeout = 258;
inline constexpr TWinDword kWaitFailed = 0xFFFFFFFFu;

inline constexpr std::int32_t kHidpStatusSuccess = 0x00110000;
// A USB string descriptor holds at most 126 UTF-16 units; one more for the NUL.
inline constexpr TWinDword kHidSerialBytes = 2 * 127;

inline constexpr TWinDword kCrSuccess = 0;
inline constexpr TWinDword kCmNotifyActionInterfaceArrival = 0;
inline constexpr TWinDword kCmNotifyActionInterfaceRemoval = 1;

// Called on a system thread with the action and the interface's symbolic link.
using TWinCmCallback = std::function<void(TWinDword action, const std::u16string& symbolicLink)>;

// Parameters the backend always passes as null (security attributes, template
// file, enumerator, window, device info data) are left out.
struct TWinHidApi {
  // kernel32 (GetLastError is per thread, as on Windows)
  std::function<TWinDword()> GetLastError;
  std::function<TWinHandle(const std::u16string& path, TWinDword access, TWinDword share,
                           TWinDword creation, TWinDword flags)>
      CreateFileW;
  std::function<bool(TWinHandle)> CloseHandle;
  // Manual-reset, not signalled; 0 on failure.
  std::function<TWinHandle()> CreateEventW;
  std::function<bool(TWinHandle, void* buffer, TWinDword size, TWinDword* done, TWinOverlapped*)>
      ReadFile;
  std::function<bool(TWinHandle, const void* data, TWinDword size, TWinDword* done,
                     TWinOverlapped*)>
      WriteFile;
  std::function<bool(TWinHandle, TWinOverlapped*, TWinDword* done, bool wait)> GetOverlappedResult;
  std::function<TWinDword(TWinHandle, TWinDword milliseconds)> WaitForSingleObject;
  std::function<bool(TWinHandle, TWinOverlapped*)> CancelIoEx;

  // setupapi.dll
  std::function<TWinHandle(const TWinGuid* classGuid, TWinDword flags)> SetupDiGetClassDevsW;
  std::function<bool(TWinHandle set, const TWinGuid* classGuid, TWinDword index,
                     TWinDeviceInterfaceData*)>
      SetupDiEnumDeviceInterfaces;
  std::function<bool(TWinHandle set, TWinDeviceInterfaceData*, void* detail, TWinDword detailSize,
                     TWinDword* requiredSize)>
      SetupDiGetDeviceInterfaceDetailW;
  std::function<bool(TWinHandle set)> SetupDiDestroyDeviceInfoList;

  // hid.dll
  std::function<void(TWinGuid*)> HidD_GetHidGuid;
  std::function<bool(TWinHandle, TWinHiddAttributes*)> HidD_GetAttributes;
  std::function<bool(TWinHandle, TWinHandle* preparsed)> HidD_GetPreparsedData;
  std::function<bool(TWinHandle preparsed)> HidD_FreePreparsedData;
  std::function<std::int32_t(TWinHandle preparsed, TWinHidpCaps*)> HidP_GetCaps;
  // The string in UTF-16 with its NUL; false when the device has none.
  std::function<bool(TWinHandle, void* buffer, TWinDword size)> HidD_GetSerialNumberString;

  // cfgmgr32.dll from Windows 8 on; both empty where the system lacks them.
  std::function<TWinDword(const TWinGuid& interfaceClass, TWinCmCallback callback,
                          TWinHandle* registration)>
      CM_Register_Notification;
  // Waits for callbacks still running; never call it from one.
  std::function<TWinDword(TWinHandle registration)> CM_Unregister_Notification;
};

// Gives the whole table or nothing: a library or entry point that is missing
// (other than the optional notification pair) makes the backend unbound.
using TWinHidApiLoader = std::function<std::optional<TWinHidApi>()>;

#ifdef _WIN32
// The system's own libraries, loaded from the system folder when called.
TWinHidApiLoader SystemWinHidApi();
#endif

}  // namespace quenvar::win
