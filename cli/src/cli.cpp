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
  for (const ChipInfo& chip : ChipTable())
    for (std::string_view item : chip.FuseItems)
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
      : Options(options),
        Out(out),
        Err(err),
        Stop(env, err, options.LanguageIndex),
        Link(options, env, Stop, out, err) {}

  int Run() {
    int status = CheckBeforeStart();
    for (std::size_t i = 0; status == kCliOk && i < Options.Commands.size(); ++i) {
      if (Stop.Requested()) {
        status = Stop.Status();
        break;
      }
      status = RunCommand(Options.Commands[i]);
      Link.EndCommand(status == kCliOk);
    }
    // The simulated chips keep what happened, also after a failure.
    const int saved = Link.SaveSimulatorState();
    return status != kCliOk ? status : saved;
  }

 private:
  std::string Text(const TLangText& text, std::initializer_list<std::string_view> args = {}) const {
    return cli_texts::Fill(text, Options.LanguageIndex, args);
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
        return Stop.Status();
    }
    return kCliOperationFailed;
  }

  // What can fail without the programmer fails before it is touched: the
  // outputs, the simulator's state file, fuse names no chip has.
  int CheckBeforeStart() {
    bool device = false;
    for (const TCliCommand& command : Options.Commands) {
      device = device || command.Kind != TCliCommandKind::Convert;
      const bool reads =
          command.Kind == TCliCommandKind::ReadFlash || command.Kind == TCliCommandKind::ReadEeprom;
      const std::string* output = reads                                      ? &command.Files[0]
                                  : command.Kind == TCliCommandKind::Convert ? &command.Files[1]
                                                                             : nullptr;
      // The save's own first step; its temporary file goes again at once.
      if (output != nullptr)
        if (const auto created = TAtomicFile::Create(*output); !created) {
          Err << BufferError(created.Error()).FText << '\n';
          return kCliUsageOrFile;
        }
      for (const auto* names : {&command.Program, &command.Unprogram})
        for (const std::string& name : *names)
          if (!AnyChipHasFuse(name)) {
            Err << Text(cli_texts::kNoChipHasFuse, {name}) << Text(cli_texts::kNothingWritten)
                << '\n';
            return kCliUsageOrFile;
          }
    }
    return device ? Link.Open() : kCliOk;
  }

  int RunCommand(const TCliCommand& command) {
    switch (command.Kind) {
      case TCliCommandKind::Convert:
        return Convert(command.Files[0], command.Files[1]);
      case TCliCommandKind::List: {
        const int status = Link.Open();
        return status == kCliOk ? Link.List() : status;
      }
      default:
        break;
    }
    if (const int status = Link.StartSession(); status != kCliOk) return status;
    switch (command.Kind) {
      case TCliCommandKind::Detect:
        return Detect();
      case TCliCommandKind::Erase:
        return StatusOf(Link.Run(TRequestedOperation::Erase));
      case TCliCommandKind::WriteFlash:
        return LoadThen(command.Files[0], TRequestedOperation::ProgramFlash);
      case TCliCommandKind::Verify:
        return LoadThen(command.Files[0], TRequestedOperation::Verify);
      case TCliCommandKind::WriteEeprom:
        return LoadThen(command.Files[0], TRequestedOperation::ProgramEeprom);
      case TCliCommandKind::ReadFlash:
        return ReadThenSave(TRequestedOperation::ReadFlash, command.Files[0]);
      case TCliCommandKind::ReadEeprom:
        return ReadThenSave(TRequestedOperation::ReadEeprom, command.Files[0]);
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
    return LoadImageFile(files, editor, name, needData, Options.LanguageIndex, Err);
  }

  // The window's save; the file appears whole or not at all.
  int Save(TFileOps& files, const std::string& name) {
    const TSaveOutcome saved = files.SaveFile(name);
    if (saved.Status == TSaveStatus::Saved) return kCliOk;
    if (saved.Status == TSaveStatus::Failed)
      Err << saved.Message << '\n';
    else
      Err << Text(cli_texts::kNoFormat, {name}) << '\n';
    return kCliUsageOrFile;
  }

  int LoadThen(const std::string& file, TRequestedOperation operation) {
    if (const int status = Load(Link.Files(), Link.Editor(), file, true); status != kCliOk)
      return status;
    const int status = StatusOf(Link.Run(operation));
    // An image larger than the target: the driver sends nothing of it (a 24xx
    // at once, an ISP chip after its identification, before the erase).
    if (const auto& refusal = Link.Driver().LastRefusal()) {
      if (refusal->Kind == TRefusal::ChipLocked) return Locked();
      Err << "quenvar-cli: '" << file << "': " << RefusalText(*refusal, Options.LanguageIndex)
          << '\n';
      return kCliUsageOrFile;
    }
    return Link.ChipLocked() ? Locked() : status;
  }

  // A locked chip has no sizes to read or write.
  int Locked() {
    Err << DeviceLockedText << '\n';
    return kCliOperationFailed;
  }

  int ReadThenSave(TRequestedOperation operation, const std::string& file) {
    const int status = StatusOf(Link.Run(operation));
    if (Link.ChipLocked()) return Locked();
    if (status != kCliOk) return status;
    return Save(Link.Files(), file);
  }

  int Convert(const std::string& in, const std::string& out) {
    TCustomMPHexEditor editor;
    TFileOps files(editor);
    if (const int status = Load(files, editor, in, false); status != kCliOk) return status;
    return Save(files, out);
  }

  int Detect() {
    const int status = StatusOf(Link.Run(TRequestedOperation::DetectDevice));
    if (status != kCliOk) return status;
    Link.EndCommand(true);
    PrintChip();
    return kCliOk;
  }

  // What the window's chip box shows after a detect that succeeded.
  void PrintChip() { Out << ChipLine(Link.Driver(), Options.LanguageIndex) << '\n'; }

  // One line per box, in the window's order. The calibration bytes are in
  // the log already.
  void PrintFuses() {
    for (const std::string& line : FuseLines(Link.Driver())) Out << line << '\n';
  }

  int ReadFuses() {
    if (const int status = Detect(); status != kCliOk) return status;
    PrintFuses();
    return kCliOk;
  }

  // The box of a fuse name, or an error text.
  std::string FindBox(const std::string& name, std::size_t& index) {
    const auto& items = Link.Driver().FuseBoxes();
    std::size_t found = items.size();
    for (std::size_t i = 0; i < items.size(); ++i) {
      if (!SameName(items[i].Caption, name)) continue;
      if (found != items.size()) return Text(cli_texts::kAmbiguousFuse, {name});
      found = i;
    }
    if (found == items.size()) {
      std::string known;
      for (const TFuseBox& item : items) {
        if (!known.empty()) known += ", ";
        known += item.Caption;
      }
      return known.empty() ? Text(cli_texts::kNoFuseList, {name})
                           : Text(cli_texts::kUnknownFuse, {name, known});
    }
    if (!items[found].Enabled) return Text(cli_texts::kGreyedFuse, {items[found].Caption});
    index = found;
    return {};
  }

  int WriteFuses(const TCliCommand& command) {
    const int status = StatusOf(Link.Run(TRequestedOperation::DetectDevice));
    if (status != kCliOk) return status;
    // Every name is checked before a single box changes.
    struct TChange {
      std::size_t Index;
      bool Checked;
    };
    std::vector<TChange> changes;
    for (bool program : {true, false}) {
      for (const std::string& name : program ? command.Program : command.Unprogram) {
        std::size_t index = 0;
        if (std::string error = FindBox(name, index); !error.empty()) {
          Err << error << Text(cli_texts::kNothingWritten) << '\n';
          return kCliUsageOrFile;
        }
        changes.push_back({index, program});
      }
    }
    TProgrammerDriver& driver = Link.Driver();
    const std::vector<TFuseBox> read = driver.FuseBoxes();
    for (const TChange& change : changes) driver.SetFuseState(change.Index, change.Checked);
    const std::vector<TFuseBox> written = driver.FuseBoxes();
    if (!command.Force)
      if (const std::string bits = IspEndingBits(read, written); !bits.empty()) {
        Err << Text(cli_texts::kEndsIsp, {bits}) << '\n';
        return kCliUsageOrFile;
      }
    // Writing unchanged boxes back is what the user asked for all the same,
    // though the window's button waits for a toggled box.
    const int wrote = StatusOf(Link.Run(TRequestedOperation::WriteFuses));
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
      captions.push_back(written[i].Caption);
      asRead.push_back(read[i].Checked);
      toWrite.push_back(written[i].Checked);
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
    const int status = StatusOf(Link.Run(TRequestedOperation::DetectDevice));
    if (status != kCliOk) return status;
    const auto& items = Link.Driver().FuseBoxes();
    bool ok = items.size() == written.size();
    for (std::size_t i = 0; i < items.size() && i < written.size(); ++i) {
      if (!written[i].Enabled || items[i].Checked == written[i].Checked) continue;
      ok = false;
      std::string line =
          Text(items[i].Checked ? cli_texts::kStillProgrammed : cli_texts::kStillUnprogrammed,
               {items[i].Caption});
      if (items[i].Checked && IsLockBit(items[i].Caption)) line += Text(cli_texts::kLockNeedsErase);
      Err << line << '\n';
    }
    return ok ? kCliOk : kCliOperationFailed;
  }

  const TCliOptions& Options;
  std::ostream& Out;
  std::ostream& Err;
  TCliStop Stop;
  TCliLink Link;
};

int RunParsed(std::span<const std::string> args, std::ostream& out, std::ostream& err,
              const TCliEnvironment& env) {
  const TCliParseResult parsed = ParseCliArgs(args);
  if (parsed.Options.Help) {
    out << CliHelpText();
    return kCliOk;
  }
  if (parsed.Options.Version) {
    out << "quenvar-cli " QUENVAR_VERSION "\n";
    return kCliOk;
  }
  if (!parsed.Ok()) {
    err << "quenvar-cli: " << parsed.Error << "\nTry 'quenvar-cli --help'.\n";
    return kCliUsageOrFile;
  }
  if (parsed.Options.FProduction.RunsAsProduction())
    return RunProduction(parsed.Options, env, out, err);
  TCliRunner runner(parsed.Options, env, out, err);
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
