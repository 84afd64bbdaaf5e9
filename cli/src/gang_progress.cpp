#include "gang_progress.h"

#include <ostream>

namespace quenvar {

namespace {

// Back to the start of the first of `lines` drawn lines.
std::string ToFirstLine(std::size_t lines) {
  std::string move = "\r";
  if (lines > 1) move += "\x1b[" + std::to_string(lines - 1) + "A";
  return move;
}

}  // namespace

void TGangProgress::Draw(const std::vector<std::string>& lines) {
  if (!FEnabled || lines.empty() || lines == FLast) return;
  std::string text;
  if (FShown > 0) text = ToFirstLine(FShown) + "\x1b[J";
  for (std::size_t i = 0; i < lines.size(); ++i) {
    text += lines[i] + "\x1b[K";
    if (i + 1 < lines.size()) text += '\n';
  }
  FErr << text << std::flush;
  FShown = lines.size();
  FLast = lines;
}

void TGangProgress::Clear() {
  if (FShown == 0) return;
  FErr << ToFirstLine(FShown) << "\x1b[J" << std::flush;
  FShown = 0;
  FLast.clear();
}

}  // namespace quenvar
