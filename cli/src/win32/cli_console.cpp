#include "quenvar/cli/cli_console.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

#include "quenvar/fileio/utf16.h"

namespace quenvar {

TCliConsole::TCliConsole() : FSavedCodePage(::GetConsoleOutputCP()) {
  // 0 without a console: nothing to set and nothing to put back.
  if (FSavedCodePage != 0) ::SetConsoleOutputCP(CP_UTF8);
  // The progress display moves the cursor with escape sequences, which a
  // console shows as text unless told otherwise.
  const HANDLE err = ::GetStdHandle(STD_ERROR_HANDLE);
  DWORD mode = 0;
  if (::GetConsoleMode(err, &mode) && (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) == 0 &&
      ::SetConsoleMode(err, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING)) {
    FSavedErrMode = mode;
    FErrModeChanged = true;
  }
  // Text mode would write "\r\n" for every "\n" into files and pipes too.
  std::fflush(stdout);
  std::fflush(stderr);
  ::_setmode(_fileno(stdout), _O_BINARY);
  ::_setmode(_fileno(stderr), _O_BINARY);
}

TCliConsole::~TCliConsole() {
  std::fflush(stdout);
  std::fflush(stderr);
  // The console outlives the program; the shell's code page is the shell's.
  if (FSavedCodePage != 0) ::SetConsoleOutputCP(FSavedCodePage);
  if (FErrModeChanged) ::SetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), FSavedErrMode);
}

bool TCliConsole::ErrIsTerminal() {
  // A console too old for escape sequences would show them: no bar there.
  DWORD mode = 0;
  return ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode) != 0 &&
         (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

std::vector<std::string> Utf8Arguments(int argc, const wchar_t* const* argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    const std::wstring_view arg(argv[i]);
    args.push_back(Utf16ToUtf8(std::u16string(arg.begin(), arg.end())));
  }
  return args;
}

}  // namespace quenvar
