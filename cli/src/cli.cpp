#include "quenvar/cli/cli.h"

#include <algorithm>
#include <cctype>
#include <exception>
#include <ostream>
#include <string>
#include <vector>

#include "cli_link.h"
#include "quenvar/buffer/file_ops.h"

namespace quenvar {

namespace {

#ifndef QUENVAR_VERSION
#define QUENVAR_VERSION "0"
#endif

int StatusOf(TCliLink::TOutcome outcome) {
  switch (outcome) {
    case TCliLink::TOutcome::Success:
      return kCliOk;
    case TCliLink::TOutcome::Failed:
    case TCliLink::TOutcome::NotAvailable:
      return kCliOperationFailed;
    case TCliLink::TOutcome::Lost:
      return kCliNoProgrammer;
  }
  return kCliOperationFailed;
}

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

class TCliRunner {
 public:
  TCliRunner(const TCliOptions& options, const TCliEnvironment& env, std::ostream& out,
             std::ostream& err)
      : Options(options), Out(out), Err(err), Link(options, env, out, err) {}

  int Run() {
    int status = kCliOk;
    for (const TCliCommand& command : Options.Commands) {
      status = RunCommand(command);
      if (status != kCliOk) break;
    }
    // The simulated chips keep what happened, also after a failure.
    const int saved = Link.SaveSimulatorState();
    return status != kCliOk ? status : saved;
  }

 private:
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
      case TCliCommandKind::Detect: {
        const int status = StatusOf(Link.Click("bDetectDevice"));
        if (status == kCliOk) PrintChip();
        return status;
      }
      case TCliCommandKind::Erase:
        return StatusOf(Link.Click("bErase"));
      case TCliCommandKind::WriteFlash:
        return LoadThen(command.Files[0], "bProg");
      case TCliCommandKind::Verify:
        return LoadThen(command.Files[0], "bVerify");
      case TCliCommandKind::WriteEeprom:
        return LoadThen(command.Files[0], "bprogeeprom");
      case TCliCommandKind::ReadFlash:
        return ReadThenSave("bRead", command.Files[0]);
      case TCliCommandKind::ReadEeprom:
        return ReadThenSave("breadeeprom", command.Files[0]);
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
    std::uint8_t errorFlag = 0;
    const TOpenOutcome opened = files.OpenFile(name, Options.LanguageIndex, errorFlag);
    switch (opened.Load.Status) {
      case TLoadStatus::Loaded:
        break;
      case TLoadStatus::FormatError:
      case TLoadStatus::FileError:
        Err << opened.Load.Message << '\n';
        return kCliUsageOrFile;
      case TLoadStatus::Nothing:
        Err << "quenvar-cli: '" << name << "': give a .hex or .bin file\n";
        return kCliUsageOrFile;
    }
    // The window offers no write or verify of an empty buffer.
    if (needData && editor.DataLength() == 0) {
      Err << "quenvar-cli: '" << name << "' holds no data\n";
      return kCliUsageOrFile;
    }
    return kCliOk;
  }

  // The window's save; the file appears whole or not at all.
  int Save(TFileOps& files, const std::string& name) {
    const TSaveOutcome saved = files.SaveFile(name);
    if (saved.Status == TSaveStatus::Saved) return kCliOk;
    if (saved.Status == TSaveStatus::Failed)
      Err << saved.Message << '\n';
    else
      Err << "quenvar-cli: '" << name << "': give a .hex or .bin file\n";
    return kCliUsageOrFile;
  }

  int LoadThen(const std::string& file, std::string_view control) {
    if (const int status = Load(Link.Files(), Link.Editor(), file, true); status != kCliOk)
      return status;
    return StatusOf(Link.Click(control));
  }

  int ReadThenSave(std::string_view control, const std::string& file) {
    if (const int status = StatusOf(Link.Click(control)); status != kCliOk) return status;
    return Save(Link.Files(), file);
  }

  int Convert(const std::string& in, const std::string& out) {
    TCustomMPHexEditor editor;
    TFileOps files(editor);
    if (const int status = Load(files, editor, in, false); status != kCliOk) return status;
    return Save(files, out);
  }

  void PrintChip() {
    const TWindowModel& w = Link.Session().Window();
    Out << "Chip: " << w.AutoDevice();
    if (!w.CodeSize().empty()) Out << ", " << w.CodeSize() << " bytes of flash";
    Out << '\n';
  }

  void PrintFuses() {
    const TWindowModel& w = Link.Session().Window();
    for (const TFuseItem& item : w.FuseList())
      Out << (item.Checked ? "[x] " : "[ ] ") << item.Caption << (item.Enabled ? "" : " (greyed)")
          << '\n';
    for (const std::string& line : w.Verlauf())
      if (line.rfind("Calibration Byte ", 0) == 0) Out << line << '\n';
  }

  int ReadFuses() {
    const int status = StatusOf(Link.Click("bDetectDevice"));
    if (status != kCliOk) return status;
    PrintChip();
    PrintFuses();
    return kCliOk;
  }

  // The box of a fuse name, or an error text.
  std::string FindBox(const std::string& name, std::size_t& index) {
    const auto& items = Link.Session().Window().FuseList();
    std::size_t found = items.size();
    for (std::size_t i = 0; i < items.size(); ++i) {
      if (!SameName(items[i].Caption, name)) continue;
      if (found != items.size()) return "fuse name '" + name + "' is ambiguous";
      found = i;
    }
    if (found == items.size()) {
      std::string known;
      for (const TFuseItem& item : items) {
        if (!known.empty()) known += ", ";
        known += item.Caption;
      }
      return "unknown fuse '" + name + "'" +
             (known.empty() ? " (the chip has no fuse list)" : "; this chip has: " + known);
    }
    if (!items[found].Enabled) return "fuse '" + items[found].Caption + "' is greyed";
    index = found;
    return {};
  }

  int WriteFuses(const TCliCommand& command) {
    const int status = StatusOf(Link.Click("bDetectDevice"));
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
          Err << "quenvar-cli: " << error << "; nothing written\n";
          return kCliUsageOrFile;
        }
        changes.push_back({index, program});
      }
    }
    TProgrammerSession& s = Link.Session();
    for (const TChange& change : changes)
      if (s.Window().FuseList()[change.Index].Checked != change.Checked) s.ToggleFuse(change.Index);
    // The button is enabled by a toggled box only; writing unchanged boxes
    // back is what the user asked for all the same.
    return StatusOf(Link.Run([&s] {
      s.bWriteFuseClick();
      return true;
    }));
  }

  const TCliOptions& Options;
  std::ostream& Out;
  std::ostream& Err;
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
