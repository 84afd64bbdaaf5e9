#include "quenvar/sim/sim_config.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace quenvar {

namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

std::string Lower(std::string_view s) {
  std::string out(s);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

std::string IspChoices() {
  std::string list;
  for (const auto& m : SimAvrModels()) {
    list += m.FName;
    list += ", ";
  }
  return list + "locked, locked:CHIP, none, sig:HHHHHH";
}

std::string SocketChoices() {
  std::string list;
  for (const auto& m : Sim24xxModels()) {
    if (!list.empty()) list += ", ";
    list += m.FShortName;
  }
  return list;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A whole number from 1 to `max`, digits only; nothing otherwise.
std::optional<std::uint32_t> ParseCount(std::string_view value, std::uint32_t max) {
  std::uint32_t n = 0;
  const char* end = value.data() + value.size();
  const auto [ptr, ec] = std::from_chars(value.data(), end, n);
  if (value.empty() || value.front() == '+' || ec != std::errc{} || ptr != end || n < 1 ||
      n > max) {
    return std::nullopt;
  }
  return n;
}

std::string ParseIsp(std::string_view value, TSimIspSetup& isp) {
  const std::string lower = Lower(value);
  if (lower == "none") {
    isp = {TSimIspKind::None, "", {}};
    return {};
  }
  if (lower == "locked") {
    isp = {TSimIspKind::Locked, "", {}};
    return {};
  }
  if (lower.rfind("sig:", 0) == 0) {
    const std::string_view hex = value.substr(4);
    const bool ok = hex.size() == 6 &&
                    std::all_of(hex.begin(), hex.end(), [](char c) { return HexDigit(c) >= 0; });
    if (!ok) {
      return "bad signature '" + std::string(value) +
             "'; write sig: and six hex digits, e.g. sig:1E9307";
    }
    isp = {TSimIspKind::Signature, "", {}};
    for (std::size_t i = 0; i < 3; ++i) {
      isp.FSignature[i] =
          static_cast<std::uint8_t>(HexDigit(hex[2 * i]) * 16 + HexDigit(hex[2 * i + 1]));
    }
    return {};
  }
  const bool locked = lower.rfind("locked:", 0) == 0;
  const TSimAvrModel* model = FindSimAvrModel(locked ? value.substr(7) : value);
  if (!model) return "unknown ISP chip '" + std::string(value) + "'; valid: " + IspChoices();
  isp = {locked ? TSimIspKind::Locked : TSimIspKind::Chip, std::string(model->FName), {}};
  return {};
}

TError BadSetting(std::string text) {
  return TError{TErrorKind::BadOption, std::move(text)};
}

}  // namespace

TResult<TSimConfig> ParseSimConfig(std::string_view text) {
  TSimConfig config;
  std::string seen;  // "key;" per setting already given
  while (!text.empty()) {
    const std::size_t comma = text.find(',');
    const std::string_view item = Trim(text.substr(0, comma));
    text = comma == std::string_view::npos ? std::string_view{} : text.substr(comma + 1);
    if (item.empty()) continue;  // tolerate "a=b,,c=d" and a trailing comma

    const std::size_t eq = item.find('=');
    if (eq == std::string_view::npos) {
      return BadSetting("simulation setting '" + std::string(item) +
                        "' has no value; write NAME=VALUE");
    }
    const std::string key = Lower(Trim(item.substr(0, eq)));
    const std::string_view value = Trim(item.substr(eq + 1));
    if (key != "isp" && key != "socket" && key != "timing" && key != "state" &&
        key != "programmers" && key != "chips") {
      return BadSetting("unknown simulation setting '" + std::string(Trim(item.substr(0, eq))) +
                        "'; valid settings: isp, socket, timing, state, programmers, chips");
    }
    if (seen.find(key + ";") != std::string::npos) {
      return BadSetting("simulation setting '" + key + "' given twice");
    }
    seen += key + ";";

    if (key == "isp") {
      if (std::string error = ParseIsp(value, config.FIsp); !error.empty()) {
        return BadSetting(error);
      }
    } else if (key == "socket") {
      const TSim24xxModel* model = FindSim24xxModel(value);
      if (!model) {
        return BadSetting("unknown socket EEPROM '" + std::string(value) +
                          "'; valid: " + SocketChoices());
      }
      config.FSocket = std::string(model->FShortName);
    } else if (key == "timing") {
      const std::string lower = Lower(value);
      if (lower != "none" && lower != "real") {
        return BadSetting("unknown timing '" + std::string(value) + "'; valid: none, real");
      }
      config.FRealTiming = lower == "real";
    } else if (key == "programmers" || key == "chips") {
      const bool programmers = key == "programmers";
      const std::uint32_t max = programmers ? kMaxSimProgrammers : kMaxSimChips;
      const std::optional<std::uint32_t> n = ParseCount(value, max);
      if (!n) {
        return BadSetting("bad " + key + " count '" + std::string(value) +
                          "'; write a whole number from 1 to " + std::to_string(max));
      }
      if (programmers) {
        config.FProgrammers = *n;
      } else {
        config.FChips = *n;
      }
    } else {
      if (value.empty()) return BadSetting("simulation setting 'state' needs a file path");
      config.FStatePath = std::string(value);
    }
  }
  return config;
}

TSimAvrChip MakeSimAvrChip(const TSimIspSetup& setup) {
  switch (setup.FKind) {
    case TSimIspKind::Chip:
      if (const TSimAvrModel* model = FindSimAvrModel(setup.FChipName)) return TSimAvrChip(*model);
      return TSimAvrChip::None();
    case TSimIspKind::Locked:
      return TSimAvrChip::Locked(setup.FChipName.empty() ? nullptr
                                                         : FindSimAvrModel(setup.FChipName));
    case TSimIspKind::None:
      return TSimAvrChip::None();
    case TSimIspKind::Signature:
      return TSimAvrChip::WithSignature(setup.FSignature);
  }
  return TSimAvrChip::None();
}

}  // namespace quenvar
