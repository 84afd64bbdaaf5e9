// The properties of the one atomic save that the buffer and simulator tests do
// not reach: races, a full disk, the two steps, strangers' links, FIFOs. The
// Windows counterparts of the Linux-only cases are in win32/.
#include "quenvar/fileio/atomic_file.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "temp_dir.h"

namespace quenvar {
namespace {

using test::ReadText;
using test::TTempDir;
using test::WriteText;

std::span<const std::uint8_t> AsBytes(const std::string& text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

TEST(AtomicFile, ConcurrentSavesLeaveOneWholeContent) {
  TTempDir dir;
  const std::string target = dir / "race.bin";
  const std::string a(1 << 20, 'A');
  const std::string b(1 << 20, 'B');
  int failed[2] = {0, 0};
  auto saver = [&](const std::string& content, int& failures) {
    for (int i = 0; i < 20; ++i) failures += WriteFileAtomically(target, AsBytes(content)) ? 0 : 1;
  };
  std::thread other(saver, std::cref(b), std::ref(failed[1]));
  saver(a, failed[0]);
  other.join();
  EXPECT_EQ(failed[0] + failed[1], 0);
  const std::string result = ReadText(target);
  EXPECT_TRUE(result == a || result == b) << result.size() << " bytes";
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"race.bin"});
}

#ifndef _WIN32
// A 16 KiB tmpfs in a mount namespace of a child process, so nothing outside
// the test sees it. Needs the rights to mount.
TEST(AtomicFile, FullDiskSaysSoAndLeavesNothing) {
  TTempDir dir;
  int out[2];
  ASSERT_EQ(::pipe(out), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::unshare(CLONE_NEWNS) != 0 ||
        ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("tmpfs", dir.FPath.c_str(), "tmpfs", 0, "size=16k") != 0)
      ::_exit(77);
    const TResult<void> r =
        WriteFileAtomically(dir / "dump.bin", AsBytes(std::string(1 << 16, 'x')));
    const std::string report =
        (r ? std::string("saved") : r.Error().FText) + "|" + std::to_string(dir.Entries().size());
    (void)!::write(out[1], report.data(), report.size());
    ::_exit(0);
  }
  ::close(out[1]);
  char text[256];
  const ssize_t n = ::read(out[0], text, sizeof text);
  ::close(out[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 77) GTEST_SKIP() << "no rights to mount";
  EXPECT_EQ(std::string(text, n > 0 ? static_cast<std::size_t>(n) : 0),
            "No space left on device|0");
}
#endif

// Created early, the temporary file is visible under its own name; given up,
// explicitly or by going out of scope, it is gone and the target untouched.
TEST(AtomicFile, AbortedOrDroppedLeavesTheTargetAlone) {
  TTempDir dir;
  const std::string target = dir / "dump.bin";
  WriteText(target, "old");
  for (const bool explicitly : {true, false}) {
    {
      TResult<TAtomicFile> file = TAtomicFile::Create(target);
      ASSERT_TRUE(file);
      const std::string temp = file.Value().TempPath();
      EXPECT_EQ(temp.substr(0, target.size() + 5), target + ".~tmp");
      EXPECT_EQ(dir.Entries(),
                (std::vector<std::string>{"dump.bin", temp.substr(dir.FPath.string().size() + 1)}));
      ASSERT_TRUE(file.Value().Write(AsBytes("lost")));
      if (explicitly) file.Value().Abort();
    }
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"dump.bin"});
    EXPECT_EQ(ReadText(target), "old");
  }
}

#ifndef _WIN32
// In a /tmp-like folder (sticky, writable for all) a link that belongs to
// someone else is not followed, as the kernel would not follow it either.
TEST(AtomicFile, StrangersLinkInASharedFolderIsRefused) {
  TTempDir dir;
  WriteText(dir / "mine", "kept");
  std::filesystem::create_symlink(dir / "mine", dir / "out.bin");
  ::chmod(dir.FPath.c_str(), 01777);
  if (::lchown((dir / "out.bin").c_str(), ::geteuid() + 1, ::getegid()) != 0)
    GTEST_SKIP() << "cannot give the link to another user";
  const TResult<void> r = WriteFileAtomically(dir / "out.bin", AsBytes("attack"));
  ASSERT_FALSE(r);
  EXPECT_EQ(r.Error().FText, "Permission denied");
  EXPECT_EQ(ReadText(dir / "mine"), "kept");
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"mine", "out.bin"}));
}

// A FIFO or device would be replaced by a regular file (or, opened, block).
TEST(AtomicFile, FifoTargetIsRefused) {
  TTempDir dir;
  ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
  const TResult<void> r = WriteFileAtomically(dir / "pipe", AsBytes("x"));
  ASSERT_FALSE(r);
  EXPECT_EQ(r.Error(), (TError{TErrorKind::Create, "Not a regular file", 0, dir / "pipe"}));
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"pipe"});
}
#endif

}  // namespace
}  // namespace quenvar
