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
  if (!Enabled) return;
  const TClock::time_point now = TClock::now();
  if (!Started || maximum != LastMaximum || position < LastPosition) {
    // A verify after a write starts its own count.
    Started = true;
    Start = now;
    LastMaximum = maximum;
  }
  LastPosition = position;
  if (Shown && now - LastDraw < kRedrawInterval && position < maximum) return;
  const double seconds = std::chrono::duration<double>(now - Start).count();
  std::string line = FormatProgressLine(position, maximum, seconds);
  if (Shown && line == LastLine) return;
  Err << '\r' << line << "\x1b[K" << std::flush;
  LastLine = std::move(line);
  LastDraw = now;
  Shown = true;
}

void TProgressBar::Clear() {
  if (!Shown) return;
  Err << "\r\x1b[K" << std::flush;
  Shown = false;
  LastLine.clear();
}

void TProgressBar::Restart() {
  Clear();
  Started = false;
  LastMaximum = -1;
  LastPosition = 0;
}

}  // namespace quenvar
