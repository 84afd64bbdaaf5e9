#include "quenvar/hid/jv_hid_device.h"

#include <cerrno>

#include "hid_hand_over_queue.h"
#include "quenvar/hid/jv_hid_device_controller.h"

namespace quenvar {

TJvHidDevice::TJvHidDevice(std::unique_ptr<TJvHidPnPInfo> info, TJvHidDeviceController* controller,
                           std::shared_ptr<IHidBackend> backend, TJvHidPostFn post)
    : FController(controller),
      Backend(std::move(backend)),
      Post(std::move(post)),
      FPnPInfo(std::move(info)),
      HandOvers(std::make_shared<THidHandOverQueue>()) {}

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
  IHidBackend& be = *dev->Backend;
  const std::string& path = dev->FPnPInfo->DevicePath;

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

TJvHidDevice::~TJvHidDevice() {
  TJvHidDataEvent data = FData;
  TJvHidUnplugEvent unplug = FUnplug;
  SetOnData(nullptr);
  FUnplug = nullptr;
  CloseAllHandles();
  {
    std::lock_guard<std::mutex> g(HandleLock);
    CapsFetched = false;
  }
  if (FController) FController->DeviceReleased(*this, std::move(data), std::move(unplug));
}

bool TJvHidDevice::OpenShared() {
  // Caller holds HandleLock.
  if (SharedHandle.IsValid()) return true;
  if (!PluggedIn() || !Claimed()) return false;
  auto rw = Backend->Open(FPnPInfo->DevicePath, THidAccess::ReadWrite);
  FReadWriteAccess = rw.Ok();
  if (rw) {
    FReadWriteError = 0;
    SharedHandle = *rw;
    return true;
  }
  FReadWriteError = rw.Error().FCode;
  auto query = Backend->Open(FPnPInfo->DevicePath, THidAccess::QueryOnly);
  if (query) SharedHandle = *query;
  return SharedHandle.IsValid();
}

void TJvHidDevice::CloseShared() {
  // Caller holds HandleLock.
  if (SharedHandle.IsValid()) Backend->Close(SharedHandle);
  SharedHandle = THidHandle{};
}

void TJvHidDevice::CloseAllHandles() {
  std::lock_guard<std::mutex> g(HandleLock);
  CloseShared();
  if (ReadHandle.IsValid()) Backend->Close(ReadHandle);
  ReadHandle = THidHandle{};
  if (WriteHandle.IsValid()) Backend->Close(WriteHandle);
  WriteHandle = THidHandle{};
}

THidCaps TJvHidDevice::Capabilities() {
  std::lock_guard<std::mutex> g(HandleLock);
  if (!CapsFetched && PluggedIn() && Claimed()) {
    const bool wasOpen = SharedHandle.IsValid();
    if (OpenShared()) {
      auto caps = Backend->GetCapabilities(SharedHandle);
      if (caps) {
        Caps = *caps;
        CapsFetched = true;
      }
      if (!wasOpen) CloseShared();
    }
  }
  return CapsFetched ? Caps : THidCaps{};
}

bool TJvHidDevice::WriteReport(const void* buffer, std::size_t length, std::size_t& written) {
  written = 0;
  std::lock_guard<std::mutex> g(HandleLock);
  if (!OpenShared()) return false;
  // A query-only handle must never see a write.
  if (!FReadWriteAccess) return false;
  auto result = Backend->Write(SharedHandle, buffer, length);
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
  const std::size_t size = Capabilities().InputReportByteLength;
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
  HandOvers->ReleaseRunning();
  HandOvers->ServeUntil([this] { return FReader->Finished(); });
  FReader->Join();
  FReader.reset();
}

TResult<THidHandle> TJvHidDevice::ReaderHandle() {
  std::lock_guard<std::mutex> g(HandleLock);
  if (ReadHandle.IsValid()) return ReadHandle;
  if (!PluggedIn() || !Claimed()) return TError{TErrorKind::Device, "device unplugged", ENODEV};
  auto h = Backend->Open(FPnPInfo->DevicePath, THidAccess::Read);
  if (!h) return h.Error();
  ReadHandle = *h;
  return ReadHandle;
}

std::uint16_t TJvHidDevice::CachedInputLength() {
  std::lock_guard<std::mutex> g(HandleLock);
  return CapsFetched ? Caps.InputReportByteLength : 0;
}

bool TJvHidDevice::HandOverData(const std::uint8_t* report, std::size_t bytes) {
  return HandOvers->HandOver(
      [this, report, bytes] {
        // A copy: the handler may release the device, and with it FData.
        const TJvHidDataEvent handler = FData;
        if (handler) handler(*this, report[0], report + 1, static_cast<std::uint16_t>(bytes - 1));
      },
      Post);
}

bool TJvHidDevice::HandOverError(std::uint32_t error) {
  return HandOvers->HandOver(
      [this, error] {
        const TJvHidDataErrorEvent handler = FDataError;
        if (handler) handler(*this, error);
      },
      Post);
}

}  // namespace quenvar
