#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <streambuf>
#include <string>

#include "editor_fixture.h"
#include "system_texts.h"
#include "temp_dir.h"

namespace quenvar {
namespace {

using test::Bytes;
using test::MarkedBytes;
using test::TBytes;
using test::TEditable;

using TempDir = test::TTempDir;

std::string ReadFile(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& name, const std::string& bytes) {
  std::ofstream(name, std::ios::binary) << bytes;
}

// Claims 100 bytes when asked for its size but delivers only 10.
class TShortBuf : public std::streambuf {
 public:
  TShortBuf() { setg(FData, FData, FData + 10); }

 protected:
  pos_type seekoff(off_type off, std::ios_base::seekdir dir, std::ios_base::openmode) override {
    if (dir == std::ios_base::end) {
      FWhere = 100 + off;
    } else if (dir == std::ios_base::cur) {
      FWhere += off;
    } else {
      FWhere = off;
    }
    if (FWhere < 10) setg(FData, FData + FWhere, FData + 10);
    return pos_type(FWhere);
  }
  pos_type seekpos(pos_type p, std::ios_base::openmode m) override {
    return seekoff(off_type(p), std::ios_base::beg, m);
  }

 private:
  char FData[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  off_type FWhere = 0;
};

TEST(HexEditorFiles, StreamLoadReadsFromTheStart) {
  TEditable t({});
  std::istringstream in(std::string("\x01\x02\x03\x04", 4));
  in.seekg(2);
  ASSERT_TRUE(t.FE.LoadDataFromStream(in));
  EXPECT_EQ(Bytes(t.FE), (TBytes{1, 2, 3, 4}));
  EXPECT_EQ(t.FChanges, 1);
}

TEST(HexEditorFiles, FailedStreamLoadLeavesEmptyBuffer) {
  TEditable t({7, 7, 7});
  ASSERT_TRUE(t.FE.WriteByte(0, 1));
  std::string busy;
  t.FE.FOnBusy = [&busy](bool on) { busy += on ? "+" : "-"; };
  TShortBuf buf;
  std::istream in(&buf);
  const TResult<void> r = t.FE.LoadDataFromStream(in);
  EXPECT_EQ(busy, "+-");  // the cursor comes back even when the read fails
  ASSERT_FALSE(r.Ok());
  EXPECT_EQ(r.Error(), TError(TErrorKind::Read, "Stream read error"));
  EXPECT_EQ(t.FE.DataLength(), 0u);
  EXPECT_FALSE(t.FE.UndoAvailable());
  EXPECT_FALSE(t.FE.HasFile());
  EXPECT_FALSE(t.FE.Modified());
  EXPECT_EQ(t.FChanges, 2);  // the edit and the failed load
}

TEST(HexEditorFiles, StreamSaveChangesNothing) {
  TEditable t({0xA0, 0xA1, 0xA2});
  ASSERT_TRUE(t.FE.WriteByte(1, 0x00));
  std::ostringstream out;
  out << "head";
  ASSERT_TRUE(t.FE.SaveDataToStream(out));
  EXPECT_EQ(out.str(), std::string("head\xA0\x00\xA2", 7));
  EXPECT_EQ(MarkedBytes(t.FE), (std::set<std::uint32_t>{1}));
  EXPECT_TRUE(t.FE.Modified());
  EXPECT_TRUE(t.FE.UndoAvailable());
}

TEST(HexEditorFiles, FailedStreamSaveIsReported) {
  TEditable t({1, 2});
  std::ostringstream out;
  out.setstate(std::ios::badbit);
  const TResult<void> saved = t.FE.SaveDataToStream(out);
  ASSERT_FALSE(saved.Ok());
  EXPECT_EQ(saved.Error(), TError(TErrorKind::Write, "Stream write error"));
}

// The runtime has no symbolic links on Windows.
#ifndef _WIN32
TEST(HexEditorFiles, SaveThroughALinkKeepsTheLink) {
  TempDir dir;
  const std::string real = dir.File("real.bin");
  const std::string link = dir.File("link.bin");
  WriteFile(real, "old");
  std::filesystem::create_symlink(real, link);
  TEditable t({'n', 'e', 'w'});
  ASSERT_TRUE(t.FE.SaveDataToFile(link, true));
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(ReadFile(real), "new");
  EXPECT_EQ(t.FE.FileName(), link);
}
#endif

TEST(HexEditorFiles, FileLoadSetsNameAndFlags) {
  TempDir dir;
  const std::string name = dir.File("chip.bin");
  WriteFile(name, std::string("\x00\xFF\x10", 3));
  TEditable t({1});
  ASSERT_TRUE(t.FE.LoadDataFromFile(name));
  EXPECT_EQ(Bytes(t.FE), (TBytes{0x00, 0xFF, 0x10}));
  EXPECT_EQ(t.FE.FileName(), name);
  EXPECT_TRUE(t.FE.HasFile());
  EXPECT_FALSE(t.FE.ReadOnlyFile());
  EXPECT_EQ(t.FChanges, 1);
}

TEST(HexEditorFiles, OpenErrors) {
  TempDir dir;
  const std::string missing = dir.File("missing.bin");
  const std::string folder = dir.File("sub");
  std::filesystem::create_directory(folder);
  struct TCase {
    std::string FName;
    std::string FError;
  };
  const TCase cases[] = {
      {missing, "Cannot open " + missing + ".\r\n(" + test::MissingFileReason().FText + ".)"},
      {folder, "Cannot open " + folder + ".\r\n(" + test::FolderReason().FText + ".)"},
  };
  for (const TCase& c : cases) {
    TEditable t({5, 6});
    const TResult<void> r = t.FE.LoadDataFromFile(c.FName);
    ASSERT_FALSE(r.Ok());
    EXPECT_EQ(r.Error().FText, c.FError);
    EXPECT_EQ(r.Error().FKind, TErrorKind::Open);
    EXPECT_EQ(r.Error().FPath, c.FName);
    EXPECT_EQ(Bytes(t.FE), (TBytes{5, 6}));
    EXPECT_EQ(t.FChanges, 0);
  }
}

TEST(HexEditorFiles, BinarySaveClearsColouringStreamSaveKeepsIt) {
  TempDir dir;
  TEditable t({1, 2, 3, 4});
  ASSERT_TRUE(t.FE.WriteByte(0, 9));
  ASSERT_TRUE(t.FE.WriteByte(3, 9));
  std::ostringstream hexImage;
  ASSERT_TRUE(t.FE.SaveDataToStream(hexImage));
  EXPECT_EQ(MarkedBytes(t.FE), (std::set<std::uint32_t>{0, 3}));

  const std::string name = dir.File("out.bin");
  ASSERT_TRUE(t.FE.SaveDataToFile(name, true));
  EXPECT_EQ(ReadFile(name), std::string("\x09\x02\x03\x09", 4));
  EXPECT_TRUE(MarkedBytes(t.FE).empty());
  EXPECT_FALSE(t.FE.Modified());
  EXPECT_FALSE(t.FE.UndoAvailable());
  EXPECT_EQ(t.FE.FileName(), name);
  EXPECT_TRUE(t.FE.HasFile());
  EXPECT_FALSE(std::filesystem::exists(name + ".~save"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.FPath),
                          std::filesystem::directory_iterator()),
            1);
}

TEST(HexEditorFiles, SaveWithoutClearingKeepsState) {
  TempDir dir;
  TEditable t({1, 2});
  ASSERT_TRUE(t.FE.WriteByte(1, 0));
  const std::string name = dir.File("copy.bin");
  ASSERT_TRUE(t.FE.SaveDataToFile(name, false));
  EXPECT_EQ(ReadFile(name), std::string("\x01\x00", 2));
  EXPECT_EQ(MarkedBytes(t.FE), (std::set<std::uint32_t>{1}));
  EXPECT_TRUE(t.FE.Modified());
  EXPECT_TRUE(t.FE.UndoAvailable());
  EXPECT_EQ(t.FE.FileName(), "Untitled");
  EXPECT_TRUE(t.FE.HasFile());
}

TEST(HexEditorFiles, ReadOnlyFileIsNotOverwritten) {
  TempDir dir;
  const std::string name = dir.File("locked.bin");
  WriteFile(name, "AB");
  std::filesystem::permissions(
      name, std::filesystem::perms::owner_read | std::filesystem::perms::group_read);
  TEditable t({});
  ASSERT_TRUE(t.FE.LoadDataFromFile(name));
  EXPECT_TRUE(t.FE.ReadOnlyFile());
  t.FE.SetReadOnlyView(false);
  ASSERT_TRUE(t.FE.WriteByte(0, 'X'));
  const TResult<void> r = t.FE.SaveDataToFile(name, true);
  ASSERT_FALSE(r.Ok());
  EXPECT_EQ(r.Error(),
            TError(TErrorKind::Refused, "Cannot save readonly file " + name + ".", 0, name));
  EXPECT_EQ(ReadFile(name), "AB");
  EXPECT_TRUE(t.FE.Modified());

  // Under another name the save works and the buffer takes the new, writable file.
  const std::string other = dir.File("other.bin");
  ASSERT_TRUE(t.FE.SaveDataToFile(other, true));
  EXPECT_EQ(ReadFile(other), "XB");
  EXPECT_FALSE(t.FE.ReadOnlyFile());
  EXPECT_EQ(t.FE.FileName(), other);
}

TEST(HexEditorFiles, SaveUnderTheLongestFileName) {
  TempDir dir;
  const std::string name = (dir.FPath / (std::string(251, 'n') + ".bin")).string();
  WriteFile(name, "old");
  TEditable t({'x'});
  ASSERT_TRUE(t.FE.SaveDataToFile(name, true));
  EXPECT_EQ(ReadFile(name), "x");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.FPath),
                          std::filesystem::directory_iterator()),
            1);
}

TEST(HexEditorFiles, FailedSaveKeepsThePreviousFile) {
  TempDir dir;
  const std::string name = dir.File("keep.bin");
  WriteFile(name, "old");
  TEditable t({'n', 'e', 'w'});
  std::filesystem::permissions(
      dir.FPath, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  if (std::ofstream(dir.File("probe")).is_open()) GTEST_SKIP() << "running with root rights";
  const TResult<void> r = t.FE.SaveDataToFile(name, true);
  ASSERT_FALSE(r.Ok());
  EXPECT_EQ(r.Error(), TError(TErrorKind::Create,
                              "Cannot create " + name + ".\r\n(Permission denied.)", EACCES, name));
  EXPECT_EQ(ReadFile(name), "old");
  EXPECT_EQ(t.FE.FileName(), "Untitled");
}

}  // namespace
}  // namespace quenvar
