#include "quenvar/cli/cli.h"

#include <algorithm>
#include <cctype>
#include <exception>
#include <ostream>
#include <string>
#include <vector>

#include "cli_link.h"
#include "cli_steps.h"
#include "cli_stop.h"
#include "cli_texts.h"
#include "production_run.h"
#include "quenvar/buffer/bin_file.h"
#include "quenvar/buffer/file_ops.h"
#include "quenvar/core/chip_table.h"
#include "quenvar/core/chip_texts.h"
#include "quenvar/core/fuse_guard.h"
#include "quenvar/core/operation_refusal.h"
#include "quenvar/fileio/atomic_file.h"

namespace quenvar {

namespace {

#ifndef QUENVAR_VERSION
#define QUENVAR_VERSION "0"
#endif

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

// Whether any chip of the table has a box of this name.
bool AnyChipHasFuse(const std::string& name) {
  for (const TChipInfo& chip : ChipTable())
    for (std::string_view item : chip.FFuseItems)
      if (SameName(item, name)) return true;
  return false;
}

// Lock bits go back to unprogrammed only with a chip erase.
bool IsLockBit(std::string_view caption) {
  static constexpr std::string_view kLock = "lock bit";
  for (std::size_t i = 0; i + kLock.size() <= caption.size(); ++i)
    if (SameName(caption.substr(i, kLock.size()), kLock)) return true;
  return false;
}

class TCliRunner {
 public:
  TCliRunner(const TCliOptions& options, const TCliEnvironment& env, std::ostream& out,
             std::ostream& err)
      : FOptions(options),
        FOut(out),
        FErr(err),
        FStop(env, err, options.FLanguageIndex),
        FLink(options, env, FStop, out, err) {}

  int Run() {
    int status = CheckBeforeStart();
    for (std::size_t i = 0; status == kCliOk && i < FOptions.FCommands.size(); ++i) {
      if (FStop.Requested()) {
        status = FStop.Status();
        break;
      }
      status = RunCommand(FOptions.FCommands[i]);
      FLink.EndCommand(status == kCliOk);
    }
    // The simulated chips keep what happened, also after a failure.
    const int saved = FLink.SaveSimulatorState();
    return status != kCliOk ? status : saved;
  }

 private:
  std::string Text(const TLangText& text, std::initializer_list<std::string_view> args = {}) const {
    return cli_texts::Fill(text, FOptions.FLanguageIndex, args);
  }

  int StatusOf(TCliLink::TOutcome outcome) const {
    switch (outcome) {
      case TCliLink::TOutcome::Success:
        return kCliOk;
      case TCliLink::TOutcome::Failed:
      case TCliLink::TOutcome::NotAvailable:
        return kCliOperationFailed;
      case TCliLink::TOutcome::Lost:
        return kCliNoProgrammer;
      case TCliLink::TOutcome::Abandoned:
        return FStop.Status();
    }
    return kCliOperationFailed;
  }

  // What can fail without the programmer fails before it is touched: the
  // outputs, the simulator's state file, fuse names no chip has.
  int CheckBeforeStart() {
    bool device = false;
    for (const TCliCommand& command : FOptions.FCommands) {
      device = device || command.FKind != TCliCommandKind::Convert;
      const bool reads = command.FKind == TCliCommandKind::ReadFlash ||
                         command.FKind == TCliCommandKind::ReadEeprom;
      const std::string* output = reads                                       ? &command.FFiles[0]
                                  : command.FKind == TCliCommandKind::Convert ? &command.FFiles[1]
                                                                              : nullptr;
      // The save's own first step; its temporary file goes again at once.
      if (output != nullptr)
        if (const auto created = TAtomicFile::Create(*output); !created) {
          FErr << BufferError(created.Error()).FText << '\n';
          return kCliUsageOrFile;
        }
      for (const auto* names : {&command.FProgram, &command.FUnprogram})
        for (const std::string& name : *names)
          if (!AnyChipHasFuse(name)) {
            FErr << Text(cli_texts::kNoChipHasFuse, {name}) << Text(cli_texts::kNothingWritten)
                 << '\n';
            return kCliUsageOrFile;
          }
    }
    return device ? FLink.Open() : kCliOk;
  }

  int RunCommand(const TCliCommand& command) {
    switch (command.FKind) {
      case TCliCommandKind::Convert:
        return Convert(command.FFiles[0], command.FFiles[1]);
      case TCliCommandKind::List: {
        const int status = FLink.Open();
        return status == kCliOk ? FLink.List() : status;
      }
      default:
        break;
    }
    if (const int status = FLink.StartSession(); status != kCliOk) return status;
    switch (command.FKind) {
      case TCliCommandKind::Detect:
        return Detect();
      case TCliCommandKind::Erase:
        return StatusOf(FLink.Run(TRequestedOperation::Erase));
      case TCliCommandKind::WriteFlash:
        return LoadThen(command.FFiles[0], TRequestedOperation::ProgramFlash);
      case TCliCommandKind::Verify:
        return LoadThen(command.FFiles[0], TRequestedOperation::Verify);
      case TCliCommandKind::WriteEeprom:
        return LoadThen(command.FFiles[0], TRequestedOperation::ProgramEeprom);
      case TCliCommandKind::ReadFlash:
        return ReadThenSave(TRequestedOperation::ReadFlash, command.FFiles[0]);
      case TCliCommandKind::ReadEeprom:
        return ReadThenSave(TRequestedOperation::ReadEeprom, command.FFiles[0]);
      case TCliCommandKind::ReadFuses:
        return ReadFuses();
      case TCliCommandKind::WriteFuses:
        return WriteFuses(command);
      case TCliCommandKind::Convert:
      case TCliCommandKind::List:
        break;
    }
    return kCliOk;
  }

  // The window's open: its reader, its messages.
  int Load(TFileOps& files, const TCustomMPHexEditor& editor, const std::string& name,
           bool needData) {
    return LoadImageFile(files, editor, name, needData, FOptions.FLanguageIndex, FErr);
  }

  // The window's save; the file appears whole or not at all.
  int Save(TFileOps& files, const std::string& name) {
    const TSaveOutcome saved = files.SaveFile(name);
    if (saved.FStatus == TSaveStatus::Saved) return kCliOk;
    if (saved.FStatus == TSaveStatus::Failed)
      FErr << saved.FMessage << '\n';
    else
      FErr << Text(cli_texts::kNoFormat, {name}) << '\n';
    return kCliUsageOrFile;
  }

  int LoadThen(const std::string& file, TRequestedOperation operation) {
    if (const int status = Load(FLink.Files(), FLink.Editor(), file, true); status != kCliOk)
      return status;
    const int status = StatusOf(FLink.Run(operation));
    // An image larger than the target: the driver sends nothing of it (a 24xx
    // at once, an ISP chip after its identification, before the erase).
    if (const auto& refusal = FLink.Driver().LastRefusal()) {
      if (refusal->FKind == TRefusal::ChipLocked) return Locked();
      FErr << "quenvar-cli: '" << file << "': " << RefusalText(*refusal, FOptions.FLanguageIndex)
           << '\n';
      return kCliUsageOrFile;
    }
    return FLink.ChipLocked() ? Locked() : status;
  }

  // A locked chip has no sizes to read or write.
  int Locked() {
    FErr << kDeviceLockedText << '\n';
    return kCliOperationFailed;
  }

  int ReadThenSave(TRequestedOperation operation, const std::string& file) {
    const int status = StatusOf(FLink.Run(operation));
    if (FLink.ChipLocked()) return Locked();
    if (status != kCliOk) return status;
    return Save(FLink.Files(), file);
  }

  int Convert(const std::string& in, const std::string& out) {
    TCustomMPHexEditor editor;
    TFileOps files(editor);
    if (const int status = Load(files, editor, in, false); status != kCliOk) return status;
    return Save(files, out);
  }

  int Detect() {
    const int status = StatusOf(FLink.Run(TRequestedOperation::DetectDevice));
    if (status != kCliOk) return status;
    FLink.EndCommand(true);
    PrintChip();
    return kCliOk;
  }

  // What the window's chip box shows after a detect that succeeded.
  void PrintChip() { FOut << ChipLine(FLink.Driver(), FOptions.FLanguageIndex) << '\n'; }

  // One line per box, in the window's order. The calibration bytes are in
  // the log already.
  void PrintFuses() {
    for (const std::string& line : FuseLines(FLink.Driver())) FOut << line << '\n';
  }

  int ReadFuses() {
    if (const int status = Detect(); status != kCliOk) return status;
    PrintFuses();
    return kCliOk;
  }

  // The box of a fuse name, or an error text.
  std::string FindBox(const std::string& name, std::size_t& index) {
    const auto& items = FLink.Driver().FuseBoxes();
    std::size_t found = items.size();
    for (std::size_t i = 0; i < items.size(); ++i) {
      if (!SameName(items[i].FCaption, name)) continue;
      if (found != items.size()) return Text(cli_texts::kAmbiguousFuse, {name});
      found = i;
    }
    if (found == items.size()) {
      std::string known;
      for (const TFuseBox& item : items) {
        if (!known.empty()) known += ", ";
        known += item.FCaption;
      }
      return known.empty() ? Text(cli_texts::kNoFuseList, {name})
                           : Text(cli_texts::kUnknownFuse, {name, known});
    }
    if (!items[found].FEnabled) return Text(cli_texts::kGreyedFuse, {items[found].FCaption});
    index = found;
    return {};
  }

  int WriteFuses(const TCliCommand& command) {
    const int status = StatusOf(FLink.Run(TRequestedOperation::DetectDevice));
    if (status != kCliOk) return status;
    // Every name is checked before a single box changes.
    struct TChange {
      std::size_t FIndex;
      bool FChecked;
    };
    std::vector<TChange> changes;
    for (bool program : {true, false}) {
      for (const std::string& name : program ? command.FProgram : command.FUnprogram) {
        std::size_t index = 0;
        if (std::string error = FindBox(name, index); !error.empty()) {
          FErr << error << Text(cli_texts::kNothingWritten) << '\n';
          return kCliUsageOrFile;
        }
        changes.push_back({index, program});
      }
    }
    TProgrammerDriver& driver = FLink.Driver();
    const std::vector<TFuseBox> read = driver.FuseBoxes();
    for (const TChange& change : changes) driver.SetFuseState(change.FIndex, change.FChecked);
    const std::vector<TFuseBox> written = driver.FuseBoxes();
    if (!command.FForce)
      if (const std::string bits = IspEndingBits(read, written); !bits.empty()) {
        FErr << Text(cli_texts::kEndsIsp, {bits}) << '\n';
        return kCliUsageOrFile;
      }
    // Writing unchanged boxes back is what the user asked for all the same,
    // though the window's button waits for a toggled box.
    const int wrote = StatusOf(FLink.Run(TRequestedOperation::WriteFuses));
    if (wrote != kCliOk) return wrote;
    return ReadBack(written);
  }

  // The bits the write would newly program that end the chip's ISP access,
  // comma-separated; empty for none.
  static std::string IspEndingBits(const std::vector<TFuseBox>& read,
                                   const std::vector<TFuseBox>& written) {
    std::vector<std::string_view> captions;
    std::vector<bool> asRead;
    std::vector<bool> toWrite;
    for (std::size_t i = 0; i < read.size() && i < written.size(); ++i) {
      captions.push_back(written[i].FCaption);
      asRead.push_back(read[i].FChecked);
      toWrite.push_back(written[i].FChecked);
    }
    std::string bits;
    for (std::string_view bit : NewIspDisablingBits(captions, asRead, toWrite)) {
      if (!bits.empty()) bits += ", ";
      bits += bit;
    }
    return bits;
  }

  // Reads the fuses again, as a verify would, and names every bit that did
  // not take.
  int ReadBack(const std::vector<TFuseBox>& written) {
    const int status = StatusOf(FLink.Run(TRequestedOperation::DetectDevice));
    if (status != kCliOk) return status;
    const auto& items = FLink.Driver().FuseBoxes();
    bool ok = items.size() == written.size();
    for (std::size_t i = 0; i < items.size() && i < written.size(); ++i) {
      if (!written[i].FEnabled || items[i].FChecked == written[i].FChecked) continue;
      ok = false;
      std::string line =
          Text(items[i].FChecked ? cli_texts::kStillProgrammed : cli_texts::kStillUnprogrammed,
               {items[i].FCaption});
      if (items[i].FChecked && IsLockBit(items[i].FCaption))
        line += Text(cli_texts::kLockNeedsErase);
      FErr << line << '\n';
    }
    return ok ? kCliOk : kCliOperationFailed;
  }

  const TCliOptions& FOptions;
  std::ostream& FOut;
  std::ostream& FErr;
  TCliStop FStop;
  TCliLink FLink;
};

int RunParsed(std::span<const std::string> args, std::ostream& out, std::ostream& err,
              const TCliEnvironment& env) {
  const TCliParseResult parsed = ParseCliArgs(args);
  if (parsed.FOptions.FHelp) {
    out << CliHelpText();
    return kCliOk;
  }
  if (parsed.FOptions.FVersion) {
    out << "quenvar-cli " QUENVAR_VERSION "\n";
    return kCliOk;
  }
  if (!parsed.Ok()) {
    err << "quenvar-cli: " << parsed.FError << "\nTry 'quenvar-cli --help'.\n";
    return kCliUsageOrFile;
  }
  if (parsed.FOptions.FProduction.RunsAsProduction())
    return RunProduction(parsed.FOptions, env, out, err);
  TCliRunner runner(parsed.FOptions, env, out, err);
  return runner.Run();
}

}  // namespace

int RunCli(std::span<const std::string> args, std::ostream& out, std::ostream& err,
           const TCliEnvironment& env) {
  try {
    return RunParsed(args, out, err, env);
  } catch (const std::exception& e) {
    err << "quenvar-cli: " << e.what() << '\n';
    return kCliOperationFailed;
  }
}

}  // namespace quenvar
