// Standard input of a 24xx station on Windows, looked at without blocking: a
// console by its key events, a pipe by what it holds, a file read to its end.
#include <io.h>
#include <windows.h>

#include <algorithm>

#include "../production_run.h"

namespace quenvar {

namespace {

// Enter presses among the console's pending events, which are used up.
int ConsoleEnters(HANDLE console, bool& closed) {
  int enters = 0;
  for (;;) {
    DWORD pending = 0;
    if (!::GetNumberOfConsoleInputEvents(console, &pending)) {
      closed = true;  // a console that cannot be read any more announces no chip
      break;
    }
    INPUT_RECORD events[32];
    DWORD n = 0;
    if (pending == 0 || !::ReadConsoleInputW(console, events, std::min<DWORD>(pending, 32), &n) ||
        n == 0)
      break;
    for (DWORD i = 0; i < n; ++i) {
      const KEY_EVENT_RECORD& key = events[i].Event.KeyEvent;
      if (events[i].EventType == KEY_EVENT && key.bKeyDown && key.wVirtualKeyCode == VK_RETURN)
        enters += std::max<int>(key.wRepeatCount, 1);
    }
  }
  return enters;
}

// Line ends in what a pipe or a file holds now; closed at its end.
int StreamEnters(HANDLE input, bool isPipe, bool& closed) {
  int enters = 0;
  for (;;) {
    DWORD available = 0;
    if (isPipe && !::PeekNamedPipe(input, nullptr, 0, nullptr, &available, nullptr)) {
      closed = true;  // the writer has closed it
      break;
    }
    if (isPipe && available == 0) break;
    char buffer[256];
    DWORD n = 0;
    const DWORD want = isPipe ? std::min<DWORD>(available, sizeof buffer) : sizeof buffer;
    if (!::ReadFile(input, buffer, want, &n, nullptr) || n == 0) {
      closed = true;
      break;
    }
    enters += static_cast<int>(std::count(buffer, buffer + n, '\n'));
  }
  return enters;
}

}  // namespace

bool TLineInput::Drain() {
  if (FClosed) return false;
  const auto input = reinterpret_cast<HANDLE>(::_get_osfhandle(FFd));
  int enters = 0;
  switch (input == INVALID_HANDLE_VALUE ? FILE_TYPE_UNKNOWN : ::GetFileType(input)) {
    case FILE_TYPE_CHAR: {
      DWORD mode = 0;
      if (::GetConsoleMode(input, &mode))
        enters = ConsoleEnters(input, FClosed);
      else
        FClosed = true;  // NUL or a device: nobody types there
      break;
    }
    case FILE_TYPE_PIPE:
      enters = StreamEnters(input, true, FClosed);
      break;
    case FILE_TYPE_DISK:
      enters = StreamEnters(input, false, FClosed);
      break;
    default:
      FClosed = true;
  }
  FEnters += enters;
  return enters > 0 || FClosed;
}

}  // namespace quenvar
