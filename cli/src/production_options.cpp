#include "quenvar/cli/production_options.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>

#include "cli_option_value.h"
#include "quenvar/cli/cli_options.h"

namespace quenvar {

namespace {

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// Decimal, or hex after "0x"; no sign, no blanks.
bool ParseNumber(std::string_view text, std::uint64_t& out) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  if (text.empty()) return false;
  const char* last = text.data() + text.size();
  auto [end, ec] = std::from_chars(text.data(), last, out, base);
  return ec == std::errc() && end == last;
}

struct TFormatName {
  std::string_view FName;
  TSerialFormat FFormat;
};

constexpr TFormatName kFormats[] = {
    {"le", TSerialFormat::LittleEndian},
    {"be", TSerialFormat::BigEndian},
    {"ascii", TSerialFormat::Ascii},
    {"hex", TSerialFormat::Hex},
};

// Digits of `number` in `base`, upper case.
std::string Digits(std::uint64_t number, unsigned base) {
  char text[32];
  auto [end, ec] = std::to_chars(text, text + sizeof text, number, static_cast<int>(base));
  std::string digits(text, end);
  for (char& c : digits) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return digits;
}

}  // namespace

std::optional<TSerialStamp> ParseSerialStamp(std::string_view text, std::string& error) {
  const std::string shape = "bad --serial '" + std::string(text) +
                            "'; give MEM:ADDR:LEN[:FORMAT], e.g. eeprom:0x10:4:ascii";
  std::vector<std::string_view> parts;
  for (std::size_t start = 0;;) {
    const std::size_t colon = text.find(':', start);
    parts.push_back(text.substr(start, colon == std::string_view::npos ? colon : colon - start));
    if (colon == std::string_view::npos) break;
    start = colon + 1;
  }
  if (parts.size() < 3 || parts.size() > 4) {
    error = shape;
    return std::nullopt;
  }
  TSerialStamp stamp;
  const std::string memory = Lower(parts[0]);
  if (memory == "flash") {
    stamp.FMemory = TSerialMemory::Flash;
  } else if (memory == "eeprom") {
    stamp.FMemory = TSerialMemory::Eeprom;
  } else {
    error = "bad --serial memory '" + std::string(parts[0]) + "'; give flash or eeprom";
    return std::nullopt;
  }
  std::uint64_t address = 0;
  if (!ParseNumber(parts[1], address) || address > UINT32_MAX) {
    error = "bad --serial address '" + std::string(parts[1]) + "'; give decimal or 0x hex";
    return std::nullopt;
  }
  stamp.FAddress = static_cast<std::uint32_t>(address);
  std::uint64_t length = 0;
  if (!ParseNumber(parts[2], length) || length < 1 || length > kMaxSerialLength) {
    error = "bad --serial length '" + std::string(parts[2]) + "'; give 1 to " +
            std::to_string(kMaxSerialLength) + " bytes";
    return std::nullopt;
  }
  stamp.FLength = static_cast<std::uint32_t>(length);
  if (parts.size() == 4) {
    const std::string name = Lower(parts[3]);
    const auto* found = std::find_if(std::begin(kFormats), std::end(kFormats),
                                     [&](const TFormatName& f) { return f.FName == name; });
    if (found == std::end(kFormats)) {
      error = "bad --serial format '" + std::string(parts[3]) + "'; give le, be, ascii or hex";
      return std::nullopt;
    }
    stamp.FFormat = found->FFormat;
  }
  return stamp;
}

std::optional<std::vector<std::uint8_t>> SerialBytes(const TSerialStamp& stamp,
                                                     std::uint64_t number) {
  const std::size_t length = stamp.FLength;
  std::vector<std::uint8_t> bytes(length, 0);
  switch (stamp.FFormat) {
    case TSerialFormat::LittleEndian:
    case TSerialFormat::BigEndian: {
      std::uint64_t rest = number;
      for (std::size_t i = 0; i < length && rest != 0; ++i, rest >>= 8) {
        const std::size_t at = stamp.FFormat == TSerialFormat::LittleEndian ? i : length - 1 - i;
        bytes[at] = static_cast<std::uint8_t>(rest & 0xFF);
      }
      if (rest != 0) return std::nullopt;
      return bytes;
    }
    case TSerialFormat::Ascii:
    case TSerialFormat::Hex: {
      const std::string digits = Digits(number, stamp.FFormat == TSerialFormat::Ascii ? 10 : 16);
      if (digits.size() > length) return std::nullopt;
      std::fill(bytes.begin(), bytes.end(), static_cast<std::uint8_t>('0'));
      std::copy(digits.begin(), digits.end(),
                bytes.end() - static_cast<std::ptrdiff_t>(digits.size()));
      return bytes;
    }
  }
  return std::nullopt;
}

std::string SerialStampText(const TSerialStamp& stamp) {
  char address[16];
  std::snprintf(address, sizeof address, "0x%X", stamp.FAddress);
  std::string_view format = "le";
  for (const TFormatName& f : kFormats)
    if (f.FFormat == stamp.FFormat) format = f.FName;
  return std::string(stamp.FMemory == TSerialMemory::Flash ? "flash" : "eeprom") + ":" + address +
         ":" + std::to_string(stamp.FLength) + ":" + std::string(format);
}

bool ParseProductionOption(std::span<const std::string> args, std::size_t& i,
                           TProductionOptions& options, std::string& error) {
  const std::string& arg = args[i];
  auto twice = [&error](std::string_view name) {
    error = "option '" + std::string(name) + "' given twice";
    return true;
  };
  if (arg == "--repeat" || arg.rfind("--repeat=", 0) == 0) {
    if (options.FRepeat) return twice("--repeat");
    options.FRepeat = true;
    if (arg.size() > 8) {
      std::uint64_t count = 0;
      const std::string_view text = std::string_view(arg).substr(9);
      if (text.rfind("0x", 0) == 0 || !ParseNumber(text, count) || count < 1 ||
          count > UINT32_MAX) {
        error = "bad --repeat count '" + std::string(text) + "'; give a number of chips from 1";
        return true;
      }
      options.FRepeatCount = static_cast<std::uint32_t>(count);
    }
    return true;
  }
  static constexpr std::string_view kValued[] = {"--programmer", "--serial", "--serial-file",
                                                 "--log"};
  for (std::string_view name : kValued) {
    std::string value;
    bool matched = false;
    if (!TakeValue(args, i, name, value, matched)) {
      error = "option '" + std::string(name) + "' needs a value";
      return true;
    }
    if (!matched) continue;
    if (name != "--programmer" && value.empty()) {
      error = "option '" + std::string(name) + "' needs a value";
      return true;
    }
    if (name == "--programmer") {
      if (value.empty() || value == "0") {
        error =
            "bad --programmer '" + value + "'; give all, a number from list, or an identity path";
        return true;
      }
      options.FProgrammers.push_back(value);
    } else if (name == "--serial") {
      if (options.FSerial) return twice(name);
      options.FSerial = ParseSerialStamp(value, error);
    } else if (name == "--serial-file") {
      if (!options.FSerialFile.empty()) return twice(name);
      options.FSerialFile = value;
    } else {
      if (!options.FLogPath.empty()) return twice(name);
      options.FLogPath = value;
    }
    return true;
  }
  return false;
}

std::string ProductionChainError(const TCliOptions& options) {
  const TProductionOptions& p = options.FProduction;
  if (p.FSerial && p.FSerialFile.empty()) return "option '--serial' needs --serial-file PATH";
  if (!p.FSerial && !p.FSerialFile.empty()) return "option '--serial-file' needs --serial";
  if (p.FSerial && p.FSerial->FMemory == TSerialMemory::Eeprom && options.FEepromIndex)
    return "--serial eeprom needs the ISP target: a 24xx EEPROM is written with write-flash";
  if (p.FSerial) {
    const TCliCommandKind write = p.FSerial->FMemory == TSerialMemory::Flash
                                      ? TCliCommandKind::WriteFlash
                                      : TCliCommandKind::WriteEeprom;
    const bool writes = std::any_of(options.FCommands.begin(), options.FCommands.end(),
                                    [write](const TCliCommand& c) { return c.FKind == write; });
    if (!writes)
      return "--serial " + SerialStampText(*p.FSerial) + ": the chain has no " +
             std::string(CommandName(write)) + " to stamp it into";
  }
  if (!p.RunsAsProduction()) return {};
  for (const TCliCommand& command : options.FCommands) switch (command.FKind) {
      case TCliCommandKind::ReadFlash:
      case TCliCommandKind::ReadEeprom:
      case TCliCommandKind::Convert:
      case TCliCommandKind::List:
      case TCliCommandKind::WriteFuses:
        return "command '" + std::string(CommandName(command.FKind)) +
               "' does not run with several programmers, --serial, --log or --repeat";
      default:
        break;
    }
  return {};
}

}  // namespace quenvar
