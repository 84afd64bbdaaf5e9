#include "quenvar/hid/jv_hid_device.h"

#include <cerrno>

#include "hid_hand_over_queue.h"
#include "quenvar/hid/jv_hid_device_controller.h"

namespace quenvar {

TJvHidDevice::TJvHidDevice(std::unique_ptr<TJvHidPnPInfo> info, TJvHidDeviceController* controller,
                           std::shared_ptr<IHidBackend> backend, TJvHidPostFn post)
    : FController(controller),
      FBackend(std::move(backend)),
      FPost(std::move(post)),
      FPnPInfo(std::move(info)),
      FHandOvers(std::make_shared<THidHandOverQueue>()) {}

TResult<std::unique_ptr<TJvHidDevice>> TJvHidDevice::Create(std::unique_ptr<TJvHidPnPInfo> info,
                                                            TJvHidDeviceController* controller,
                                                            std::shared_ptr<IHidBackend> backend,
                                                            TJvHidPostFn post) {
  std::unique_ptr<TJvHidDevice> dev(
      new TJvHidDevice(std::move(info), controller, std::move(backend), std::move(post)));
  if (controller) {
    dev->FData = controller->OnDeviceData();
    dev->FUnplug = controller->OnDeviceUnplug();
  }
  IHidBackend& be = *dev->FBackend;
  const std::string& path = dev->FPnPInfo->FDevicePath;

  THidHandle handle;
  auto rw = be.Open(path, THidAccess::ReadWrite);
  dev->FReadWriteAccess = rw.Ok();
  int openError = 0;
  if (rw) {
    handle = *rw;
  } else {
    dev->FReadWriteError = rw.Error().FCode;
    auto query = be.Open(path, THidAccess::QueryOnly);
    if (query) {
      handle = *query;
    } else {
      openError = query.Error().FCode;
    }
  }
  if (!handle.IsValid()) return TError{TErrorKind::Device, kHidDeviceCannotBeOpened, openError};

  auto attrs = be.GetAttributes(handle);
  be.Close(handle);
  if (!attrs) return TError{TErrorKind::Device, kHidDeviceCannotBeIdentified, attrs.Error().FCode};
  dev->FAttributes = *attrs;
  return dev;
}

// Only a failed allocation or mutex could throw here; ending the program then is
// the right outcome for a destructor.
TJvHidDevice::~TJvHidDevice() {  // NOLINT(bugprone-exception-escape)
  TJvHidDataEvent data = FData;
  TJvHidUnplugEvent unplug = FUnplug;
  SetOnData(nullptr);
  FUnplug = nullptr;
  CloseAllHandles();
  {
    std::lock_guard<std::mutex> g(FHandleLock);
    FCapsFetched = false;
  }
  if (FController) FController->DeviceReleased(*this, std::move(data), std::move(unplug));
}

bool TJvHidDevice::OpenShared() {
  // Caller holds HandleLock.
  if (FSharedHandle.IsValid()) return true;
  if (!PluggedIn() || !Claimed()) return false;
  auto rw = FBackend->Open(FPnPInfo->FDevicePath, THidAccess::ReadWrite);
  FReadWriteAccess = rw.Ok();
  if (rw) {
    FReadWriteError = 0;
    FSharedHandle = *rw;
    return true;
  }
  FReadWriteError = rw.Error().FCode;
  auto query = FBackend->Open(FPnPInfo->FDevicePath, THidAccess::QueryOnly);
  if (query) FSharedHandle = *query;
  return FSharedHandle.IsValid();
}

void TJvHidDevice::CloseShared() {
  // Caller holds HandleLock.
  if (FSharedHandle.IsValid()) FBackend->Close(FSharedHandle);
  FSharedHandle = THidHandle{};
}

void TJvHidDevice::CloseAllHandles() {
  std::lock_guard<std::mutex> g(FHandleLock);
  CloseShared();
  if (FReadHandle.IsValid()) FBackend->Close(FReadHandle);
  FReadHandle = THidHandle{};
  if (FWriteHandle.IsValid()) FBackend->Close(FWriteHandle);
  FWriteHandle = THidHandle{};
}

THidCaps TJvHidDevice::Capabilities() {
  std::lock_guard<std::mutex> g(FHandleLock);
  if (!FCapsFetched && PluggedIn() && Claimed()) {
    const bool wasOpen = FSharedHandle.IsValid();
    if (OpenShared()) {
      auto caps = FBackend->GetCapabilities(FSharedHandle);
      if (caps) {
        FCaps = *caps;
        FCapsFetched = true;
      }
      if (!wasOpen) CloseShared();
    }
  }
  return FCapsFetched ? FCaps : THidCaps{};
}

bool TJvHidDevice::WriteReport(const void* buffer, std::size_t length, std::size_t& written) {
  written = 0;
  std::lock_guard<std::mutex> g(FHandleLock);
  if (!OpenShared()) return false;
  // A query-only handle must never see a write.
  if (!FReadWriteAccess) return false;
  auto result = FBackend->Write(FSharedHandle, buffer, length);
  if (!result) return false;
  written = *result;
  return true;
}

void TJvHidDevice::SetReaderPollTime(int ms) {
  if (ms >= 10 && ms <= 10000) FReaderPollTime.store(ms);
}

void TJvHidDevice::SetOnData(TJvHidDataEvent handler) {
  if (!handler) StopReader();
  FData = std::move(handler);
  StartReaderIfReady();
}

void TJvHidDevice::SetOnDataError(TJvHidDataErrorEvent handler) {
  FDataError = std::move(handler);
}

void TJvHidDevice::SetOnUnplug(TJvHidUnplugEvent handler) {
  FUnplug = std::move(handler);
}

void TJvHidDevice::MarkUnplugged() {
  CloseAllHandles();
  FPluggedIn = false;
  if (FUnplug) {
    TJvHidUnplugEvent handler = FUnplug;
    handler(*this);
  }
  FUnplug = nullptr;
}

void TJvHidDevice::StartReaderIfReady() {
  if (!FData || !PluggedIn() || !Claimed() || !FReadWriteAccess || FReader) return;
  const std::size_t size = Capabilities().FInputReportByteLength;
  // hidraw queues input only for handles already open when it arrives: open the
  // read handle before anything can be written, or the first reply may be lost.
  // A failure here is retried, and reported, by the reader itself.
  (void)ReaderHandle();
  FReader = std::make_unique<TJvHidDeviceReadThread>(*this, size);
  FReader->Start();
}

void TJvHidDevice::StopReader() {
  if (!FReader) return;
  FReader->RequestStop();
  // Stopped from inside one of this device's own hand-overs: that call is the
  // one the reader waits for, so let the reader go on before waiting for it.
  FHandOvers->ReleaseRunning();
  FHandOvers->ServeUntil([this] { return FReader->Finished(); });
  FReader->Join();
  FReader.reset();
}

TResult<THidHandle> TJvHidDevice::ReaderHandle() {
  std::lock_guard<std::mutex> g(FHandleLock);
  if (FReadHandle.IsValid()) return FReadHandle;
  if (!PluggedIn() || !Claimed()) return TError{TErrorKind::Device, "device unplugged", ENODEV};
  auto h = FBackend->Open(FPnPInfo->FDevicePath, THidAccess::Read);
  if (!h) return h.Error();
  FReadHandle = *h;
  return FReadHandle;
}

std::uint16_t TJvHidDevice::CachedInputLength() {
  std::lock_guard<std::mutex> g(FHandleLock);
  return FCapsFetched ? FCaps.FInputReportByteLength : 0;
}

bool TJvHidDevice::HandOverData(const std::uint8_t* report, std::size_t bytes) {
  return FHandOvers->HandOver(
      [this, report, bytes] {
        // A copy: the handler may release the device, and with it FData.
        const TJvHidDataEvent handler = FData;
        if (handler) handler(*this, report[0], report + 1, static_cast<std::uint16_t>(bytes - 1));
      },
      FPost);
}

bool TJvHidDevice::HandOverError(std::uint32_t error) {
  return FHandOvers->HandOver(
      [this, error] {
        const TJvHidDataErrorEvent handler = FDataError;
        if (handler) handler(*this, error);
      },
      FPost);
}

}  // namespace quenvar
