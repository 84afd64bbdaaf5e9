#include "quenvar/cli/cli_options.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>

#include "cli_option_value.h"
#include "quenvar/buffer/file_ops.h"
#include "quenvar/core/eeprom_types.h"

namespace quenvar {

namespace {

struct TCommandEntry {
  std::string_view FName;
  TCliCommandKind FKind;
  std::size_t FFiles;
  bool FIspOnly;
};

constexpr TCommandEntry kCommands[] = {
    {"detect", TCliCommandKind::Detect, 0, true},
    {"erase", TCliCommandKind::Erase, 0, false},
    {"write-flash", TCliCommandKind::WriteFlash, 1, false},
    {"verify", TCliCommandKind::Verify, 1, false},
    {"read-flash", TCliCommandKind::ReadFlash, 1, false},
    {"write-eeprom", TCliCommandKind::WriteEeprom, 1, true},
    {"read-eeprom", TCliCommandKind::ReadEeprom, 1, true},
    {"read-fuses", TCliCommandKind::ReadFuses, 0, true},
    {"write-fuses", TCliCommandKind::WriteFuses, 0, true},
    {"convert", TCliCommandKind::Convert, 2, false},
    {"list", TCliCommandKind::List, 0, false},
};

const TCommandEntry* FindCommand(std::string_view name) {
  for (const TCommandEntry& entry : kCommands)
    if (entry.FName == name) return &entry;
  return nullptr;
}

const TCommandEntry& EntryOf(TCliCommandKind kind) {
  for (const TCommandEntry& entry : kCommands)
    if (entry.FKind == kind) return entry;
  return kCommands[0];
}

// Upper case without blanks, so "24aa256 / 24(l/f)c256" finds its row.
std::string Folded(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == ' ' || c == '\t') continue;
    out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return out;
}

constexpr double kMaxTimeoutSeconds = 86400.0;
constexpr std::string_view kTimeoutRange = "seconds above 0 and at most 86400, e.g. 2.5";

bool ParseSeconds(std::string_view text, std::chrono::milliseconds& out) {
  double seconds = 0;
  const char* first = text.data();
  const char* last = first + text.size();
  auto [end, ec] = std::from_chars(first, last, seconds);
  if (ec != std::errc() || end != last || !std::isfinite(seconds) || seconds <= 0 ||
      seconds > kMaxTimeoutSeconds)
    return false;
  out = std::chrono::milliseconds(std::max<long long>(1, std::llround(seconds * 1000.0)));
  return true;
}

// The short names are the first type of each menu caption.
std::string TargetChoices() {
  std::string text = "isp, 0..13";
  for (const TEepromType& type : EepromTypes()) {
    const std::string_view caption = type.FCaption;
    text += ", ";
    text += caption.substr(0, caption.find(" /"));
  }
  return text;
}

}  // namespace

bool TakeValue(std::span<const std::string> args, std::size_t& i, std::string_view name,
               std::string& value, bool& matched) {
  const std::string& arg = args[i];
  matched = false;
  if (arg == name) {
    matched = true;
    if (i + 1 >= args.size()) return false;
    value = args[++i];
    return true;
  }
  if (arg.size() > name.size() && arg.compare(0, name.size(), name) == 0 &&
      arg[name.size()] == '=') {
    matched = true;
    value = arg.substr(name.size() + 1);
    return true;
  }
  return true;
}

std::string_view CommandName(TCliCommandKind kind) {
  return EntryOf(kind).FName;
}

bool NeedsProgrammer(TCliCommandKind kind) {
  return kind != TCliCommandKind::Convert && kind != TCliCommandKind::List;
}

bool ParseTarget(std::string_view text, std::optional<std::size_t>& index) {
  const std::string folded = Folded(text);
  if (folded == "ISP") {
    index.reset();
    return true;
  }
  const auto types = EepromTypes();
  if (!folded.empty() &&
      std::all_of(folded.begin(), folded.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    std::size_t value = 0;
    auto [end, ec] = std::from_chars(folded.data(), folded.data() + folded.size(), value);
    if (ec != std::errc() || end != folded.data() + folded.size() || value >= types.size())
      return false;
    index = value;
    return true;
  }
  for (std::size_t i = 0; i < types.size(); ++i) {
    const std::string_view caption = types[i].FCaption;
    const std::string_view first = caption.substr(0, caption.find(" /"));
    if (folded == Folded(caption) || folded == Folded(types[i].FDeviceText) ||
        folded == Folded(first)) {
      index = i;
      return true;
    }
  }
  return false;
}

std::vector<std::string> SplitNames(std::string_view text) {
  std::vector<std::string> names;
  while (true) {
    const std::size_t comma = text.find(',');
    std::string_view item = text.substr(0, comma);
    while (!item.empty() && item.front() == ' ') item.remove_prefix(1);
    while (!item.empty() && item.back() == ' ') item.remove_suffix(1);
    if (!item.empty()) names.emplace_back(item);
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  return names;
}

TCliParseResult ParseCliArgs(std::span<const std::string> args) {
  TCliParseResult r;
  TCliOptions& o = r.FOptions;
  auto fail = [&r](std::string text) {
    r.FError = std::move(text);
    return r;
  };

  std::size_t i = 0;
  // Global options come before the first command.
  for (; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg.size() < 2 || arg[0] != '-') break;
    std::string value;
    bool matched = false;
    if (arg == "--help") {
      o.FHelp = true;
    } else if (arg == "--version") {
      o.FVersion = true;
    } else if (arg == "--quiet") {
      o.FQuiet = true;
    } else if (arg == "--no-verify") {
      o.FVerify = false;
    } else if (arg == "--simulate" || arg.rfind("--simulate=", 0) == 0) {
      // One simulated programmer: a second setup would silently replace the first.
      if (o.FSimulate) return fail("option '--simulate' given twice");
      o.FSimulate = true;
      o.FSimulateText = arg.size() > 10 ? arg.substr(11) : std::string();
    } else if (!TakeValue(args, i, "--target", value, matched)) {
      return fail("option '--target' needs a value (" + TargetChoices() + ")");
    } else if (matched) {
      if (!ParseTarget(value, o.FEepromIndex))
        return fail("unknown target '" + value + "'; valid: " + TargetChoices());
    } else if (!TakeValue(args, i, "--lang", value, matched)) {
      return fail("option '--lang' needs a value (de, en or ru)");
    } else if (matched) {
      if (value == "de")
        o.FLanguageIndex = 0;
      else if (value == "en")
        o.FLanguageIndex = 1;
      else if (value == "ru")
        o.FLanguageIndex = 2;
      else
        return fail("unknown language '" + value + "'; valid: de, en, ru");
    } else if (!TakeValue(args, i, "--timeout", value, matched)) {
      return fail("option '--timeout' needs a value (" + std::string(kTimeoutRange) + ")");
    } else if (matched) {
      std::chrono::milliseconds timeout{};
      if (!ParseSeconds(value, timeout))
        return fail("bad timeout '" + value + "'; give " + std::string(kTimeoutRange));
      o.FTimeout = timeout;
    } else if (std::string error; ParseProductionOption(args, i, o.FProduction, error)) {
      if (!error.empty()) return fail(error);
    } else {
      return fail("unknown option '" + arg + "'");
    }
  }
  if (o.FHelp || o.FVersion) return r;

  while (i < args.size()) {
    const std::string& name = args[i++];
    const TCommandEntry* entry = FindCommand(name);
    if (entry == nullptr) {
      if (name.rfind("--", 0) == 0)
        return fail("option '" + name + "' must come before the first command");
      if (name.size() > 1 && name[0] == '-') return fail("unknown option '" + name + "'");
      return fail("unknown command '" + name + "'");
    }
    TCliCommand command;
    command.FKind = entry->FKind;
    if (entry->FKind == TCliCommandKind::WriteFuses) {
      while (i < args.size() && args[i].rfind("--", 0) == 0) {
        std::string value;
        bool matched = false;
        if (args[i] == "--force") {
          command.FForce = true;
          ++i;
          continue;
        }
        if (!TakeValue(args, i, "--program", value, matched))
          return fail("option '--program' needs a list of fuse names");
        if (matched) {
          for (std::string& n : SplitNames(value)) command.FProgram.push_back(std::move(n));
          ++i;
          continue;
        }
        if (!TakeValue(args, i, "--unprogram", value, matched))
          return fail("option '--unprogram' needs a list of fuse names");
        if (matched) {
          for (std::string& n : SplitNames(value)) command.FUnprogram.push_back(std::move(n));
          ++i;
          continue;
        }
        return fail("unknown option '" + args[i] + "' for write-fuses");
      }
      for (const std::string& n : command.FProgram)
        if (std::find(command.FUnprogram.begin(), command.FUnprogram.end(), n) !=
            command.FUnprogram.end())
          return fail("fuse '" + n + "' is named by both --program and --unprogram");
    }
    for (std::size_t f = 0; f < entry->FFiles; ++f) {
      if (i >= args.size() || FindCommand(args[i]) != nullptr)
        return fail("command '" + name + "' needs " +
                    (entry->FFiles == 2 ? std::string("IN and OUT files") : std::string("a FILE")));
      if (args[i].empty()) return fail("command '" + name + "' got an empty file name");
      command.FFiles.push_back(args[i++]);
    }
    if (o.FEepromIndex && entry->FIspOnly)
      return fail("command '" + name + "' needs the ISP target (--target isp)");
    // Names that select no format are refused before anything runs.
    const bool reads =
        entry->FKind == TCliCommandKind::ReadFlash || entry->FKind == TCliCommandKind::ReadEeprom;
    const bool loads =
        entry->FKind == TCliCommandKind::WriteFlash || entry->FKind == TCliCommandKind::Verify ||
        entry->FKind == TCliCommandKind::WriteEeprom || entry->FKind == TCliCommandKind::Convert;
    if (loads && OpenFormatOf(command.FFiles[0]) == TFileFormat::None)
      return fail("'" + command.FFiles[0] + "': give a .hex or .bin file");
    const std::string* out = reads                                      ? &command.FFiles[0]
                             : entry->FKind == TCliCommandKind::Convert ? &command.FFiles[1]
                                                                        : nullptr;
    if (out != nullptr && SaveFormatOf(*out) == TFileFormat::None)
      return fail("'" + *out + "': give a .hex or .bin file");
    o.FCommands.push_back(std::move(command));
  }
  if (o.FCommands.empty()) return fail("no command given");
  if (std::string error = ProductionChainError(o); !error.empty()) return fail(error);
  return r;
}

std::string CliHelpText() {
  return R"(Usage: quenvar-cli [OPTIONS] COMMAND [ARGS] [COMMAND [ARGS]...]
Drives the USB programmer (0451:3210) for AVR chips on the ISP connector and
24xx serial EEPROMs in the socket. Commands run in order and stop at the first
failure.

Options:
  --simulate[=TEXT]   use the simulated programmer, e.g.
                      --simulate=isp=ATmega8,socket=24AA256,state=chip.qvs
                      (isp=, socket=, timing=none|real, state=FILE keeps the
                      simulated chips between runs; default timing=none)
  --target T          isp (default), a 24xx menu index 0..13, or its name
                      such as 24AA256 or "24AA256 / 24(L/F)C256"
  --lang de|en|ru     language of the log lines (default en)
  --no-verify         do not verify after writing the flash
  --timeout SECONDS   how long to wait for each reply of the programmer
                      (above 0, at most 86400; default 10)
  --quiet             no progress bar
  --help, --version

Production programming:
  --programmer SEL    the programmer to use: all, a number from list, or the
                      identity path list shows; repeatable (default: the
                      first). With several, the chain runs on all of them at
                      once and every line starts with [N]
  --serial MEM:ADDR:LEN[:FORMAT]
                      stamp a serial number into what the chain writes to MEM
                      (flash, or eeprom on ISP) at ADDR (decimal or 0x hex),
                      LEN 1 to 16 bytes, FORMAT le (default), be, ascii
                      (decimal digits) or hex; the image is padded with FF up
                      to it. Each chip takes its number as its write starts
  --serial-file PATH  the file holding the next serial number in decimal; a
                      number is never given out twice, also when its chip fails
  --log PATH          append one JSON line per chip and programmer to PATH
  --repeat[=COUNT]    station mode: after each chip wait for the next (ISP: the
                      socket is polled; 24xx: press Enter), COUNT chips per
                      programmer or until Ctrl+C, then print a summary

Commands:
  detect              identify the chip (ISP)
  erase               erase the chip or the whole 24xx EEPROM
  write-flash FILE    write FILE (.hex or .bin) to the flash or the 24xx EEPROM
  verify FILE         compare FILE with the flash or the 24xx EEPROM
  read-flash FILE     read the flash or the 24xx EEPROM into FILE
  write-eeprom FILE   write FILE to the AVR's EEPROM (ISP)
  read-eeprom FILE    read the AVR's EEPROM into FILE (ISP)
  read-fuses          identify, then list the fuse and lock bits
                      ([x] programmed, [ ] unprogrammed) and calibration bytes
  write-fuses [--program NAMES] [--unprogram NAMES] [--force]
                      identify and read, change the named bits (comma-separated
                      names as read-fuses shows them), write, then read back;
                      newly programming RSTDISBL or DWEN (the chip would no
                      longer answer over ISP) is refused without --force
  convert IN OUT      convert between Intel HEX and binary (no programmer)
  list                the programmers, numbered, then the other HID interfaces:
                      number, ids, identity path, serial number (- for none)
                      and access (read-write or query-only)

A name whose third character from the end is B (e.g. .bin) is binary; for
reading, H (.hex) is Intel HEX; any other output name is written as Intel HEX.
Mind that fw.hex.bak is therefore read as binary: rename it first.

The first Ctrl+C or SIGTERM lets the running operation finish and starts no
further command; a second one stops at once. With --programmer all, --serial,
--log or --repeat the running chains finish first, and a second one aborts them.

Exit status: 0 success, 1 the operation failed or timed out, a fuse bit did not
take or the chip is locked, 2 usage or file error or an image too large for
the target, 3 no programmer found, 130/143 stopped by Ctrl+C/SIGTERM. With
several programmers, the highest of theirs.
)";
}

}  // namespace quenvar
