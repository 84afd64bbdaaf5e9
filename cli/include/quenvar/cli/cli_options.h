#pragma once
// The command line of quenvar-cli taken apart: global options, then a chain of
// commands that run in order in one session. Pure: no files, no devices.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "quenvar/cli/production_options.h"

namespace quenvar {

enum class TCliCommandKind : std::uint8_t {
  Detect,
  Erase,
  WriteFlash,
  Verify,
  ReadFlash,
  WriteEeprom,
  ReadEeprom,
  ReadFuses,
  WriteFuses,
  Convert,
  List,
};

struct TCliCommand {
  TCliCommandKind FKind = TCliCommandKind::Detect;
  std::vector<std::string> FFiles;      // FILE, or IN and OUT for convert
  std::vector<std::string> FProgram;    // write-fuses --program
  std::vector<std::string> FUnprogram;  // write-fuses --unprogram
  bool FForce = false;                  // write-fuses --force: also bits that end ISP access

  bool operator==(const TCliCommand&) const = default;
};

struct TCliOptions {
  bool FSimulate = false;
  std::string FSimulateText;                // as given after --simulate=
  std::optional<std::size_t> FEepromIndex;  // 24xx menu index; empty: the ISP connector
  std::uint8_t FLanguageIndex = 1;          // 0 German, 1 English, 2 Russian
  bool FVerify = true;
  std::optional<std::chrono::milliseconds> FTimeout;
  bool FQuiet = false;
  bool FHelp = false;
  bool FVersion = false;
  std::vector<TCliCommand> FCommands;
  TProductionOptions FProduction;
};

struct TCliParseResult {
  TCliOptions FOptions;
  std::string FError;  // empty when the command line is usable

  bool Ok() const { return FError.empty(); }
};

// Arguments without the program name.
TCliParseResult ParseCliArgs(std::span<const std::string> args);

// The command's name as typed, e.g. "write-flash".
std::string_view CommandName(TCliCommandKind kind);
// Whether the command talks to the programmer.
bool NeedsProgrammer(TCliCommandKind kind);

// --target: "isp", a menu index 0..13, or a 24xx caption (case and blanks
// ignored; the first type name of the caption, e.g. "24AA256", works too).
// Sets `index` (empty for the ISP connector); false for anything else.
bool ParseTarget(std::string_view text, std::optional<std::size_t>& index);

// "list" of fuse names for --program/--unprogram: comma-separated, blanks
// around the commas dropped.
std::vector<std::string> SplitNames(std::string_view text);

// The usage text of --help.
std::string CliHelpText();

}  // namespace quenvar
