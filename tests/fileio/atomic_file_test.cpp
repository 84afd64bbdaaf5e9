#include "quenvar/fileio/atomic_file.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "../files/temp_dir.h"

namespace quenvar {
namespace {

namespace fs = std::filesystem;
using testing_files::ReadText;
using testing_files::TTempDir;
using testing_files::WriteText;

std::span<const std::uint8_t> AsBytes(const std::string& text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// Files an attacker or the user left under names a save might pick for its
// temporary file; each must come through the save untouched.
struct TBystander {
  const char* Name;
  const char* Entry;
  bool LinkToVictim;  // else a plain file of the user
};

class AtomicBystanders : public testing::TestWithParam<TBystander> {};

TEST_P(AtomicBystanders, SurviveASave) {
  TTempDir dir;
  WriteText(dir / "victim", "secret");
  WriteText(dir / "dump.bin", "old");
  if (GetParam().LinkToVictim)
    fs::create_symlink(dir / "victim", dir / GetParam().Entry);
  else
    WriteText(dir / GetParam().Entry, "user's own file");

  ASSERT_TRUE(WriteFileAtomically(dir / "dump.bin", AsBytes("flash")));

  EXPECT_EQ(ReadText(dir / "victim"), "secret");
  EXPECT_FALSE(fs::is_symlink(dir / "dump.bin"));
  EXPECT_EQ(ReadText(dir / "dump.bin"), "flash");
  if (!GetParam().LinkToVictim) {
    EXPECT_EQ(ReadText(dir / GetParam().Entry), "user's own file");
  }
  std::vector<std::string> expected = {"dump.bin", GetParam().Entry, "victim"};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(dir.Entries(), expected);
}

INSTANTIATE_TEST_SUITE_P(Names, AtomicBystanders,
                         testing::Values(TBystander{"SaveLink", "dump.bin.~save", true},
                                         TBystander{"TmpLink", "dump.bin.tmp", true},
                                         TBystander{"NumberedLink", "dump.bin.~tmp0", true},
                                         TBystander{"SaveFile", "dump.bin.~save", false},
                                         TBystander{"TmpFile", "dump.bin.tmp", false}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(AtomicFile, ConcurrentSavesLeaveOneWholeContent) {
  TTempDir dir;
  const std::string target = dir / "race.bin";
  const std::string a(1 << 20, 'A');
  const std::string b(1 << 20, 'B');
  int failures = 0;
  auto saver = [&](const std::string& content, int& failed) {
    for (int i = 0; i < 20; ++i)
      if (!WriteFileAtomically(target, AsBytes(content))) ++failed;
  };
  int failedB = 0;
  std::thread other(saver, std::cref(b), std::ref(failedB));
  saver(a, failures);
  other.join();
  EXPECT_EQ(failures + failedB, 0);
  const std::string result = ReadText(target);
  EXPECT_TRUE(result == a || result == b) << result.size() << " bytes";
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"race.bin"});
}

struct TModeCase {
  const char* Name;
  bool Exists;
  mode_t Before;  // of the old file, or the umask
  mode_t After;
};

class AtomicModes : public testing::TestWithParam<TModeCase> {};

TEST_P(AtomicModes, AreKeptOrFollowTheUmask) {
  TTempDir dir;
  const std::string target = dir / "out.hex";
  mode_t oldMask = ::umask(022);
  if (GetParam().Exists) {
    WriteText(target, "old");
    ::chmod(target.c_str(), GetParam().Before);
  } else {
    ::umask(GetParam().Before);
  }
  const TFileResult r = WriteFileAtomically(target, AsBytes("new"));
  ::umask(oldMask);
  ASSERT_TRUE(r);
  struct stat st {};
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, GetParam().After);
}

INSTANTIATE_TEST_SUITE_P(Modes, AtomicModes,
                         testing::Values(TModeCase{"Kept640", true, 0640, 0640},
                                         TModeCase{"Kept604", true, 0604, 0604},
                                         TModeCase{"NewUmask022", false, 022, 0644},
                                         TModeCase{"NewUmask077", false, 077, 0600}),
                         [](const auto& info) { return std::string(info.param.Name); });

// A refused or failed save reports the step, the name as given and the
// system's words, and leaves the folder as it was.
struct TFailure {
  const char* Name;
  std::function<std::string(TTempDir&)> Arrange;  // gives the target
  TFileAction Action;
  const char* Reason;
};

class AtomicFailures : public testing::TestWithParam<TFailure> {};

TEST_P(AtomicFailures, LeaveNoTemporaryFile) {
  TTempDir dir;
  const std::string target = GetParam().Arrange(dir);
  const std::vector<std::string> before = dir.Entries();

  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit old{};
  ::getrlimit(RLIMIT_FSIZE, &old);
  const rlimit small{1024, old.rlim_max};
  ::setrlimit(RLIMIT_FSIZE, &small);
  const TFileResult r = WriteFileAtomically(target, AsBytes(std::string(4096, 'x')));
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);

  ASSERT_FALSE(r);
  EXPECT_EQ(r.Error().Action, GetParam().Action);
  EXPECT_EQ(r.Error().Path, target);
  EXPECT_EQ(r.Error().Reason, GetParam().Reason);
  EXPECT_EQ(dir.Entries(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, AtomicFailures,
    testing::Values(TFailure{"MissingFolder", [](TTempDir& d) { return d / "none/x.bin"; },
                             TFileAction::Create, "No such file or directory"},
                    TFailure{"Folder",
                             [](TTempDir& d) {
                               fs::create_directory(d.Path / "sub");
                               return d / "sub";
                             },
                             TFileAction::Create, "Is a directory"},
                    TFailure{"TrailingSlash", [](TTempDir& d) { return d / "new/"; },
                             TFileAction::Create, "Is a directory"},
                    TFailure{"Fifo",
                             [](TTempDir& d) {
                               ::mkfifo((d / "pipe").c_str(), 0600);
                               return d / "pipe";
                             },
                             TFileAction::Create, "Not a regular file"},
                    TFailure{"WriteProtected",
                             [](TTempDir& d) {
                               WriteText(d / "ro.bin", "keep");
                               ::chmod((d / "ro.bin").c_str(), 0444);
                               return d / "ro.bin";
                             },
                             TFileAction::Create, "Permission denied"},
                    TFailure{"TooLargeForTheLimit",
                             [](TTempDir& d) {
                               WriteText(d / "big.bin", "keep");
                               return d / "big.bin";
                             },
                             TFileAction::Write, "File too large"}),
    [](const auto& info) { return std::string(info.param.Name); });

// A full disk: a 16 KiB tmpfs in a mount namespace of a child process, so
// nothing outside the test sees it. Needs the rights to mount.
TEST(AtomicFile, FullDiskSaysSoAndLeavesNothing) {
  TTempDir dir;
  int pipeFds[2];
  ASSERT_EQ(::pipe(pipeFds), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(pipeFds[0]);
    if (::unshare(CLONE_NEWNS) != 0 ||
        ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("tmpfs", dir.Path.c_str(), "tmpfs", 0, "size=16k") != 0)
      ::_exit(77);
    const TFileResult r = WriteFileAtomically(dir / "dump.bin", AsBytes(std::string(1 << 16, 'x')));
    const std::string report =
        (r ? std::string("saved") : r.Error().Reason) + "|" + std::to_string(dir.Entries().size());
    (void)!::write(pipeFds[1], report.data(), report.size());
    ::_exit(0);
  }
  ::close(pipeFds[1]);
  char buffer[256];
  const ssize_t n = ::read(pipeFds[0], buffer, sizeof buffer);
  ::close(pipeFds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 77) GTEST_SKIP() << "no rights to mount";
  EXPECT_EQ(std::string(buffer, n > 0 ? static_cast<std::size_t>(n) : 0),
            "No space left on device|0");
}

TEST(AtomicFile, TwoStepsCreateEarlyAndCommitOrAbort) {
  TTempDir dir;
  const std::string target = dir / "dump.bin";
  std::string kept;
  {
    TFileExpected<TAtomicFile> file = TAtomicFile::Create(target);
    ASSERT_TRUE(file);
    kept = file.Value().TempPath();
    EXPECT_EQ(kept.rfind(target + ".~tmp", 0), 0u) << kept;
    EXPECT_EQ(kept.size(), target.size() + 11);
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{fs::path(kept).filename().string()});
    ASSERT_TRUE(file.Value().Write(AsBytes("first ")));
    ASSERT_TRUE(file.Value().Write(AsBytes("second")));
    EXPECT_FALSE(fs::exists(target));
    ASSERT_TRUE(file.Value().Commit());
    EXPECT_EQ(file.Value().TempPath(), "");
  }
  EXPECT_EQ(ReadText(target), "first second");
  for (const bool explicitly : {true, false}) {
    {
      TFileExpected<TAtomicFile> file = TAtomicFile::Create(target);
      ASSERT_TRUE(file);
      ASSERT_TRUE(file.Value().Write(AsBytes("lost")));
      if (explicitly) file.Value().Abort();
    }
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"dump.bin"});
    EXPECT_EQ(ReadText(target), "first second");
  }
}

TEST(AtomicFile, WritesThroughALinkButNotAStrangersLinkInSharedFolders) {
  TTempDir dir;
  WriteText(dir / "real.hex", "old");
  fs::create_symlink("real.hex", dir / "link.hex");
  ASSERT_TRUE(WriteFileAtomically(dir / "link.hex", AsBytes("new")));
  EXPECT_TRUE(fs::is_symlink(dir / "link.hex"));
  EXPECT_EQ(ReadText(dir / "real.hex"), "new");

  // /tmp-like: sticky and writable for all; the link belongs to someone else.
  ::chmod(dir.Path.c_str(), 01777);
  if (::lchown((dir / "link.hex").c_str(), ::geteuid() + 1, ::getegid()) != 0)
    GTEST_SKIP() << "cannot give the link to another user";
  const TFileResult r = WriteFileAtomically(dir / "link.hex", AsBytes("attack"));
  ASSERT_FALSE(r);
  EXPECT_EQ(r.Error().Reason, "Permission denied");
  EXPECT_EQ(ReadText(dir / "real.hex"), "new");
}

TEST(AtomicFile, LongestNameStillSaves) {
  TTempDir dir;
  const std::string target = dir / std::string(255, 'n');
  WriteText(target, "old");
  ASSERT_TRUE(WriteFileAtomically(target, AsBytes("x")));
  EXPECT_EQ(ReadText(target), "x");
  EXPECT_EQ(dir.Entries().size(), 1u);
}

}  // namespace
}  // namespace quenvar
