#pragma once
// Runs a program directly (no shell, so arguments need no quoting) and gives
// its exit status and standard output; standard input and error are the null
// device. On Windows the arguments go through CreateProcessW in UTF-16, as a
// console would pass them.

#include <cstdint>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>

#include "quenvar/fileio/utf16.h"
#else
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace quenvar::test {

struct TProgramRun {
  int FStatus = -1;  // the exit status; -1 when the program could not be run or was killed
  std::string FOut;
};

#ifdef _WIN32

// One argument as CommandLineToArgvW reads it back: quoted, with the
// backslashes before a quote doubled and the quote escaped.
inline std::wstring QuotedArgument(const std::string& arg) {
  const std::u16string wide = Utf8ToUtf16(arg).value_or(u"");
  std::wstring out = L"\"";
  std::size_t backslashes = 0;
  for (const char16_t c : wide) {
    if (c == u'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == u'"' ? 2 * backslashes + 1 : backslashes, L'\\');
    backslashes = 0;
    out += static_cast<wchar_t>(c);
  }
  out.append(2 * backslashes, L'\\');
  return out + L"\"";
}

inline TProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args) {
  TProgramRun run;
  std::wstring commandLine = QuotedArgument(program);
  for (const std::string& arg : args) commandLine += L" " + QuotedArgument(arg);
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!::CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return run;
  ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  const HANDLE null =
      ::CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    &inherit, OPEN_EXISTING, 0, nullptr);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = null;
  startup.hStdOutput = writeEnd;
  startup.hStdError = null;
  PROCESS_INFORMATION process{};
  const bool started = ::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0,
                                        nullptr, nullptr, &startup, &process);
  ::CloseHandle(writeEnd);
  ::CloseHandle(null);
  if (started) {
    char buffer[4096];
    DWORD n = 0;
    while (::ReadFile(readEnd, buffer, sizeof buffer, &n, nullptr) && n > 0)
      run.Out.append(buffer, n);
    ::WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    if (::GetExitCodeProcess(process.hProcess, &code)) run.Status = static_cast<int>(code);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
  }
  ::CloseHandle(readEnd);
  return run;
}

#else

inline TProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args) {
  TProgramRun run;
  int out[2];
  if (::pipe(out) != 0) return run;
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int null = ::open("/dev/null", O_RDWR);
    ::dup2(null, 0);
    ::dup2(out[1], 1);
    ::dup2(null, 2);
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(out[1]);
  char buffer[4096];
  ssize_t n = 0;
  while ((n = ::read(out[0], buffer, sizeof buffer)) > 0)
    run.FOut.append(buffer, static_cast<std::size_t>(n));
  ::close(out[0]);
  int raw = 0;
  if (pid > 0 && ::waitpid(pid, &raw, 0) == pid && WIFEXITED(raw)) run.FStatus = WEXITSTATUS(raw);
  return run;
}

#endif

}  // namespace quenvar::test
