#include "quenvar/fileio/locked_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "../files/temp_dir.h"
#include "quenvar/fileio/regular_file.h"

namespace quenvar {
namespace {

namespace fs = std::filesystem;
using testing_files::ReadText;
using testing_files::TTempDir;
using testing_files::WriteText;

std::span<const std::uint8_t> AsBytes(const std::string& text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::string Text(const std::vector<std::uint8_t>& bytes) {
  return {bytes.begin(), bytes.end()};
}

TEST(LockedFile, MissingFileIsCreatedEmpty) {
  TTempDir dir;
  TFileExpected<TLockedFile> file = TLockedFile::Open(dir / "state.qvs");
  ASSERT_TRUE(file);
  EXPECT_EQ(Text(file.Value().ReadAll().Value()), "");
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"state.qvs"});
}

// The second opener waits, is told once, and then sees all the first one saved,
// although the save put a new file under the name while it waited.
TEST(LockedFile, SecondOpenerWaitsForTheFirst) {
  TTempDir dir;
  const std::string path = dir / "state.qvs";
  WriteText(path, "start");
  TFileExpected<TLockedFile> first = TLockedFile::Open(path);
  ASSERT_TRUE(first);

  std::mutex m;
  std::condition_variable cv;
  int waits = 0;
  std::string seen;
  std::thread second([&] {
    TFileExpected<TLockedFile> file = TLockedFile::Open(path, [&] {
      std::lock_guard lock(m);
      ++waits;
      cv.notify_all();
    });
    ASSERT_TRUE(file) << file.Error().Reason;
    seen = Text(file.Value().ReadAll().Value());
    ASSERT_TRUE(file.Value().Replace(AsBytes(seen + "+second")));
  });
  {
    std::unique_lock lock(m);
    cv.wait(lock, [&] { return waits > 0; });
  }
  ASSERT_TRUE(first.Value().Replace(AsBytes("first")));
  ASSERT_TRUE(first.Value().Replace(AsBytes("first again")));
  EXPECT_EQ(Text(first.Value().ReadAll().Value()), "first again");
  first.Value().Unlock();
  second.join();

  EXPECT_EQ(waits, 1);
  EXPECT_EQ(seen, "first again");
  EXPECT_EQ(ReadText(path), "first again+second");
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"state.qvs"});
  const TFileResult late = first.Value().Replace(AsBytes("late"));
  ASSERT_FALSE(late);
  EXPECT_EQ(late.Error().Reason, "Bad file descriptor");
}

// Both ways to read a file refuse what is not a regular file at once, with the
// path and the system's words.
struct TRefusal {
  const char* Name;
  std::function<std::string(TTempDir&)> Arrange;
  const char* Reason;
};

class FileRefusals : public testing::TestWithParam<TRefusal> {};

TEST_P(FileRefusals, AreImmediateAndSayWhy) {
  TTempDir dir;
  const std::string path = GetParam().Arrange(dir);
  const TFileExpected<TLockedFile> locked = TLockedFile::Open(path);
  ASSERT_FALSE(locked);
  EXPECT_EQ(locked.Error(),
            (TFileError{TFileAction::Open, path, GetParam().Reason, locked.Error().Code}));
  const auto read = ReadRegularFile(path);
  ASSERT_FALSE(read);
  EXPECT_EQ(read.Error().Path, path);
  EXPECT_EQ(read.Error().Reason, GetParam().Reason);
}

INSTANTIATE_TEST_SUITE_P(Files, FileRefusals,
                         testing::Values(TRefusal{"Folder",
                                                  [](TTempDir& d) {
                                                    fs::create_directory(d.Path / "sub");
                                                    return d / "sub";
                                                  },
                                                  "Is a directory"},
                                         TRefusal{"Fifo",
                                                  [](TTempDir& d) {
                                                    ::mkfifo((d / "pipe").c_str(), 0600);
                                                    return d / "pipe";
                                                  },
                                                  "Not a regular file"},
                                         TRefusal{"MissingFolder",
                                                  [](TTempDir& d) { return d / "none/state.qvs"; },
                                                  "No such file or directory"}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(RegularFile, ReadsAllBytes) {
  TTempDir dir;
  const std::string content("\x00\xFFQV\r\n", 6);
  WriteText(dir / "f.bin", content);
  const auto read = ReadRegularFile(dir / "f.bin");
  ASSERT_TRUE(read);
  EXPECT_EQ(Text(read.Value()), content);
}

}  // namespace
}  // namespace quenvar
