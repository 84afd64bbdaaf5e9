#pragma once
// Everything between the command line and the programmer: the HID backend
// (hidraw or the simulator), the UI loop, the controller, the buffer and the
// operation driver, wired as the main window wires them.

#include <chrono>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "quenvar/buffer/custom_mp_hex_editor.h"
#include "quenvar/buffer/file_ops.h"
#include "quenvar/cli/cli.h"
#include "quenvar/cli/cli_options.h"
#include "quenvar/cli/progress_bar.h"
#include "quenvar/core/hex_editor_buffer.h"
#include "quenvar/core/hid_programmer_port.h"
#include "quenvar/core/programmer_session.h"
#include "quenvar/core/ui_loop_reply_timer.h"
#include "quenvar/hid/jv_hid_device_controller.h"
#include "quenvar/hid/ui_loop.h"

namespace quenvar {

class TSimProgrammer;
class TCliStop;

// Whether a simulator text names its timing; without it the command line runs
// the simulator without delays.
bool SimTextNamesTiming(std::string_view text);

class TCliLink {
 public:
  enum class TOutcome {
    Success,       // the log ends with the success line and the duration
    Failed,        // the log ends with the error line and the duration
    Lost,          // the programmer went away before the operation ended
    NotAvailable,  // the control could not be used
    Abandoned,     // a second stop request came before the operation ended
  };

  TCliLink(const TCliOptions& options, const TCliEnvironment& env, TCliStop& stop,
           std::ostream& out, std::ostream& err);
  ~TCliLink();
  TCliLink(const TCliLink&) = delete;
  TCliLink& operator=(const TCliLink&) = delete;

  // Backend, loop and controller; once. Returns an exit status (0 when ready).
  int Open();
  // The session with the programmer claimed and the target selected; once.
  int StartSession();
  bool SessionStarted() const { return FSession != nullptr; }

  // The HID interfaces found, one per line; an exit status.
  int List();

  // Runs one operation as the window does: `start` "clicks", then the loop
  // runs until the driver is idle again. Log lines go out as they come, except
  // the closing lines of a success: they wait for the end of the command,
  // which may still fail (e.g. its save), or for its next operation.
  TOutcome Run(const std::function<bool()>& start);
  TOutcome Click(std::string_view control) {
    return Run([this, control] { return FSession->Click(control); });
  }

  // The end of a command: prints the held success lines, or drops them.
  void EndCommand(bool succeeded);
  // The last identification found a locked chip.
  bool ChipLocked() const;

  TProgrammerSession& Session() { return *FSession; }
  TCustomMPHexEditor& Editor() { return FEditor; }
  TFileOps& Files() { return FFiles; }

  // Writes the simulated chips back to their state file, if one was named.
  int SaveSimulatorState();

 private:
  int ReportMissingProgrammer();
  void HexeditorChange();
  std::string Text(const TLangText& text, std::initializer_list<std::string_view> args = {}) const;

  const TCliOptions& FOptions;
  const TCliEnvironment& FEnv;
  TCliStop& FStop;
  std::ostream& FOut;
  std::ostream& FErr;
  TProgressBar FBar;
  std::vector<std::string> FHeld;

  std::shared_ptr<IHidBackend> FBackend;
  std::shared_ptr<TSimProgrammer> FSim;
  std::unique_ptr<TUiLoop> FLoop;
  int FWatch = 0;
  std::unique_ptr<TJvHidDeviceController> FController;
  std::unique_ptr<THidProgrammerPort> FPort;
  TCustomMPHexEditor FEditor;
  TFileOps FFiles{FEditor};
  THexEditorBuffer FBuffer{FEditor};
  std::unique_ptr<TUiLoopReplyTimer> FTimer;
  std::unique_ptr<TProgrammerSession> FSession;
};

}  // namespace quenvar
