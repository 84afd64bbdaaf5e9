#include "../ui_wakeup.h"

#include <windows.h>

namespace quenvar::hid_detail {

// Auto-reset: a wait that returns has used the wakeup up.
TUiWakeup::TUiWakeup() : FEvent(::CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

TUiWakeup::~TUiWakeup() {
  if (FEvent != nullptr) ::CloseHandle(FEvent);
}

void TUiWakeup::Wake() {
  ::SetEvent(FEvent);
}

// Windows change sources have no descriptors; they call Wake.
void TUiWakeup::Wait(std::chrono::milliseconds timeout, std::span<const int>) {
  ::WaitForSingleObject(FEvent, static_cast<DWORD>(timeout.count()));
}

}  // namespace quenvar::hid_detail
