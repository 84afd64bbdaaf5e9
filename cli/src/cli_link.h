#pragma once
// Everything between the command line and the programmer: the stack (backend,
// controller, reply timer and protocol driver) on a UI loop of its own, the
// buffer, and the run of one operation with its log lines printed as they come.

#include <chrono>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "quenvar/buffer/custom_mp_hex_editor.h"
#include "quenvar/buffer/file_ops.h"
#include "quenvar/cli/cli.h"
#include "quenvar/cli/cli_options.h"
#include "quenvar/cli/progress_bar.h"
#include "quenvar/core/driver_texts.h"
#include "quenvar/core/programmer_driver.h"
#include "quenvar/stack/event_loop.h"
#include "quenvar/stack/programmer_stack.h"

namespace quenvar {

class TCliStop;

class TCliLink final : private IDriverEvents {
 public:
  enum class TOutcome {
    Success,       // the log ends with the success line and the duration
    Failed,        // the log ends with the error line and the duration, or the image was refused
    Lost,          // the programmer went away before the operation ended
    NotAvailable,  // the target has no such operation
    Abandoned,     // a second stop request came before the operation ended
  };

  TCliLink(const TCliOptions& options, const TCliEnvironment& env, TCliStop& stop,
           std::ostream& out, std::ostream& err);
  ~TCliLink() override;
  TCliLink(const TCliLink&) = delete;
  TCliLink& operator=(const TCliLink&) = delete;

  // Backend, loop and controller; once. Returns an exit status (0 when ready).
  int Open();
  // The driver with the programmer claimed and the target selected; once.
  int StartSession();
  bool SessionStarted() const { return FStack.HasDriver(); }

  // The HID interfaces found, one per line; an exit status.
  int List();

  // Runs one operation, then the loop until the driver has ended it. Log
  // lines go out as they come, except the closing lines of a success: they
  // wait for the end of the command, which may still fail (e.g. its save), or
  // for its next operation.
  TOutcome Run(TRequestedOperation operation);

  // The end of a command: prints the held success lines, or drops them.
  void EndCommand(bool succeeded);
  // The last identification found a locked chip.
  bool ChipLocked() const { return FStack.HasDriver() && Driver().ChipLocked(); }

  TProgrammerDriver& Driver() { return FStack.Driver(); }
  const TProgrammerDriver& Driver() const { return const_cast<TProgrammerStack&>(FStack).Driver(); }
  TCustomMPHexEditor& Editor() { return FEditor; }
  TFileOps& Files() { return FFiles; }

  // Writes the simulated chips back to their state file, if one was named.
  int SaveSimulatorState();

  // For a production run, which builds its own drivers on the opened stack.
  TProgrammerStack& Stack() { return FStack; }
  TUiEventLoop& EventLoop() { return FLoop; }

 private:
  // IDriverEvents
  void OnOperationStarted(TRequestedOperation operation) override;
  void OnLogLine(const TLogLine& line) override;
  void OnProgress(std::int64_t position, std::int64_t maximum) override;
  void OnStepFailed(const std::string& text) override;
  void OnDeviceChangeHandled() override;
  void OnFinished(TOperationResult result) override;

  int ReportMissingProgrammer();
  // Prints the log lines of the running operation up to `upTo`.
  void Flush(std::size_t upTo);
  std::string Text(const TLangText& text, std::initializer_list<std::string_view> args = {}) const;

  // The bar follows what the window's progress gauge would show.
  struct TGauge {
    std::int64_t FMax = 100;
    std::int64_t FPosition = 0;
    bool FShown = false;
  };

  const TCliOptions& FOptions;
  const TCliEnvironment& FEnv;
  TCliStop& FStop;
  std::ostream& FOut;
  std::ostream& FErr;
  TProgressBar FBar;
  std::vector<std::string> FLog;  // the running operation's lines
  std::size_t FPrinted = 0;
  std::vector<std::string> FHeld;
  std::optional<TOperationResult> FResult;
  TGauge FGauge;

  // The stack goes first: the driver gives the programmer back before the loop goes.
  TCustomMPHexEditor FEditor;
  TFileOps FFiles{FEditor};
  TUiEventLoop FLoop;
  TProgrammerStack FStack{FLoop};
};

}  // namespace quenvar
