#pragma once

// The HID link of the Qt application: the platform backend (hidraw, or the
// simulated programmer), the controller, the hand-over of reports to the
// user-interface thread through Qt's event loop, and the watch on device
// arrivals and removals.

#include <QObject>
#include <memory>
#include <optional>
#include <string>

class QSocketNotifier;

namespace quenvar {

class IHidBackend;
class TJvHidDeviceController;
class TSimProgrammer;

class THidLink {
 public:
  THidLink();
  ~THidLink();
  THidLink(const THidLink&) = delete;
  THidLink& operator=(const THidLink&) = delete;

  // Binds the backend and scans. Simulate holds the text of --simulate (empty
  // for the defaults) or nothing for the real hardware. Returns an error text
  // or nothing.
  std::optional<std::string> Open(const std::optional<std::string>& Simulate);

  TJvHidDeviceController& Controller() { return *FController; }
  // The simulated programmer behind --simulate, or null on real hardware.
  TSimProgrammer* Simulator() const { return FSim.get(); }

 private:
  void ChangeNoticed();

  QObject FContext;  // queued calls die with it
  std::shared_ptr<IHidBackend> FBackend;
  std::shared_ptr<TSimProgrammer> FSim;
  std::unique_ptr<TJvHidDeviceController> FController;
  std::unique_ptr<QSocketNotifier> FNotifier;
};

}  // namespace quenvar
