#pragma once
// One HID interface of the system, its PnP record and, while it is claimed
// and has a data handler, its reader thread.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "quenvar/base/result.h"
#include "quenvar/hid/hid_backend.h"
#include "quenvar/hid/hid_handler.h"

namespace quenvar {

class TJvHidDevice;
class TJvHidDeviceController;
class THidHandOverQueue;

// Runs a function on the UI thread later. Must not block: the link does the
// waiting itself, so that a UI thread stopping a reader can still serve it.
using TJvHidPostFn = std::function<void(std::function<void()>)>;

using TJvHidDataEvent = THidHandler<void(TJvHidDevice& hidDev, std::uint8_t reportId,
                                         const std::uint8_t* data, std::uint16_t size)>;
using TJvHidDataErrorEvent = THidHandler<void(TJvHidDevice& hidDev, std::uint32_t error)>;
using TJvHidUnplugEvent = THidHandler<void(TJvHidDevice& hidDev)>;
using TJvHidEnumerateEvent = THidHandler<bool(TJvHidDevice& hidDev, int idx)>;

inline constexpr const char* kHidDeviceCannotBeOpened = "device cannot be opened";
inline constexpr const char* kHidDeviceCannotBeIdentified = "device cannot be identified";

// The identity of one interface; rescans match devices by DevInst.
struct TJvHidPnPInfo {
  std::string FDevInst;
  std::string FDevicePath;
  // Stable per USB port; the device path where the backend tells none.
  std::string FIdentityPath = {};
  std::string FSerial = {};  // empty: the device has no serial-number string
};

// Reads input reports of one claimed device and hands each to the UI thread,
// waiting until the handler has run.
class TJvHidDeviceReadThread {
 public:
  TJvHidDeviceReadThread(TJvHidDevice& device, std::size_t bufferSize);
  ~TJvHidDeviceReadThread();  // stops and joins
  TJvHidDeviceReadThread(const TJvHidDeviceReadThread&) = delete;
  TJvHidDeviceReadThread& operator=(const TJvHidDeviceReadThread&) = delete;

  void Start();
  void RequestStop();
  bool StopRequested() const { return FStop.load(); }
  bool Finished() const { return FDone.load(); }
  // Waits for the thread to end; the caller keeps serving hand-overs meanwhile.
  void Join();

  std::uint32_t LastError() const { return FErrorCode.load(); }
  std::size_t NumBytesRead() const { return FBytesRead.load(); }
  std::size_t BufferSize() const { return FReport.size(); }
  // Set when a handler call failed; such a failure ended the thread.
  bool EndedByHandlerError() const { return FHandlerFailed.load(); }

 private:
  void Execute();
  // Sleeps one ReaderPollTime slice unless told to stop first.
  void PauseSlice();
  void ParkUntilStopped();
  static bool DeviceGone(int err);

  TJvHidDevice& FDevice;
  std::vector<std::uint8_t> FReport;
  std::atomic<bool> FStop{false};
  std::atomic<bool> FDone{false};
  std::atomic<bool> FHandlerFailed{false};
  std::atomic<std::uint32_t> FErrorCode{0};
  std::atomic<std::size_t> FBytesRead{0};
  std::mutex FSliceLock;
  std::condition_variable FSliceWake;
  std::thread FThread;
};

class TJvHidDevice {
 public:
  // Release: the application gives a claimed device back by destroying it.
  // A device still plugged in is replaced in the controller's list by a fresh,
  // unclaimed object at the same position.
  ~TJvHidDevice();  // NOLINT(bugprone-exception-escape): see its definition
  TJvHidDevice(const TJvHidDevice&) = delete;
  TJvHidDevice& operator=(const TJvHidDevice&) = delete;

  bool PluggedIn() const { return FPluggedIn.load(); }
  bool Claimed() const { return FClaimed.load(); }
  bool ReadWriteAccess() const { return FReadWriteAccess; }
  // Why the last read-write open failed (errno style, e.g. EACCES without the
  // udev rule); 0 when it worked.
  int ReadWriteError() const { return FReadWriteError; }

  const TJvHidPnPInfo& PnPInfo() const { return *FPnPInfo; }
  const THidAttributes& Attributes() const { return FAttributes; }
  TJvHidDeviceController* Controller() const { return FController; }

  // Report lengths; all zero unless the device is plugged in and claimed.
  THidCaps Capabilities();

  // Writes one report synchronously through the shared handle. False (nothing
  // written) when unplugged, unclaimed or only open for queries.
  bool WriteReport(const void* buffer, std::size_t length, std::size_t& written);

  int ReaderPollTime() const { return FReaderPollTime.load(); }
  void SetReaderPollTime(int ms);  // 10..10000, other values are ignored

  const TJvHidDataEvent& OnData() const { return FData; }
  void SetOnData(TJvHidDataEvent handler);
  const TJvHidDataErrorEvent& OnDataError() const { return FDataError; }
  void SetOnDataError(TJvHidDataErrorEvent handler);
  const TJvHidUnplugEvent& OnUnplug() const { return FUnplug; }
  void SetOnUnplug(TJvHidUnplugEvent handler);

  // Closes all handles, clears PluggedIn and calls the unplug handler once.
  // The reader keeps running until it is stopped.
  void MarkUnplugged();

  const TJvHidDeviceReadThread* ReadThread() const { return FReader.get(); }

 private:
  friend class TJvHidDeviceController;
  friend class TJvHidDeviceReadThread;

  TJvHidDevice(std::unique_ptr<TJvHidPnPInfo> info, TJvHidDeviceController* controller,
               std::shared_ptr<IHidBackend> backend, TJvHidPostFn post);
  static TResult<std::unique_ptr<TJvHidDevice>> Create(std::unique_ptr<TJvHidPnPInfo> info,
                                                       TJvHidDeviceController* controller,
                                                       std::shared_ptr<IHidBackend> backend,
                                                       TJvHidPostFn post);

  bool OpenShared();
  void CloseShared();
  void CloseAllHandles();
  void StartReaderIfReady();
  void StopReader();

  // Reader side.
  TResult<THidHandle> ReaderHandle();
  std::uint16_t CachedInputLength();
  // Hands one call to the UI thread and waits until it ran; false if it threw.
  bool HandOverData(const std::uint8_t* report, std::size_t bytes);
  bool HandOverError(std::uint32_t error);

  TJvHidDeviceController* FController = nullptr;
  std::shared_ptr<IHidBackend> FBackend;
  TJvHidPostFn FPost;
  std::unique_ptr<TJvHidPnPInfo> FPnPInfo;

  // Read by the reader thread too.
  std::atomic<bool> FPluggedIn{true};
  std::atomic<bool> FClaimed{false};
  bool FReadWriteAccess = false;
  int FReadWriteError = 0;
  THidAttributes FAttributes;

  // Handles are touched by the UI thread and (the read handle) by the reader.
  std::mutex FHandleLock;
  THidHandle FSharedHandle;
  THidHandle FReadHandle;
  THidHandle FWriteHandle;
  bool FCapsFetched = false;
  THidCaps FCaps;

  std::atomic<int> FReaderPollTime{100};
  TJvHidDataEvent FData;
  TJvHidDataErrorEvent FDataError;
  TJvHidUnplugEvent FUnplug;

  std::shared_ptr<THidHandOverQueue> FHandOvers;
  std::unique_ptr<TJvHidDeviceReadThread> FReader;
};

}  // namespace quenvar
