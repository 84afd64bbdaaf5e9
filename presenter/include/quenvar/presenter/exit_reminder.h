#pragma once

namespace quenvar {

// What the main window needs from the exit reminder: show it and return once
// the user has dismissed it. Tests put a fake in its place.
class IExitReminder {
 public:
  virtual ~IExitReminder() = default;
  virtual void ShowModal() = 0;
};

}  // namespace quenvar
