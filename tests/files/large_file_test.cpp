// Files larger than the pieces the HEX reader and writer work in (256 KiB of
// text), and FIFOs, which give their bytes only once: through the window's
// open and save, byte for byte.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <cstdint>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "case_name.h"
#include "quenvar/buffer/bin_file.h"
#include "quenvar/buffer/custom_mp_hex_editor.h"
#include "quenvar/buffer/file_ops.h"
#include "quenvar/fileio/file_reader.h"
#include "temp_dir.h"

namespace quenvar {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::ReadBytes;
using test::TTempDir;
using test::WriteText;

constexpr std::size_t kPiece = 256 << 10;  // the HEX reader's piece of text

Bytes Counting(std::size_t n) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
  return b;
}

Bytes Loaded(const std::string& name) {
  TCustomMPHexEditor editor;
  TFileOps files(editor);
  const TOpenOutcome o = files.OpenFile(name, 1);
  EXPECT_EQ(o.FLoad.FStatus, TLoadStatus::Loaded) << o.FLoad.FMessage;
  EXPECT_FALSE(o.FLoad.ErrorFlag());
  return {editor.Data().begin(), editor.Data().end()};
}

struct TRoundTrip {
  std::string FName;
  std::size_t FSize;
};

void PrintTo(const TRoundTrip& c, std::ostream* os) {
  *os << c.FName << ", " << c.FSize << " bytes";
}

class LargeRoundTrip : public testing::TestWithParam<TRoundTrip> {};

// Saved and opened again: HEX gives the image padded with FF to whole records.
TEST_P(LargeRoundTrip, SavesInPiecesAndReadsBack) {
  TTempDir dir;
  const Bytes data = Counting(GetParam().FSize);
  TCustomMPHexEditor editor;
  TFileOps files(editor);
  editor.LoadDataFromBytes(data);
  const std::string name = dir / GetParam().FName;
  ASSERT_EQ(files.SaveFile(name).FStatus, TSaveStatus::Saved);

  const bool hex = SaveFormatOf(name) == TFileFormat::IntelHex;
  const std::string text = WriteHexFile(data);
  EXPECT_EQ(ReadBytes(name), hex ? Bytes(text.begin(), text.end()) : data);
  Bytes padded = data;
  if (hex) padded.resize((data.size() + 15) / 16 * 16, 0xFF);
  EXPECT_EQ(Loaded(name), padded);
}

INSTANTIATE_TEST_SUITE_P(Files, LargeRoundTrip,
                         testing::Values(TRoundTrip{"three-segments-and-one.hex", 0x30001},
                                         TRoundTrip{"five-segments-less-13.hex", 0x4FFF3},
                                         TRoundTrip{"three-segments-and-one.bin", 0x30001}),
                         [](const auto& info) { return test::CaseName(info.param.FName); });

struct TPieceCase {
  std::string FName;
  std::string FText;
  std::size_t FImageSize;
};

// A CR at the end of the first piece and its LF at the start of the next:
// 45-character records after as many 20-character lines as it takes.
std::string CrLfAcrossPieces() {
  std::string records = WriteHexFile(Bytes(0x10000, 0x00));
  records.resize(records.size() - 11);  // without its end record
  std::string text;
  while ((kPiece - 1 - 43 - text.size()) % 45 != 0) text += ":0400000300003800C1\n";
  return text + records + records + ":00000001FF";
}

void PrintTo(const TPieceCase& c, std::ostream* os) {
  *os << c.FName;
}

class FilePieces : public testing::TestWithParam<TPieceCase> {};

TEST_P(FilePieces, ReadAsFromMemory) {
  TTempDir dir;
  const std::string name = dir / "pieces.hex";
  WriteText(name, GetParam().FText);
  TResult<TFileReader> file = TFileReader::Open(name);
  ASSERT_TRUE(file.Ok());
  const TResult<TByteImage> fromFile = ReadHexFile(file.Value());
  const TResult<TByteImage> fromMemory = ReadHexFile(GetParam().FText);
  ASSERT_TRUE(fromFile.Ok()) << fromFile.Error().FLine;
  ASSERT_TRUE(fromMemory.Ok());
  EXPECT_EQ(fromFile->size(), GetParam().FImageSize);
  EXPECT_TRUE(fromFile.Value() == fromMemory.Value());
}

INSTANTIATE_TEST_SUITE_P(
    Files, FilePieces,
    testing::Values(TPieceCase{"CR LF across pieces", CrLfAcrossPieces(), 0x10000},
                    // Digits that never end a line: the piece grows for it.
                    TPieceCase{"line longer than a piece",
                               ":10000000" + std::string(kPiece + 1000, '0') + "F0\n:00000001FF",
                               16}),
    [](const auto& info) { return test::CaseName(info.param.FName); });

TEST(FilePieces, CrLfCaseSplitsWhereMeant) {
  const std::string text = CrLfAcrossPieces();
  EXPECT_EQ(text.substr(kPiece - 1, 2), "\r\n");
}

// FIFOs and /proc are Linux's; Windows pipes are read in fileio's own tests.
#ifndef _WIN32
// A FIFO cannot be read twice; the HEX reader's two passes still see it all.
TEST(FifoOpen, GivesTheWrittenBytes) {
  for (const char* leaf : {"pipe.hex", "pipe.bin"}) {
    SCOPED_TRACE(leaf);
    TTempDir dir;
    const std::string name = dir / leaf;
    ASSERT_EQ(::mkfifo(name.c_str(), 0600), 0);
    const Bytes data = Counting(70001);
    const std::string hex = WriteHexFile(data);
    const bool isHex = OpenFormatOf(name) == TFileFormat::IntelHex;
    std::thread writer([&] {
      std::ofstream out(name, std::ios::binary);
      if (isHex)
        out << hex;
      else
        out.write(reinterpret_cast<const char*>(data.data()), static_cast<long>(data.size()));
    });
    Bytes expected = data;
    if (isHex) expected.resize(70016, 0xFF);
    EXPECT_EQ(Loaded(name), expected);
    writer.join();
  }
}

// A file whose size says 0 but that has bytes: the read grows for them.
TEST(WholeFile, ReadsPastTheSizeItSays) {
  const TResult<TByteImage> r = ReadWholeFile("/proc/self/cmdline");
  ASSERT_TRUE(r.Ok()) << r.Error().FText;
  std::ifstream in("/proc/self/cmdline", std::ios::binary);
  const std::string expected{std::istreambuf_iterator<char>(in), {}};
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(std::string(r->begin(), r->end()), expected);
}
#endif

}  // namespace
}  // namespace quenvar
