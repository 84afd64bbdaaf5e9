#include "cli_stop.h"

#include <ostream>

#include "cli_texts.h"
#include "quenvar/cli/progress_bar.h"

namespace quenvar {

void TCliStop::Poll(TProgressBar* bar) {
  if (!FEnv.PollStop) return;
  FLast = FEnv.PollStop();
  if (FLast.Count > 0 && !FAnnounced) {
    FAnnounced = true;
    if (bar != nullptr) bar->Clear();
    FErr << cli_texts::Fill(cli_texts::kStopping, FLanguage) << '\n';
    FErr.flush();
  }
}

bool TCliStop::Requested(TProgressBar* bar) {
  Poll(bar);
  return FLast.Count > 0;
}

bool TCliStop::Abandon(TProgressBar* bar) {
  Poll(bar);
  return FLast.Count > 1;
}

}  // namespace quenvar
