#pragma once

// The HID link of the Qt application: the platform backend (hidraw, or the
// simulated programmer), the controller, the hand-over of reports to the
// user-interface thread through Qt's event loop, and the watch on device
// arrivals and removals.

#include <QObject>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class QSocketNotifier;

namespace quenvar {

class IHidBackend;
class TErrorBox;
class TJvHidDeviceController;
class TMainForm;
class TSimProgrammer;

class THidLink {
 public:
  using TBackendFactory = std::function<std::shared_ptr<IHidBackend>()>;

  // `makeBackend` gives the platform's backend for the real hardware; without
  // it only the simulated programmer can be opened.
  explicit THidLink(TBackendFactory makeBackend = {});
  ~THidLink();
  THidLink(const THidLink&) = delete;
  THidLink& operator=(const THidLink&) = delete;

  // Binds the backend and scans. Simulate holds the text of --simulate (empty
  // for the defaults) or nothing for the real hardware. A state file it names
  // stays locked for this link; OnWaitForState runs once when another program
  // holds it and Open waits. Returns an error text or nothing.
  std::optional<std::string> Open(const std::optional<std::string>& Simulate,
                                  const std::function<void()>& OnWaitForState = {});

  TJvHidDeviceController& Controller() { return *FController; }
  // The simulated programmer behind --simulate, or null on real hardware.
  TSimProgrammer* Simulator() const { return FSim.get(); }

  // Writes the simulated chips to the state file that --simulate named, so
  // the next run, of the window or the command line, goes on from there.
  // Returns an error text naming the file, or nothing (also when there is no
  // state file).
  std::optional<std::string> SaveSimulatorState() const;

 private:
  void ChangeNoticed();

  QObject FContext;  // queued calls die with it
  TBackendFactory FMakeBackend;
  std::shared_ptr<IHidBackend> FBackend;
  std::shared_ptr<TSimProgrammer> FSim;
  std::unique_ptr<TJvHidDeviceController> FController;
  std::unique_ptr<QSocketNotifier> FNotifier;
};

// The window saves the simulated chips after every operation and once it has
// closed, as the command line does after its run, so the two can take turns
// on one simulated chip. A failed save shows in the error box.
void KeepSimulatorState(THidLink& Link, TMainForm& Form, TErrorBox& ErrorBox);

}  // namespace quenvar
