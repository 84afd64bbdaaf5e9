#include "fake_win_api.h"

namespace quenvar::test {

TWinHidApi TFakeWin::Api() {
  TWinHidApi a;
  using G = std::lock_guard<std::mutex>;
  a.FGetLastError = [] { return tFakeLastError; };
  a.FCreateFileW = [this](const std::u16string& path, TWinDword access, TWinDword share,
                          TWinDword creation, TWinDword flags) {
    G g(FM);
    FOpenLog.push_back(TOpen{path, access});
    auto d = FDevices.find(path);
    if (share != (kFileShareRead | kFileShareWrite) || creation != kOpenExisting)
      return Fail(kErrorInvalidParameter), kWinInvalidHandle;
    if (d == FDevices.end() || !d->second.FPresent)
      return Fail(kErrorFileNotFound), kWinInvalidHandle;
    if (access != 0 && d->second.FReadWriteDenied)
      return Fail(kErrorAccessDenied), kWinInvalidHandle;
    FFiles[FNext] = TFile{path, access, (flags & kFileFlagOverlapped) != 0};
    return FNext++;
  };
  a.FCloseHandle = [this](TWinHandle h) {
    G g(FM);
    // Closing a handle under a pending read would free what the read still uses.
    if (FFiles.count(h) && FFiles[h].FOv) return Fail(kErrorInvalidParameter);
    return FFiles.erase(h) + FEvents.erase(h) == 1 || Fail(kErrorInvalidHandle);
  };
  a.FCreateEventW = [this] {
    G g(FM);
    FEvents[FNext] = false;
    return FNext++;
  };
  a.FReadFile = [this](TWinHandle h, void* buffer, TWinDword size, TWinDword* done,
                       TWinOverlapped* ov) {
    G g(FM);
    TDevice* d = Live(h, kGenericRead);
    if (!d) return false;
    TFile& f = FFiles[h];
    // Without FILE_FLAG_OVERLAPPED the read would block however long the device is silent.
    if (!ov || !f.FOverlapped || f.FOv) return Fail(kErrorInvalidParameter);
    FEvents[ov->FHEvent] = false;
    f.FOv = ov;
    f.FBuffer = static_cast<std::uint8_t*>(buffer);
    f.FSize = size;
    ov->FInternal = kPending;
    if (!d->FInputs.empty()) {
      Finish(f, 0, &d->FInputs.front());
      d->FInputs.pop_front();
      *done = static_cast<TWinDword>(ov->FInternalHigh);
      return true;
    }
    if (d->FReadError) Finish(f, d->FReadError, nullptr);
    return Fail(kErrorIoPending);
  };
  a.FWriteFile = [this](TWinHandle h, const void* data, TWinDword size, TWinDword* done,
                        TWinOverlapped* ov) {
    G g(FM);
    TDevice* d = Live(h, kGenericWrite);
    if (!d) return false;
    if (d->FWriteError) return Fail(d->FWriteError);
    auto p = static_cast<const std::uint8_t*>(data);
    d->FWrites.emplace_back(p, p + size);
    if (d->FEcho) Deliver(FFiles[h].FPath, d->FWrites.back());
    *done = size;
    if (ov) FEvents[ov->FHEvent] = true;
    return true;
  };
  a.FGetOverlappedResult = [this](TWinHandle, TWinOverlapped* ov, TWinDword* done, bool wait) {
    std::unique_lock<std::mutex> g(FM);
    if (!wait && ov->FInternal == kPending) return Fail(996);
    FChanged.wait(g, [ov] { return ov->FInternal != kPending; });
    *done = static_cast<TWinDword>(ov->FInternalHigh);
    return ov->FInternal == 0 || Fail(static_cast<TWinDword>(ov->FInternal));
  };
  a.FWaitForSingleObject = [this](TWinHandle event, TWinDword ms) {
    std::unique_lock<std::mutex> g(FM);
    if (!FEvents.count(event)) return kWaitFailed;
    const bool set =
        FChanged.wait_for(g, std::chrono::milliseconds(ms), [&] { return FEvents[event]; });
    return set ? kWaitObject0 : kWaitTimeout;
  };
  a.FCancelIoEx = [this](TWinHandle h, TWinOverlapped* ov) {
    G g(FM);
    auto f = FFiles.find(h);
    if (f == FFiles.end() || !f->second.FOv || (ov && ov != f->second.FOv))
      return Fail(kErrorNotFound);
    TBytes& late = FDevices[f->second.FPath].FArrivesOnCancel;
    if (late.empty()) return Finish(f->second, kErrorOperationAborted, nullptr), true;
    Finish(f->second, 0, &late);
    late.clear();
    return true;
  };

  a.FSetupDiGetClassDevsW = [this](const TWinGuid* guid, TWinDword flags) {
    G g(FM);
    if (*guid != kHidGuid || flags != (kDigcfPresent | kDigcfDeviceInterface))
      return Fail(kErrorInvalidParameter), kWinInvalidHandle;
    auto& paths = FSets[FNext];
    for (const auto& [path, d] : FDevices)
      if (d.FPresent) paths.push_back(path);
    return FNext++;
  };
  a.FSetupDiEnumDeviceInterfaces = [this](TWinHandle set, const TWinGuid* guid, TWinDword index,
                                          TWinDeviceInterfaceData* data) {
    G g(FM);
    if (*guid != kHidGuid || data->FCbSize != sizeof *data) return Fail(kErrorInvalidParameter);
    if (index >= FSets.at(set).size()) return Fail(kErrorNoMoreItems);
    data->FInterfaceClassGuid = kHidGuid;
    data->FReserved = index;
    return true;
  };
  a.FSetupDiGetDeviceInterfaceDetailW = [this](TWinHandle set, TWinDeviceInterfaceData* data,
                                               void* detail, TWinDword size, TWinDword* required) {
    G g(FM);
    const std::u16string path = FSets.at(set).at(data->FReserved);
    if (FDevices[path].FDetailFails) return Fail(kErrorNotFound);
    const auto need = static_cast<TWinDword>(kWinDetailPathOffset + 2 * (path.size() + 1));
    if (required) *required = need;
    if (!detail || size < need) return Fail(kErrorInsufficientBuffer);
    TWinDword cbSize = 0;
    std::memcpy(&cbSize, detail, sizeof cbSize);
    if (cbSize != kWinDetailCbSize) return Fail(1784);  // ERROR_INVALID_USER_BUFFER
    std::memcpy(static_cast<char*>(detail) + kWinDetailPathOffset, path.c_str(), need - 4);
    return true;
  };
  a.FSetupDiDestroyDeviceInfoList = [this](TWinHandle set) {
    G g(FM);
    return FSets.erase(set) == 1;
  };

  a.FHidDGetHidGuid = [](TWinGuid* guid) { *guid = kHidGuid; };
  a.FHidDGetAttributes = [this](TWinHandle h, TWinHiddAttributes* attrs) {
    G g(FM);
    TDevice* d = Live(h, 0);
    if (!d || attrs->FSize != sizeof *attrs) return d ? Fail(kErrorInvalidParameter) : false;
    attrs->FVendorID = d->FVendor;
    attrs->FProductID = d->FProduct;
    attrs->FVersionNumber = 0x0100;
    return true;
  };
  a.FHidDGetSerialNumberString = [this](TWinHandle h, void* buffer, TWinDword size) {
    G g(FM);
    TDevice* d = Live(h, 0);
    if (!d) return false;
    if (d->FSerial.empty()) return Fail(kErrorInvalidParameter);  // the device has no string
    const std::size_t bytes = 2 * (d->FSerial.size() + 1);
    if (size < bytes) return Fail(kErrorInsufficientBuffer);
    std::memcpy(buffer, d->FSerial.c_str(), bytes);
    return true;
  };
  a.FHidDGetPreparsedData = [this](TWinHandle h, TWinHandle* preparsed) {
    G g(FM);
    if (!Live(h, 0)) return false;
    FPreparsed.insert(*preparsed = FNext++);
    return true;
  };
  a.FHidDFreePreparsedData = [this](TWinHandle preparsed) {
    G g(FM);
    return FPreparsed.erase(preparsed) == 1;
  };
  a.FHidPGetCaps = [this](TWinHandle preparsed, TWinHidpCaps* caps) {
    G g(FM);
    if (!FPreparsed.count(preparsed)) return std::int32_t{-1072627711};  // invalid preparsed data
    *caps = TWinHidpCaps{};
    caps->FUsage = 1;
    caps->FUsagePage = 0xFF00;
    caps->FInputReportByteLength = caps->FOutputReportByteLength = 65;
    return kHidpStatusSuccess;
  };

  if (FCm == TCm::Missing) return a;
  a.FCmRegisterNotification = [this](const TWinGuid& guid, TWinCmCallback cb, TWinHandle* reg) {
    G g(FM);
    if (FCm == TCm::Refused || guid != kHidGuid) return TWinDword{0x34};  // CR_CALL_NOT_IMPLEMENTED
    FCallback = std::move(cb);
    *reg = 0x77;
    return kCrSuccess;
  };
  a.FCmUnregisterNotification = [this](TWinHandle) {
    G g(FM);
    FCallback = nullptr;
    return kCrSuccess;
  };
  return a;
}

}  // namespace quenvar::test
