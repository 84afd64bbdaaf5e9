#pragma once
// Runs a program directly (no shell, so arguments need no quoting) and gives
// its exit status and standard output; standard input and error are the null
// device. Or starts one in the background, to wait for or kill later. On Windows the arguments go
// through CreateProcessW in UTF-16, as a console would pass them.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#ifdef _WIN32
#include <windows.h>

#include "quenvar/fileio/utf16.h"
#else
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#endif

namespace quenvar::test {

struct TProgramRun {
  int FStatus = -1;  // the exit status; -1 when the program could not be run or was killed
  std::string FOut;
};

// A program started in the background by StartProgram, its standard output
// and error going to a file.
struct TStartedProgram {
#ifdef _WIN32
  HANDLE FProcess = nullptr;
#else
  pid_t FPid = -1;
#endif
};

// What WaitProgram gives for a program that KillProgram ended: 128 + SIGKILL,
// as a shell says; on Windows the exit code KillProgram gives it.
inline constexpr int kKilledStatus = 128 + 9;

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

// Starts the program with standard input from the null device, output to
// `out` and errors to `err` (null: the null device); its process handle, or
// null when it could not start.
inline HANDLE Spawn(const std::string& program, const std::vector<std::string>& args, HANDLE out,
                    HANDLE err) {
  std::wstring commandLine = QuotedArgument(program);
  for (const std::string& arg : args) commandLine += L" " + QuotedArgument(arg);
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  const HANDLE null =
      ::CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    &inherit, OPEN_EXISTING, 0, nullptr);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = null;
  startup.hStdOutput = out;
  startup.hStdError = err != nullptr ? err : null;
  PROCESS_INFORMATION process{};
  const bool started = ::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0,
                                        nullptr, nullptr, &startup, &process);
  ::CloseHandle(null);
  if (!started) return nullptr;
  ::CloseHandle(process.hThread);
  return process.hProcess;
}

// Waits for the process to end and lets its handle go; its exit code, or -1.
inline int ExitCode(HANDLE process) {
  ::WaitForSingleObject(process, INFINITE);
  DWORD code = 0;
  const bool known = ::GetExitCodeProcess(process, &code);
  ::CloseHandle(process);
  return known ? static_cast<int>(code) : -1;
}

inline TProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args) {
  TProgramRun run;
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!::CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return run;
  ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  const HANDLE process = Spawn(program, args, writeEnd, nullptr);
  ::CloseHandle(writeEnd);
  if (process != nullptr) {
    char buffer[4096];
    DWORD n = 0;
    while (::ReadFile(readEnd, buffer, sizeof buffer, &n, nullptr) && n > 0)
      run.FOut.append(buffer, n);
    run.FStatus = ExitCode(process);
  }
  ::CloseHandle(readEnd);
  return run;
}

inline TStartedProgram StartProgram(const std::string& program,
                                    const std::vector<std::string>& args,
                                    const std::string& output) {
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  const std::u16string name = Utf8ToUtf16(output).value_or(u"");
  const HANDLE file = ::CreateFileW(std::wstring(name.begin(), name.end()).c_str(), GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  const TStartedProgram started{Spawn(program, args, file, file)};
  ::CloseHandle(file);
  return started;
}

// Ends the program at once, as SIGKILL does.
inline void KillProgram(const TStartedProgram& started) {
  ::TerminateProcess(started.FProcess, kKilledStatus);
}

// The exit status; -1 when the program did not start.
inline int WaitProgram(TStartedProgram& started) {
  if (started.FProcess == nullptr) return -1;
  return ExitCode(std::exchange(started.FProcess, nullptr));
}

#else

// Starts the program with standard input from /dev/null, output to `out` and
// errors to `err` (-1: /dev/null); its process id, or -1.
inline pid_t Spawn(const std::string& program, const std::vector<std::string>& args, int out,
                   int err) {
  const pid_t pid = ::fork();
  if (pid != 0) return pid;
  const int null = ::open("/dev/null", O_RDWR);
  ::dup2(null, 0);
  ::dup2(out, 1);
  ::dup2(err >= 0 ? err : null, 2);
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  ::execv(argv[0], argv.data());
  ::_exit(127);
}

inline TProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args) {
  TProgramRun run;
  int out[2];
  if (::pipe(out) != 0) return run;
  const pid_t pid = Spawn(program, args, out[1], -1);
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

inline TStartedProgram StartProgram(const std::string& program,
                                    const std::vector<std::string>& args,
                                    const std::string& output) {
  const int file = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  const TStartedProgram started{Spawn(program, args, file, file)};
  ::close(file);
  return started;
}

inline void KillProgram(const TStartedProgram& started) {
  ::kill(started.FPid, SIGKILL);
}

// The exit status, or 128 + the signal that ended the program; -1 when it did not start.
inline int WaitProgram(TStartedProgram& started) {
  int status = 0;
  if (started.FPid <= 0 || ::waitpid(std::exchange(started.FPid, -1), &status, 0) < 0) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

#endif

}  // namespace quenvar::test
