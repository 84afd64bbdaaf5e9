#include <algorithm>
#include <cerrno>
#include <cstring>

#include "hid_hand_over_queue.h"
#include "quenvar/hid/jv_hid_device.h"

namespace quenvar {

TJvHidDeviceReadThread::TJvHidDeviceReadThread(TJvHidDevice& device, std::size_t bufferSize)
    : FDevice(device), FReport(bufferSize, 0) {}

TJvHidDeviceReadThread::~TJvHidDeviceReadThread() {
  RequestStop();
  Join();
}

void TJvHidDeviceReadThread::Start() {
  if (!FThread.joinable()) FThread = std::thread([this] { Execute(); });
}

void TJvHidDeviceReadThread::RequestStop() {
  {
    std::lock_guard<std::mutex> g(FSliceLock);
    FStop = true;
  }
  FSliceWake.notify_all();
}

void TJvHidDeviceReadThread::Join() {
  if (FThread.joinable()) FThread.join();
}

void TJvHidDeviceReadThread::PauseSlice() {
  std::unique_lock<std::mutex> g(FSliceLock);
  FSliceWake.wait_for(g, std::chrono::milliseconds(FDevice.ReaderPollTime()),
                      [this] { return FStop.load(); });
}

bool TJvHidDeviceReadThread::DeviceGone(int err) {
  return err == ENODEV || err == ENOENT || err == ENXIO;
}

void TJvHidDeviceReadThread::ParkUntilStopped() {
  // Gone for good: wait to be stopped instead of polling a dead device.
  while (!FStop) PauseSlice();
}

void TJvHidDeviceReadThread::Execute() {
  while (!FStop) {
    // Never more than the buffer made at start, whatever the device says now.
    const std::size_t length = std::min<std::size_t>(FDevice.CachedInputLength(), FReport.size());
    std::fill(FReport.begin(), FReport.end(), 0);
    if (length == 0) {
      // Nothing sensible to read into; report it and keep trying slowly.
      FErrorCode = EINVAL;
      if (!FDevice.HandOverError(FErrorCode)) {
        FHandlerFailed = true;
        break;
      }
      PauseSlice();
      continue;
    }
    const auto opened = FDevice.ReaderHandle();
    if (!opened) {
      const int err = opened.Error().FCode != 0 ? opened.Error().FCode : EIO;
      FErrorCode = static_cast<std::uint32_t>(err);
      if (!FDevice.HandOverError(FErrorCode)) {
        FHandlerFailed = true;
        break;
      }
      if (DeviceGone(err)) {
        ParkUntilStopped();
        break;
      }
      // A retry at once would spin as long as the cause lasts.
      PauseSlice();
      continue;
    }
    const THidHandle handle = *opened;
    const THidReadResult r = FDevice.FBackend->Read(
        handle, FReport.data(), length, std::chrono::milliseconds(FDevice.ReaderPollTime()));
    if (r.FStatus == THidReadStatus::Timeout) continue;
    if (r.FStatus == THidReadStatus::Data) {
      FBytesRead = r.FBytes;
      if (r.FBytes == 0) continue;
      if (!FDevice.HandOverData(FReport.data(), r.FBytes)) {
        FHandlerFailed = true;
        break;
      }
      continue;
    }
    FErrorCode = static_cast<std::uint32_t>(r.FError != 0 ? r.FError : ENODEV);
    if (!FDevice.HandOverError(FErrorCode)) {
      FHandlerFailed = true;
      break;
    }
    if (r.FStatus == THidReadStatus::Unplugged) {
      ParkUntilStopped();
      break;
    }
    PauseSlice();
  }
  FDone = true;
  FDevice.FHandOvers->Wake();
}

}  // namespace quenvar
