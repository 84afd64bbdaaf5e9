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
  std::uint32_t FData1 = 0;
  std::uint16_t FData2 = 0;
  std::uint16_t FData3 = 0;
  std::uint8_t FData4[8] = {};

  bool operator==(const TWinGuid&) const = default;
};

// SP_DEVICE_INTERFACE_DATA
struct TWinDeviceInterfaceData {
  TWinDword FCbSize = 0;
  TWinGuid FInterfaceClassGuid;
  TWinDword FFlags = 0;
  std::uintptr_t FReserved = 0;
};

// SP_DEVICE_INTERFACE_DETAIL_DATA_W is a size followed by the path's UTF-16
// units up to a NUL; its cbSize is the size of the struct with one unit.
inline constexpr TWinDword kWinDetailPathOffset = 4;
inline constexpr TWinDword kWinDetailCbSize = sizeof(void*) == 8 ? 8 : 6;

// HIDD_ATTRIBUTES
struct TWinHiddAttributes {
  std::uint32_t FSize = 0;
  std::uint16_t FVendorID = 0;
  std::uint16_t FProductID = 0;
  std::uint16_t FVersionNumber = 0;
};

// HIDP_CAPS
struct TWinHidpCaps {
  std::uint16_t FUsage = 0;
  std::uint16_t FUsagePage = 0;
  std::uint16_t FInputReportByteLength = 0;
  std::uint16_t FOutputReportByteLength = 0;
  std::uint16_t FFeatureReportByteLength = 0;
  std::uint16_t FReserved[17] = {};
  std::uint16_t FCounts[10] = {};  // link collection nodes, button and value caps, data indices
};

// OVERLAPPED
struct TWinOverlapped {
  std::uintptr_t FInternal = 0;
  std::uintptr_t FInternalHigh = 0;
  TWinDword FOffset = 0;
  TWinDword FOffsetHigh = 0;
  TWinHandle FHEvent = 0;
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
  std::function<TWinDword()> FGetLastError;
  std::function<TWinHandle(const std::u16string& path, TWinDword access, TWinDword share,
                           TWinDword creation, TWinDword flags)>
      FCreateFileW;
  std::function<bool(TWinHandle)> FCloseHandle;
  // Manual-reset, not signalled; 0 on failure.
  std::function<TWinHandle()> FCreateEventW;
  std::function<bool(TWinHandle, void* buffer, TWinDword size, TWinDword* done, TWinOverlapped*)>
      FReadFile;
  std::function<bool(TWinHandle, const void* data, TWinDword size, TWinDword* done,
                     TWinOverlapped*)>
      FWriteFile;
  std::function<bool(TWinHandle, TWinOverlapped*, TWinDword* done, bool wait)> FGetOverlappedResult;
  std::function<TWinDword(TWinHandle, TWinDword milliseconds)> FWaitForSingleObject;
  std::function<bool(TWinHandle, TWinOverlapped*)> FCancelIoEx;

  // setupapi.dll
  std::function<TWinHandle(const TWinGuid* classGuid, TWinDword flags)> FSetupDiGetClassDevsW;
  std::function<bool(TWinHandle set, const TWinGuid* classGuid, TWinDword index,
                     TWinDeviceInterfaceData*)>
      FSetupDiEnumDeviceInterfaces;
  std::function<bool(TWinHandle set, TWinDeviceInterfaceData*, void* detail, TWinDword detailSize,
                     TWinDword* requiredSize)>
      FSetupDiGetDeviceInterfaceDetailW;
  std::function<bool(TWinHandle set)> FSetupDiDestroyDeviceInfoList;

  // hid.dll
  std::function<void(TWinGuid*)> FHidDGetHidGuid;
  std::function<bool(TWinHandle, TWinHiddAttributes*)> FHidDGetAttributes;
  std::function<bool(TWinHandle, TWinHandle* preparsed)> FHidDGetPreparsedData;
  std::function<bool(TWinHandle preparsed)> FHidDFreePreparsedData;
  std::function<std::int32_t(TWinHandle preparsed, TWinHidpCaps*)> FHidPGetCaps;
  // The string in UTF-16 with its NUL; false when the device has none.
  std::function<bool(TWinHandle, void* buffer, TWinDword size)> FHidDGetSerialNumberString;

  // cfgmgr32.dll from Windows 8 on; both empty where the system lacks them.
  std::function<TWinDword(const TWinGuid& interfaceClass, TWinCmCallback callback,
                          TWinHandle* registration)>
      FCmRegisterNotification;
  // Waits for callbacks still running; never call it from one.
  std::function<TWinDword(TWinHandle registration)> FCmUnregisterNotification;
};

// Gives the whole table or nothing: a library or entry point that is missing
// (other than the optional notification pair) makes the backend unbound.
using TWinHidApiLoader = std::function<std::optional<TWinHidApi>()>;

#ifdef _WIN32
// The system's own libraries, loaded from the system folder when called.
TWinHidApiLoader SystemWinHidApi();
#endif

}  // namespace quenvar::win
