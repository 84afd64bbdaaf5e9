#include <algorithm>
#include <cerrno>
#include <cstring>

#include "hid_hand_over_queue.h"
#include "quenvar/hid/jv_hid_device.h"

namespace quenvar {

TJvHidDeviceReadThread::TJvHidDeviceReadThread(TJvHidDevice& device, std::size_t bufferSize)
    : Device(device), Report(bufferSize, 0) {}

TJvHidDeviceReadThread::~TJvHidDeviceReadThread() {
  RequestStop();
  Join();
}

void TJvHidDeviceReadThread::Start() {
  if (!Thread.joinable()) Thread = std::thread([this] { Execute(); });
}

void TJvHidDeviceReadThread::RequestStop() {
  {
    std::lock_guard<std::mutex> g(SliceLock);
    Stop = true;
  }
  SliceWake.notify_all();
}

void TJvHidDeviceReadThread::Join() {
  if (Thread.joinable()) Thread.join();
}

void TJvHidDeviceReadThread::PauseSlice() {
  std::unique_lock<std::mutex> g(SliceLock);
  SliceWake.wait_for(g, std::chrono::milliseconds(Device.ReaderPollTime()),
                     [this] { return Stop.load(); });
}

bool TJvHidDeviceReadThread::DeviceGone(int err) {
  return err == ENODEV || err == ENOENT || err == ENXIO;
}

void TJvHidDeviceReadThread::ParkUntilStopped() {
  // Gone for good: wait to be stopped instead of polling a dead device.
  while (!Stop) PauseSlice();
}

void TJvHidDeviceReadThread::Execute() {
  while (!Stop) {
    // Never more than the buffer made at start, whatever the device says now.
    const std::size_t length = std::min<std::size_t>(Device.CachedInputLength(), Report.size());
    std::fill(Report.begin(), Report.end(), 0);
    if (length == 0) {
      // Nothing sensible to read into; report it and keep trying slowly.
      ErrorCode = EINVAL;
      if (!Device.HandOverError(ErrorCode)) {
        HandlerFailed = true;
        break;
      }
      PauseSlice();
      continue;
    }
    const auto opened = Device.ReaderHandle();
    if (!opened) {
      const int err = opened.Error().FCode != 0 ? opened.Error().FCode : EIO;
      ErrorCode = static_cast<std::uint32_t>(err);
      if (!Device.HandOverError(ErrorCode)) {
        HandlerFailed = true;
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
    const THidReadResult r = Device.Backend->Read(
        handle, Report.data(), length, std::chrono::milliseconds(Device.ReaderPollTime()));
    if (r.Status == THidReadStatus::Timeout) continue;
    if (r.Status == THidReadStatus::Data) {
      BytesRead = r.Bytes;
      if (r.Bytes == 0) continue;
      if (!Device.HandOverData(Report.data(), r.Bytes)) {
        HandlerFailed = true;
        break;
      }
      continue;
    }
    ErrorCode = static_cast<std::uint32_t>(r.Error != 0 ? r.Error : ENODEV);
    if (!Device.HandOverError(ErrorCode)) {
      HandlerFailed = true;
      break;
    }
    if (r.Status == THidReadStatus::Unplugged) {
      ParkUntilStopped();
      break;
    }
    PauseSlice();
  }
  Done = true;
  Device.HandOvers->Wake();
}

}  // namespace quenvar
