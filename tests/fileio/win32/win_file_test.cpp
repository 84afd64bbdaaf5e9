// What only Windows has: device names where a file belongs, named pipes, the
// system's messages, and the lock's name for a file however it is spelled.
#include <gtest/gtest.h>
#include <windows.h>

#include <future>
#include <string>
#include <thread>
#include <vector>

#include "quenvar/fileio/atomic_file.h"
#include "quenvar/fileio/file_reader.h"
#include "quenvar/fileio/locked_file.h"
#include "quenvar/fileio/regular_file.h"
#include "quenvar/fileio/utf16.h"
#include "temp_dir.h"

namespace quenvar {
namespace {

using test::TTempDir;

struct TDeviceCase {
  const char* FLabel;
  TErrorKind FAction;
  std::function<TError()> FRefusal;  // what the call fails with
};

void PrintTo(const TDeviceCase& c, std::ostream* os) {
  *os << c.FLabel;
}

class WindowsDevices : public testing::TestWithParam<TDeviceCase> {};

// NUL and COM1 are devices in every folder; writing, reading or locking one
// as a file would block, lose the data or replace nothing.
TEST_P(WindowsDevices, AreNoRegularFiles) {
  EXPECT_EQ(GetParam().FRefusal(), (TError{GetParam().FAction, "Not a regular file", 0, "NUL"}));
}

INSTANTIATE_TEST_SUITE_P(
    Files, WindowsDevices,
    testing::Values(
        TDeviceCase{
            "Save", TErrorKind::Create,
            [] { return WriteFileAtomically("NUL", std::vector<std::uint8_t>{1}).Error(); }},
        TDeviceCase{"ReadWhole", TErrorKind::Open, [] { return ReadRegularFile("NUL").Error(); }},
        TDeviceCase{"Lock", TErrorKind::Open, [] { return TLockedFile::Open("NUL").Error(); }}),
    [](const auto& info) { return std::string(info.param.FLabel); });

// A pipe gives its bytes once: the reader takes them whole when it opens it,
// and every pass reads them again from memory.
TEST(WindowsPipe, IsReadWholeAndInPasses) {
  const std::wstring name =
      L"\\\\.\\pipe\\quenvar-test-" + std::to_wstring(::GetCurrentProcessId());
  const HANDLE server = ::CreateNamedPipeW(name.c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE, 1,
                                           4096, 4096, 0, nullptr);
  ASSERT_NE(server, INVALID_HANDLE_VALUE);
  const std::string text(10000, 'p');
  std::thread writer([&] {
    ::ConnectNamedPipe(server, nullptr);
    DWORD written = 0;
    ::WriteFile(server, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    // The writer goes away as a program that is done does: it closes its end.
    ::FlushFileBuffers(server);
    ::CloseHandle(server);
  });
  const std::u16string utf16(name.begin(), name.end());
  TResult<TFileReader> reader = TFileReader::Open(Utf16ToUtf8(utf16));
  writer.join();
  ASSERT_TRUE(reader) << reader.Error().FText << " " << reader.Error().FCode;
  EXPECT_EQ(reader.Value().SizeHint(), text.size());
  for (int pass = 0; pass < 2; ++pass) {
    std::string got(text.size() + 1, '\0');
    got.resize(reader.Value().Read({reinterpret_cast<std::uint8_t*>(got.data()), got.size()}));
    EXPECT_EQ(got, text) << "pass " << pass;
    reader.Value().Rewind();
  }
}

struct TMessageCase {
  const char* FLabel;
  DWORD FCode;
};

void PrintTo(const TMessageCase& c, std::ostream* os) {
  *os << c.FLabel;
}

class WindowsMessages : public testing::TestWithParam<TMessageCase> {};

// Texts vary by Windows version and language; their shape does not: UTF-8,
// without the full stop and line break FormatMessage ends them with.
TEST_P(WindowsMessages, AreOneUtf8LineWithoutFullStop) {
  const std::string text = SystemMessage(static_cast<int>(GetParam().FCode));
  ASSERT_FALSE(text.empty());
  EXPECT_TRUE(Utf8ToUtf16(text).has_value()) << text;
  EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos) << text;
  EXPECT_NE(text.back(), '.') << text;
  EXPECT_NE(text.back(), ' ') << text;
  EXPECT_NE(text.rfind("Unknown error", 0), 0u) << text;
}

INSTANTIATE_TEST_SUITE_P(Files, WindowsMessages,
                         testing::Values(TMessageCase{"FileNotFound", ERROR_FILE_NOT_FOUND},
                                         TMessageCase{"DiskFull", ERROR_DISK_FULL}),
                         [](const auto& info) { return std::string(info.param.FLabel); });

TEST(WindowsMessages, UnknownCodeIsNamedByNumber) {
  EXPECT_EQ(SystemMessage(0x2000ABCD), "Unknown error 536914893");
}

struct TSpellingCase {
  const char* FLabel;
  const char* FHeld;
  const char* FAsked;
  bool FWaits;
};

void PrintTo(const TSpellingCase& c, std::ostream* os) {
  *os << c.FLabel;
}

class WindowsLockNames : public testing::TestWithParam<TSpellingCase> {};

// Names are compared as the file system does: without regard to case, with
// "." and ".." resolved. Another file is another lock.
TEST_P(WindowsLockNames, SameFileHoweverSpelledWaits) {
  const TSpellingCase& c = GetParam();
  TTempDir dir;
  std::filesystem::create_directory(dir.FPath / "sub");
  TResult<TLockedFile> held = TLockedFile::Open(dir / c.FHeld);
  ASSERT_TRUE(held) << held.Error().FText;
  std::promise<void> waiting;
  std::future<void> waited = waiting.get_future();
  std::thread other([&] {
    const TResult<TLockedFile> asked =
        TLockedFile::Open(dir / c.FAsked, [&] { waiting.set_value(); });
    EXPECT_TRUE(asked) << asked.Error().FText;
  });
  const bool sawWait =
      waited.wait_for(std::chrono::seconds(c.FWaits ? 30 : 2)) == std::future_status::ready;
  held.Value().Unlock();
  other.join();
  EXPECT_EQ(sawWait, c.FWaits);
}

INSTANTIATE_TEST_SUITE_P(Files, WindowsLockNames,
                         testing::Values(TSpellingCase{"SameName", "s.qvs", "s.qvs", true},
                                         TSpellingCase{"OtherCase", "State.qvs", "sTATE.QVS", true},
                                         TSpellingCase{"DotsAndSlashes", "s.qvs",
                                                       "sub\\..\\.\\s.qvs", true},
                                         TSpellingCase{"OtherFile", "s.qvs", "t.qvs", false}),
                         [](const auto& info) { return std::string(info.param.FLabel); });

}  // namespace
}  // namespace quenvar
