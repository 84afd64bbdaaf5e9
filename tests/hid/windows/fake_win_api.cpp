#include "fake_win_api.h"

namespace quenvar::test {

TWinHidApi TFakeWin::Api() {
  TWinHidApi a;
  using G = std::lock_guard<std::mutex>;
  a.GetLastError = [] { return tFakeLastError; };
  a.CreateFileW = [this](const std::u16string& path, TWinDword access, TWinDword share,
                         TWinDword creation, TWinDword flags) {
    G g(M);
    OpenLog.push_back(TOpen{path, access});
    auto d = Devices.find(path);
    if (share != (kFileShareRead | kFileShareWrite) || creation != kOpenExisting)
      return Fail(kErrorInvalidParameter), kWinInvalidHandle;
    if (d == Devices.end() || !d->second.Present)
      return Fail(kErrorFileNotFound), kWinInvalidHandle;
    if (access != 0 && d->second.ReadWriteDenied)
      return Fail(kErrorAccessDenied), kWinInvalidHandle;
    Files[Next] = TFile{path, access, (flags & kFileFlagOverlapped) != 0};
    return Next++;
  };
  a.CloseHandle = [this](TWinHandle h) {
    G g(M);
    // Closing a handle under a pending read would free what the read still uses.
    if (Files.count(h) && Files[h].Ov) return Fail(kErrorInvalidParameter);
    return Files.erase(h) + Events.erase(h) == 1 || Fail(kErrorInvalidHandle);
  };
  a.CreateEventW = [this] {
    G g(M);
    Events[Next] = false;
    return Next++;
  };
  a.ReadFile = [this](TWinHandle h, void* buffer, TWinDword size, TWinDword* done,
                      TWinOverlapped* ov) {
    G g(M);
    TDevice* d = Live(h, kGenericRead);
    if (!d) return false;
    TFile& f = Files[h];
    // Without FILE_FLAG_OVERLAPPED the read would block however long the device is silent.
    if (!ov || !f.Overlapped || f.Ov) return Fail(kErrorInvalidParameter);
    Events[ov->hEvent] = false;
    f.Ov = ov;
    f.Buffer = static_cast<std::uint8_t*>(buffer);
    f.Size = size;
    ov->Internal = kPending;
    if (!d->Inputs.empty()) {
      Finish(f, 0, &d->Inputs.front());
      d->Inputs.pop_front();
      *done = static_cast<TWinDword>(ov->InternalHigh);
      return true;
    }
    if (d->ReadError) Finish(f, d->ReadError, nullptr);
    return Fail(kErrorIoPending);
  };
  a.WriteFile = [this](TWinHandle h, const void* data, TWinDword size, TWinDword* done,
                       TWinOverlapped* ov) {
    G g(M);
    TDevice* d = Live(h, kGenericWrite);
    if (!d) return false;
    if (d->WriteError) return Fail(d->WriteError);
    auto p = static_cast<const std::uint8_t*>(data);
    d->Writes.emplace_back(p, p + size);
    if (d->Echo) Deliver(Files[h].Path, d->Writes.back());
    *done = size;
    if (ov) Events[ov->hEvent] = true;
    return true;
  };
  a.GetOverlappedResult = [this](TWinHandle, TWinOverlapped* ov, TWinDword* done, bool wait) {
    std::unique_lock<std::mutex> g(M);
    if (!wait && ov->Internal == kPending) return Fail(996);
    Changed.wait(g, [ov] { return ov->Internal != kPending; });
    *done = static_cast<TWinDword>(ov->InternalHigh);
    return ov->Internal == 0 || Fail(static_cast<TWinDword>(ov->Internal));
  };
  a.WaitForSingleObject = [this](TWinHandle event, TWinDword ms) {
    std::unique_lock<std::mutex> g(M);
    if (!Events.count(event)) return kWaitFailed;
    const bool set =
        Changed.wait_for(g, std::chrono::milliseconds(ms), [&] { return Events[event]; });
    return set ? kWaitObject0 : kWaitTimeout;
  };
  a.CancelIoEx = [this](TWinHandle h, TWinOverlapped* ov) {
    G g(M);
    auto f = Files.find(h);
    if (f == Files.end() || !f->second.Ov || (ov && ov != f->second.Ov))
      return Fail(kErrorNotFound);
    TBytes& late = Devices[f->second.Path].ArrivesOnCancel;
    if (late.empty()) return Finish(f->second, kErrorOperationAborted, nullptr), true;
    Finish(f->second, 0, &late);
    late.clear();
    return true;
  };

  a.SetupDiGetClassDevsW = [this](const TWinGuid* guid, TWinDword flags) {
    G g(M);
    if (*guid != kHidGuid || flags != (kDigcfPresent | kDigcfDeviceInterface))
      return Fail(kErrorInvalidParameter), kWinInvalidHandle;
    auto& paths = Sets[Next];
    for (const auto& [path, d] : Devices)
      if (d.Present) paths.push_back(path);
    return Next++;
  };
  a.SetupDiEnumDeviceInterfaces = [this](TWinHandle set, const TWinGuid* guid, TWinDword index,
                                         TWinDeviceInterfaceData* data) {
    G g(M);
    if (*guid != kHidGuid || data->cbSize != sizeof *data) return Fail(kErrorInvalidParameter);
    if (index >= Sets.at(set).size()) return Fail(kErrorNoMoreItems);
    data->InterfaceClassGuid = kHidGuid;
    data->Reserved = index;
    return true;
  };
  a.SetupDiGetDeviceInterfaceDetailW = [this](TWinHandle set, TWinDeviceInterfaceData* data,
                                              void* detail, TWinDword size, TWinDword* required) {
    G g(M);
    const std::u16string path = Sets.at(set).at(data->Reserved);
    if (Devices[path].DetailFails) return Fail(kErrorNotFound);
    const auto need = static_cast<TWinDword>(kWinDetailPathOffset + 2 * (path.size() + 1));
    if (required) *required = need;
    if (!detail || size < need) return Fail(kErrorInsufficientBuffer);
    TWinDword cbSize = 0;
    std::memcpy(&cbSize, detail, sizeof cbSize);
    if (cbSize != kWinDetailCbSize) return Fail(1784);  // ERROR_INVALID_USER_BUFFER
    std::memcpy(static_cast<char*>(detail) + kWinDetailPathOffset, path.c_str(), need - 4);
    return true;
  };
  a.SetupDiDestroyDeviceInfoList = [this](TWinHandle set) {
    G g(M);
    return Sets.erase(set) == 1;
  };

  a.HidD_GetHidGuid = [](TWinGuid* guid) { *guid = kHidGuid; };
  a.HidD_GetAttributes = [this](TWinHandle h, TWinHiddAttributes* attrs) {
    G g(M);
    TDevice* d = Live(h, 0);
    if (!d || attrs->Size != sizeof *attrs) return d ? Fail(kErrorInvalidParameter) : false;
    attrs->VendorID = d->Vendor;
    attrs->ProductID = d->Product;
    attrs->VersionNumber = 0x0100;
    return true;
  };
  a.HidD_GetSerialNumberString = [this](TWinHandle h, void* buffer, TWinDword size) {
    G g(M);
    TDevice* d = Live(h, 0);
    if (!d) return false;
    if (d->Serial.empty()) return Fail(kErrorInvalidParameter);  // the device has no string
    const std::size_t bytes = 2 * (d->Serial.size() + 1);
    if (size < bytes) return Fail(kErrorInsufficientBuffer);
    std::memcpy(buffer, d->Serial.c_str(), bytes);
    return true;
  };
  a.HidD_GetPreparsedData = [this](TWinHandle h, TWinHandle* preparsed) {
    G g(M);
    if (!Live(h, 0)) return false;
    Preparsed.insert(*preparsed = Next++);
    return true;
  };
  a.HidD_FreePreparsedData = [this](TWinHandle preparsed) {
    G g(M);
    return Preparsed.erase(preparsed) == 1;
  };
  a.HidP_GetCaps = [this](TWinHandle preparsed, TWinHidpCaps* caps) {
    G g(M);
    if (!Preparsed.count(preparsed)) return std::int32_t{-1072627711};  // invalid preparsed data
    *caps = TWinHidpCaps{};
    caps->Usage = 1;
    caps->UsagePage = 0xFF00;
    caps->InputReportByteLength = caps->OutputReportByteLength = 65;
    return kHidpStatusSuccess;
  };

  if (Cm == TCm::Missing) return a;
  a.CM_Register_Notification = [this](const TWinGuid& guid, TWinCmCallback cb, TWinHandle* reg) {
    G g(M);
    if (Cm == TCm::Refused || guid != kHidGuid) return TWinDword{0x34};  // CR_CALL_NOT_IMPLEMENTED
    Callback = std::move(cb);
    *reg = 0x77;
    return kCrSuccess;
  };
  a.CM_Unregister_Notification = [this](TWinHandle) {
    G g(M);
    Callback = nullptr;
    return kCrSuccess;
  };
  return a;
}

}  // namespace quenvar::test
