#pragma once
// The commands the UHID bridge takes on its control channel, one per line:
//   unplug             destroy the device now
//   replug | plug      create it again (a new connection)
//   unplug-after N     pull the cable once N more output reports were served
//   stats              print the report counters
//   quit               unplug and end

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quenvar {

enum class TUhidCommandKind : std::uint8_t { Unplug, Replug, UnplugAfter, Stats, Quit };

struct TUhidCommand {
  TUhidCommandKind FKind = TUhidCommandKind::Stats;
  std::uint64_t FCount = 0;  // UnplugAfter only, at least 1

  bool operator==(const TUhidCommand&) const = default;
};

// Blanks around words are ignored; anything else gives no command.
std::optional<TUhidCommand> ParseUhidCommand(std::string_view line);

// Splits what arrived on the channel into lines; a line without its end stays
// in `pending` for the next read.
template <class F>
void ForEachUhidLine(std::string& pending, std::string_view received, F&& onLine) {
  pending.append(received);
  std::size_t start = 0;
  for (std::size_t nl; (nl = pending.find('\n', start)) != std::string::npos; start = nl + 1)
    onLine(std::string_view(pending).substr(start, nl - start));
  pending.erase(0, start);
}

}  // namespace quenvar
