#pragma once
// The options of production programming: which programmers run the chain,
// the serial number stamped into each chip, the production log and station
// mode. Pure: no files, no devices.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quenvar {

enum class TSerialMemory : std::uint8_t { Flash, Eeprom };

enum class TSerialFormat : std::uint8_t {
  LittleEndian,  // binary, lowest byte first
  BigEndian,     // binary, highest byte first
  Ascii,         // decimal digits, right-aligned and zero-padded
  Hex,           // upper-case hex digits, zero-padded
};

// --serial MEM:ADDR:LEN[:FORMAT]
struct TSerialStamp {
  TSerialMemory FMemory = TSerialMemory::Flash;
  std::uint32_t FAddress = 0;
  std::uint32_t FLength = 1;
  TSerialFormat FFormat = TSerialFormat::LittleEndian;

  bool operator==(const TSerialStamp&) const = default;
};

inline constexpr std::uint32_t kMaxSerialLength = 16;

struct TProductionOptions {
  // --programmer SEL, as given, in order: "all", a number from `list`, or an
  // identity path.
  std::vector<std::string> FProgrammers;
  std::optional<TSerialStamp> FSerial;
  std::string FSerialFile;                    // --serial-file
  std::string FLogPath;                       // --log
  bool FRepeat = false;                       // --repeat[=COUNT]
  std::optional<std::uint32_t> FRepeatCount;  // empty: until stopped

  // Whether the chain runs as a production run (possibly several programmers
  // at once, serials, a log or station mode) rather than a plain session.
  bool RunsAsProduction() const {
    if (FSerial || !FLogPath.empty() || FRepeat || FProgrammers.size() > 1) return true;
    return !FProgrammers.empty() && FProgrammers.front() == "all";
  }

  bool operator==(const TProductionOptions&) const = default;
};

// Parses the text after --serial; an error text instead.
std::optional<TSerialStamp> ParseSerialStamp(std::string_view text, std::string& error);

// `number` as the LEN bytes the stamp writes; empty when it does not fit.
std::optional<std::vector<std::uint8_t>> SerialBytes(const TSerialStamp& stamp,
                                                     std::uint64_t number);

// How the stamp reads in messages, e.g. "eeprom:0x10:4:ascii".
std::string SerialStampText(const TSerialStamp& stamp);

// Takes one production option at args[i] (advancing `i` past its value).
// Returns false when args[i] is none of them; `error` is set when it is one
// but its value is bad.
bool ParseProductionOption(std::span<const std::string> args, std::size_t& i,
                           TProductionOptions& options, std::string& error);

struct TCliOptions;
// What the production options and the chain say against each other (a serial
// without its file, or for a memory no command writes; a command a production
// run cannot do); empty when they agree.
std::string ProductionChainError(const TCliOptions& options);

}  // namespace quenvar
