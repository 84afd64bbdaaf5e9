#include "cli_stop.h"

#include <ostream>

#include "cli_texts.h"
#include "quenvar/cli/progress_bar.h"

namespace quenvar {

void TCliStop::Poll(TProgressBar* bar) {
  if (!FEnv.FPollStop) return;
  FLast = FEnv.FPollStop();
  if (FLast.FCount > 0 && !FAnnounced) {
    FAnnounced = true;
    if (bar != nullptr) bar->Clear();
    FErr << cli_texts::Fill(cli_texts::kStopping, FLanguage) << '\n';
    FErr.flush();
  }
}

bool TCliStop::Requested(TProgressBar* bar) {
  Poll(bar);
  return FLast.FCount > 0;
}

bool TCliStop::Abandon(TProgressBar* bar) {
  Poll(bar);
  return FLast.FCount > 1;
}

}  // namespace quenvar
