#include "quenvar/cli/progress_bar.h"

#include <algorithm>
#include <cstdio>
#include <ostream>

namespace quenvar {

namespace {

constexpr int kBarWidth = 30;
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

std::string Rate(double bytesPerSecond) {
  char text[32];
  if (bytesPerSecond < 1024.0)
    std::snprintf(text, sizeof text, "%.0f B/s", bytesPerSecond);
  else if (bytesPerSecond < 1024.0 * 1024.0)
    std::snprintf(text, sizeof text, "%.1f KiB/s", bytesPerSecond / 1024.0);
  else
    std::snprintf(text, sizeof text, "%.1f MiB/s", bytesPerSecond / (1024.0 * 1024.0));
  return text;
}

}  // namespace

std::string FormatProgressLine(std::int64_t position, std::int64_t maximum, double seconds) {
  const std::int64_t max = std::max<std::int64_t>(maximum, 0);
  const std::int64_t pos = std::clamp<std::int64_t>(position, 0, max);
  const int percent = max > 0 ? static_cast<int>(pos * 100 / max) : 0;
  const int filled = max > 0 ? static_cast<int>(pos * kBarWidth / max) : 0;
  std::string line = "[";
  line.append(static_cast<std::size_t>(filled), '#');
  line.append(static_cast<std::size_t>(kBarWidth - filled), '.');
  line += "] ";
  char number[64];
  std::snprintf(number, sizeof number, "%3d%%  %lld/%lld bytes", percent,
                static_cast<long long>(pos), static_cast<long long>(max));
  line += number;
  // Below a tenth of a second the rate says nothing yet.
  if (seconds >= 0.1) {
    line += "  ";
    line += Rate(static_cast<double>(pos) / seconds);
  }
  return line;
}

void TProgressBar::Update(std::int64_t position, std::int64_t maximum) {
  if (!FEnabled) return;
  const TClock::time_point now = TClock::now();
  if (!FStarted || maximum != FLastMaximum || position < FLastPosition) {
    // A verify after a write starts its own count.
    FStarted = true;
    FStart = now;
    FLastMaximum = maximum;
  }
  FLastPosition = position;
  if (FShown && now - FLastDraw < kRedrawInterval && position < maximum) return;
  const double seconds = std::chrono::duration<double>(now - FStart).count();
  std::string line = FormatProgressLine(position, maximum, seconds);
  if (FShown && line == FLastLine) return;
  FErr << '\r' << line << "\x1b[K" << std::flush;
  FLastLine = std::move(line);
  FLastDraw = now;
  FShown = true;
}

void TProgressBar::Clear() {
  if (!FShown) return;
  FErr << "\r\x1b[K" << std::flush;
  FShown = false;
  FLastLine.clear();
}

void TProgressBar::Restart() {
  Clear();
  FStarted = false;
  FLastMaximum = -1;
  FLastPosition = 0;
}

}  // namespace quenvar
