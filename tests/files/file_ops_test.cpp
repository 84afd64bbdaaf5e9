#include "quenvar/buffer/file_ops.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/resource.h>

#include <csignal>
#endif
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "case_name.h"
#include "quenvar/buffer/custom_mp_hex_editor.h"
#include "system_texts.h"
#include "temp_dir.h"

namespace quenvar {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::ReadBytes;
using test::ReadText;
using test::TTempDir;
using test::WriteText;

Bytes Ff(std::size_t n) {
  return Bytes(n, 0xFF);
}

Bytes Cat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

Bytes Of(const TCustomMPHexEditor& e) {
  return {e.Data().begin(), e.Data().end()};
}

// ---- format choice ----

struct TFormatCase {
  const char* FName;
  TFileFormat FOpen;
  TFileFormat FSave;
};

class FormatChoice : public testing::TestWithParam<TFormatCase> {};

TEST_P(FormatChoice, ByThirdCharacterFromTheEnd) {
  EXPECT_EQ(OpenFormatOf(GetParam().FName), GetParam().FOpen) << GetParam().FName;
  EXPECT_EQ(SaveFormatOf(GetParam().FName), GetParam().FSave) << GetParam().FName;
}

constexpr auto kNone = TFileFormat::None;
constexpr auto kHex = TFileFormat::IntelHex;
constexpr auto kBin = TFileFormat::Binary;

void PrintTo(const TFormatCase& c, std::ostream* os) {
  *os << '"' << c.FName << '"';
}

// Rows differ only in letter case: the row number keeps their names apart.
INSTANTIATE_TEST_SUITE_P(
    Files, FormatChoice,
    testing::Values(
        TFormatCase{"/home/u/a.hex", kHex, kHex}, TFormatCase{"/home/u/A.HEX", kHex, kHex},
        TFormatCase{"/home/u/a.Hex", kHex, kHex}, TFormatCase{"/home/u/a.bin", kBin, kBin},
        TFormatCase{"/home/u/a.BIN", kBin, kBin}, TFormatCase{"/home/u/a.txt", kNone, kHex},
        TFormatCase{"/home/u/noext", kNone, kHex}, TFormatCase{"/home/u/a.b01", kBin, kBin},
        TFormatCase{"/home/u/a.hzz", kHex, kHex}, TFormatCase{"hex", kHex, kHex},
        TFormatCase{"bin", kBin, kBin}, TFormatCase{"ab", kNone, kHex},
        TFormatCase{"b", kNone, kHex}, TFormatCase{"", kNone, kNone}),
    [](const auto& info) {
      return test::CaseName(info.param.FName) + "_" + std::to_string(info.index);
    });

// ---- open and load ----

const Bytes kBefore = {0x01, 0x02, 0x03};

struct TLoadCase {
  const char* FName;
  const char* FFileName;
  std::string FContent;
  std::uint8_t FLanguage;
  TLoadStatus FStatus;
  std::string FMessage;
  bool FErrorFlag;
  Bytes FBuffer;
  bool FEnable;
};

class OpenFileCases : public testing::TestWithParam<TLoadCase> {};

TEST_P(OpenFileCases, LoadAndEnable) {
  const TLoadCase& c = GetParam();
  TTempDir dir;
  const std::string name = dir / c.FFileName;
  WriteText(name, c.FContent);
  TCustomMPHexEditor editor;
  editor.LoadDataFromBytes(kBefore);
  int changes = 0;
  editor.FOnChange = [&](TCustomMPHexEditor&) { ++changes; };
  TFileOps ops(editor);
  const TOpenOutcome o = ops.OpenFile(name, c.FLanguage);

  EXPECT_TRUE(o.FActed);
  EXPECT_EQ(o.FStatusFileName, c.FFileName);
  EXPECT_EQ(o.FLoad.FStatus, c.FStatus);
  EXPECT_EQ(o.FLoad.FMessage, c.FMessage);
  EXPECT_EQ(o.FLoad.ErrorFlag(), c.FErrorFlag);
  EXPECT_EQ(Of(editor), c.FBuffer);
  EXPECT_EQ(o.FEnableBufferActions, c.FEnable);
  EXPECT_EQ(changes, c.FStatus == TLoadStatus::Loaded ? 1 : 0);
  EXPECT_EQ(ops.OpenFileName(), name);
}

constexpr auto kLoaded = TLoadStatus::Loaded;
constexpr auto kNothing = TLoadStatus::Nothing;
constexpr auto kRefused = TLoadStatus::FormatError;

void PrintTo(const TLoadCase& c, std::ostream* os) {
  *os << c.FName;
}

INSTANTIATE_TEST_SUITE_P(
    Files, OpenFileCases,
    testing::Values(
        TLoadCase{"WorkedExample", "w.hex", ":0400100001020304E2\r\n:00000001FF\r\n", 1, kLoaded,
                  "", false, Cat(Ff(16), {0x01, 0x02, 0x03, 0x04}), true},
        // An empty image is a successful load all the same.
        TLoadCase{"EndRecordOnly", "e.hex", ":00000001FF", 1, kLoaded, "", false, {}, true},
        TLoadCase{"MixedCaseExtension",
                  "m.Hex",
                  ":02000000abcd86\n:00000001ff",
                  1,
                  kLoaded,
                  "",
                  false,
                  {0xAB, 0xCD},
                  true},
        // A .txt is not read, gives no message, and still enables the actions.
        TLoadCase{"TxtNotRead", "t.txt", ":0100000011EE\n:00000001FF", 1, kNothing, "", false,
                  kBefore, true},
        TLoadCase{"NoExtensionNotRead", "data", "abc", 1, kNothing, "", false, kBefore, true},
        TLoadCase{"BinThreeBytes",
                  "t.BIN",
                  std::string("\x00\xFF\x7F", 3),
                  1,
                  kLoaded,
                  "",
                  false,
                  {0x00, 0xFF, 0x7F},
                  true},
        TLoadCase{"BinTakesHexTextRaw",
                  "h.bin",
                  ":00000001FF",
                  1,
                  kLoaded,
                  "",
                  false,
                  {':', '0', '0', '0', '0', '0', '0', '0', '1', 'F', 'F'},
                  true},
        TLoadCase{"EmptyBin", "z.bin", "", 1, kLoaded, "", false, {}, true},
        TLoadCase{"NoEndRecordGerman", "n.hex", ":0400100001020304E2\r\n", 0, kRefused,
                  "Fehler in Datei. Keine Hex-Datei.", true, kBefore, false},
        TLoadCase{"NoEndRecordEnglish", "n.hex", ":0400100001020304E2\r\n", 1, kRefused,
                  "Error in file. No hex file.", true, kBefore, false},
        TLoadCase{"GarbageRussian", "g.hex",
                  std::string("\x7F"
                              "ELF\x02\x01",
                              6),
                  2, kRefused, "Входной файл не hex файл.", true, kBefore, false},
        TLoadCase{"ChecksumRussian", "c.hex", ":0100000011EE\r\n:00000001FE\r\n", 2, kRefused,
                  "Ошибка входного файла.Не правильная CheckSum.", true, kBefore, false},
        TLoadCase{"ChecksumGerman", "c.hex", ":0100000011EF\r\n:00000001FF\r\n", 0, kRefused,
                  "Fehler in Datei. Falsche CSUM.", true, kBefore, false},
        TLoadCase{"BrokenDataEnglish", "b.hex", ":0100000011EE\n:04000000010G0304F2\n:00000001FF",
                  1, kRefused, "Error in file. Broken data in line 2.", true, kBefore, false},
        TLoadCase{"ShortLineGerman", "s.hex", ":04000000AABB97\n:00000001FF", 0, kRefused,
                  "Fehler in Datei. Fehlerhafte Daten in Zeile 1.", true, kBefore, false}),
    [](const auto& info) { return std::string(info.param.FName); });

class OpenMissingFile : public testing::TestWithParam<const char*> {};

// A file error leaves the buffer and the enabling alone, and sets no error flag.
TEST_P(OpenMissingFile, ReportsFileError) {
  TTempDir dir;
  const std::string name = dir / GetParam();
  TCustomMPHexEditor editor;
  editor.LoadDataFromBytes(kBefore);
  TFileOps ops(editor);

  const TOpenOutcome o = ops.OpenFile(name, 1);

  EXPECT_EQ(o.FLoad.FStatus, TLoadStatus::FileError);
  EXPECT_EQ(o.FLoad.FMessage,
            "Cannot open " + name + ".\r\n(" + test::MissingFileReason().FText + ".)");
  EXPECT_FALSE(o.FLoad.ErrorFlag());
  EXPECT_EQ(Of(editor), kBefore);
  EXPECT_FALSE(o.FEnableBufferActions);
  EXPECT_EQ(o.FStatusFileName, GetParam());
}

INSTANTIATE_TEST_SUITE_P(Files, OpenMissingFile,
                         testing::Values("gone.hex", "gone.bin",
                                         // The status shows a name beyond ASCII as it is.
                                         "weg-ü.bin"),
                         [](const auto& info) { return test::CaseName(info.param); });

TEST(OpenFile, CancelKeepsEditsAndName) {
  TTempDir dir;
  const std::string name = dir / "a.hex";
  WriteText(name, ":0100000011EE\n:00000001FF\n");
  TCustomMPHexEditor editor;
  TFileOps ops(editor);
  ASSERT_EQ(ops.OpenFile(name, 1).FLoad.FStatus, TLoadStatus::Loaded);
  editor.SetReadOnlyView(false);
  ASSERT_TRUE(editor.WriteByte(0, 0x99));

  const TOpenOutcome o = ops.OpenFile(std::nullopt, 1);

  EXPECT_FALSE(o.FActed);
  EXPECT_FALSE(o.FEnableBufferActions);
  EXPECT_EQ(o.FLoad.FStatus, TLoadStatus::Nothing);
  EXPECT_EQ(Of(editor), Bytes{0x99});
  EXPECT_TRUE(editor.IsChanged(0));
  EXPECT_EQ(ops.OpenFileName(), name);
}

TEST(LoadFile, NothingOpenedYetClearsFlag) {
  TCustomMPHexEditor editor;
  editor.LoadDataFromBytes(kBefore);
  TFileOps ops(editor);
  const TLoadOutcome o = ops.LoadFile(1);
  EXPECT_EQ(o.FStatus, TLoadStatus::Nothing);
  EXPECT_FALSE(o.ErrorFlag());
  EXPECT_EQ(Of(editor), kBefore);
}

// The reload before program and verify reads the file as it is now on disk.
TEST(LoadFile, ReloadsTheLastOpenedFile) {
  TTempDir dir;
  const std::string name = dir / "a.hex";
  WriteText(name, ":0100000011EE\n:00000001FF\n");
  TCustomMPHexEditor editor;
  TFileOps ops(editor);
  ops.OpenFile(name, 1);
  WriteText(name, ":020000002233A9\n:00000001FF\n");

  EXPECT_EQ(ops.LoadFile(1).FStatus, TLoadStatus::Loaded);
  EXPECT_EQ(Of(editor), (Bytes{0x22, 0x33}));

  WriteText(name, ":020000002233AA\n:00000001FF\n");
  const TLoadOutcome bad = ops.LoadFile(1);
  EXPECT_EQ(bad.FStatus, TLoadStatus::FormatError);
  ASSERT_TRUE(bad.FHexError);
  EXPECT_EQ(bad.FHexError->FKind, TErrorKind::WrongChecksum);
  EXPECT_EQ(bad.FHexError->FLine, 1u);
  EXPECT_TRUE(bad.ErrorFlag());
  EXPECT_EQ(Of(editor), (Bytes{0x22, 0x33}));
}

// ---- save ----

Bytes Counting(std::size_t n) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(i);
  return b;
}

struct TSaveCase {
  const char* FName;
  const char* FFileName;
  Bytes FData;
  TFileFormat FFormat;
  std::string FWritten;
};

class SaveFileCases : public testing::TestWithParam<TSaveCase> {};

TEST_P(SaveFileCases, WritesExactBytes) {
  const TSaveCase& c = GetParam();
  TTempDir dir;
  const std::string name = dir / c.FFileName;
  TCustomMPHexEditor editor;
  editor.LoadDataFromBytes(c.FData);
  TFileOps ops(editor);

  const TSaveOutcome o = ops.SaveFile(name);

  EXPECT_EQ(o.FStatus, TSaveStatus::Saved) << o.FMessage;
  EXPECT_EQ(o.FFormat, c.FFormat);
  EXPECT_EQ(ReadText(name), c.FWritten);
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{c.FFileName});
}

void PrintTo(const TSaveCase& c, std::ostream* os) {
  *os << c.FName;
}

INSTANTIATE_TEST_SUITE_P(
    Files, SaveFileCases,
    testing::Values(
        TSaveCase{"BinRaw", "b.bin", {0x00, 0x0D, 0x0A, 0xFF}, kBin, std::string("\0\r\n\xFF", 4)},
        TSaveCase{"BinUpper", "b.BIN", {0x41}, kBin, "A"},
        TSaveCase{"EmptyBin", "e.bin", {}, kBin, ""},
        TSaveCase{"HexWorkedExample", "h.hex", Counting(20), kHex,
                  ":10000000000102030405060708090A0B0C0D0E0F78\r\n"
                  ":1000100010111213FFFFFFFFFFFFFFFFFFFFFFFFA6\r\n"
                  ":00000001FF"},
        TSaveCase{"TxtIsHex",
                  "h.txt",
                  {0x5A},
                  kHex,
                  ":100000005AFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFA5\r\n:00000001FF"},
        TSaveCase{"NoExtensionIsHex", "noext", {}, kHex, ":00000001FF"}),
    [](const auto& info) { return std::string(info.param.FName); });

// A short name is Intel HEX like any name without B (the command line's
// `ab`); only an empty one selects nothing.
TEST(SaveFile, CancelAndEmptyNameWriteNothing) {
  TTempDir dir;
  TCustomMPHexEditor editor;
  editor.LoadDataFromBytes(kBefore);
  TFileOps ops(editor);
  EXPECT_EQ(ops.SaveFile(std::nullopt).FStatus, TSaveStatus::Cancelled);
  EXPECT_EQ(ops.SaveFile("").FStatus, TSaveStatus::Nothing);
  EXPECT_TRUE(dir.Entries().empty());
}

// Binary saves clear the change marks and adopt the name; HEX saves keep
// both. Neither touches the open dialog's name.
TEST(SaveFile, MarksAndNames) {
  TTempDir dir;
  const std::string opened = dir / "in.hex";
  WriteText(opened, ":020000002233A9\n:00000001FF\n");
  TCustomMPHexEditor editor;
  TFileOps ops(editor);
  ops.OpenFile(opened, 1);
  editor.SetReadOnlyView(false);
  ASSERT_TRUE(editor.WriteByte(1, 0x44));
  ASSERT_TRUE(editor.IsChanged(1));

  ASSERT_EQ(ops.SaveFile(dir / "out.hex").FStatus, TSaveStatus::Saved);
  EXPECT_TRUE(editor.IsChanged(1));
  EXPECT_EQ(editor.FileName(), "Untitled");
  EXPECT_EQ(ReadText(dir / "out.hex"),
            ":1000000022"
            "44FFFFFFFFFFFFFFFFFFFFFFFFFFFF"
            "98\r\n:00000001FF");

  ASSERT_EQ(ops.SaveFile(dir / "out.bin").FStatus, TSaveStatus::Saved);
  EXPECT_FALSE(editor.IsChanged(1));
  EXPECT_EQ(editor.FileName(), dir / "out.bin");
  EXPECT_EQ(ReadBytes(dir / "out.bin"), (Bytes{0x22, 0x44}));
  EXPECT_EQ(ops.OpenFileName(), opened);
}

// Permission bits and symbolic links as Linux has them.
#ifndef _WIN32
TEST(SaveFile, ReplacesExistingFileKeepingPermissions) {
  namespace fs = std::filesystem;
  TTempDir dir;
  const std::string name = dir / "keep.hex";
  WriteText(name, "old content that is longer than the new one ......................");
  fs::permissions(name, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  TCustomMPHexEditor editor;
  TFileOps ops(editor);
  ASSERT_EQ(ops.SaveFile(name).FStatus, TSaveStatus::Saved);
  EXPECT_EQ(ReadText(name), ":00000001FF");
  EXPECT_EQ(fs::status(name).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"keep.hex"});
}

TEST(SaveFile, FollowsSymbolicLink) {
  namespace fs = std::filesystem;
  TTempDir dir;
  WriteText(dir / "real.hex", "old");
  fs::create_symlink(dir / "real.hex", dir / "link.hex");
  TCustomMPHexEditor editor;
  TFileOps ops(editor);
  ASSERT_EQ(ops.SaveFile(dir / "link.hex").FStatus, TSaveStatus::Saved);
  EXPECT_TRUE(fs::is_symlink(dir / "link.hex"));
  EXPECT_EQ(ReadText(dir / "real.hex"), ":00000001FF");
}
#endif

struct TFailedSave {
  const char* FName;
  const char* FFileName;
  bool FReadOnlyOldFile;  // else the target is a folder
  std::string FWhy;
};

class SaveFailures : public testing::TestWithParam<TFailedSave> {};

// A failed save reports the error and leaves the previous file and no stray
// temporary behind.
TEST_P(SaveFailures, LeavePreviousFileIntact) {
  namespace fs = std::filesystem;
  const TFailedSave& c = GetParam();
  TTempDir dir;
  const std::string name = dir / c.FFileName;
  if (c.FReadOnlyOldFile) {
    WriteText(name, "previous");
    fs::permissions(name, fs::perms::owner_read);
  } else {
    fs::create_directory(name);
  }
  TCustomMPHexEditor editor;
  editor.LoadDataFromBytes(kBefore);
  TFileOps ops(editor);

  const TSaveOutcome o = ops.SaveFile(name);

  EXPECT_EQ(o.FStatus, TSaveStatus::Failed);
  EXPECT_EQ(o.FMessage, "Cannot create " + name + ".\r\n(" + c.FWhy + ".)");
  if (c.FReadOnlyOldFile) {
    EXPECT_EQ(ReadText(name), "previous");
  }
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{c.FFileName});
  EXPECT_EQ(Of(editor), kBefore);
}

void PrintTo(const TFailedSave& c, std::ostream* os) {
  *os << c.FName;
}

INSTANTIATE_TEST_SUITE_P(
    Files, SaveFailures,
    testing::Values(TFailedSave{"ReadOnlyHex", "ro.hex", true, test::WriteProtectedReason().FText},
                    TFailedSave{"ReadOnlyBin", "ro.bin", true, test::WriteProtectedReason().FText},
                    TFailedSave{"FolderHex", "dir.hex", false, test::FolderReason().FText}),
    [](const auto& info) { return std::string(info.param.FName); });

// A file size limit (RLIMIT_FSIZE) stands in for a full disk on Linux only.
#ifndef _WIN32
struct TFullDisk {
  const char* FFileName;
  const char* FWhy;
};

class SaveWriteFails : public testing::TestWithParam<TFullDisk> {};

// The write itself fails part way (a file size limit stands in for a full
// disk): the previous file stays and no partial file is left behind.
TEST_P(SaveWriteFails, KeepsPreviousFile) {
  TTempDir dir;
  const std::string name = dir / GetParam().FFileName;
  WriteText(name, "previous");
  TCustomMPHexEditor editor;
  editor.LoadDataFromBytes(Bytes(8192, 0x55));
  TFileOps ops(editor);

  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  const rlimit small{1024, old.rlim_max};
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const TSaveOutcome o = ops.SaveFile(name);
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);

  EXPECT_EQ(o.FStatus, TSaveStatus::Failed);
  EXPECT_EQ(o.FMessage, "Cannot write " + name + ".\r\n(" + GetParam().FWhy + ".)");
  EXPECT_EQ(ReadText(name), "previous");
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{GetParam().FFileName});
}

void PrintTo(const TFullDisk& c, std::ostream* os) {
  *os << c.FFileName;
}

INSTANTIATE_TEST_SUITE_P(Files, SaveWriteFails,
                         testing::Values(TFullDisk{"full.hex", "File too large"},
                                         TFullDisk{"full.bin", "File too large"}),
                         [](const auto& info) {
                           std::string name = info.param.FFileName;
                           name[name.find('.')] = '_';
                           return name;
                         });
#endif

TEST(SaveFile, MissingFolderFails) {
  TTempDir dir;
  const std::string name = dir / "nowhere/x.hex";
  TCustomMPHexEditor editor;
  TFileOps ops(editor);
  const TSaveOutcome o = ops.SaveFile(name);
  EXPECT_EQ(o.FStatus, TSaveStatus::Failed);
  EXPECT_EQ(o.FMessage,
            "Cannot create " + name + ".\r\n(" + test::MissingFolderReason().FText + ".)");
  EXPECT_TRUE(dir.Entries().empty());
}

}  // namespace
}  // namespace quenvar
