// Exit statuses and messages: file errors, a missing or silent programmer,
// failures in the middle of an operation, and that no failure leaves a
// half-written output file.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "case_name.h"
#include "cli_test_util.h"
#include "quenvar/core/protocol.h"
#include "quenvar/hid/sim_hid_backend.h"
#include "quenvar/sim/sim_programmer.h"
#include "system_texts.h"

namespace quenvar::cli_test {
namespace {

const std::string kMissing = "No programmer found (0451:3210).\n";
const std::string kGone = "The programmer was disconnected (0451:3210).\n";

struct TFileErrorCase {
  std::string FName;     // file written into the temp folder
  std::string FContent;  // nullptr-like: empty name = file not created
  std::string FLang;
  std::string FErr;  // %F stands for the full path
};

class CliFileErrors : public ::testing::TestWithParam<TFileErrorCase> {};

TEST_P(CliFileErrors, ExitTwoWithTheWindowsMessage) {
  TTempDir dir;
  const TFileErrorCase& c = GetParam();
  const std::string path = dir / c.FName;
  if (!c.FContent.empty()) WriteText(path, c.FContent);
  std::string expected = c.FErr;
  if (const auto at = expected.find("%F"); at != std::string::npos) expected.replace(at, 2, path);
  const std::string out = dir / "out.bin";
  WriteText(out, "previous");

  // The same reader and messages for the programmer commands and for convert;
  // the programmer is never asked and the output stays as it was.
  const TRun w = Cli({"--simulate", "--lang", c.FLang, "write-flash", path});
  EXPECT_EQ(w.FStatus, 2);
  EXPECT_EQ(w.FErr, expected);
  EXPECT_EQ(w.FOut, "");
  const TRun v = Cli({"--lang", c.FLang, "convert", path, out});
  EXPECT_EQ(v.FStatus, 2);
  EXPECT_EQ(v.FErr, expected);
  EXPECT_EQ(ReadText(out), "previous");
}

void PrintTo(const TFileErrorCase& c, std::ostream* os) {
  *os << c.FName << " --lang " << c.FLang;
}

// Rows share a file name and language: the row number keeps their names apart.
INSTANTIATE_TEST_SUITE_P(
    Table, CliFileErrors,
    ::testing::Values(
        TFileErrorCase{"none.hex", "", "en",
                       "Cannot open %F.\r\n(" + test::MissingFileReason().FText + ".)\n"},
        TFileErrorCase{"none.bin", "", "de",
                       "Cannot open %F.\r\n(" + test::MissingFileReason().FText + ".)\n"},
        // no end record: the first pass fails
        TFileErrorCase{"a.hex", ":0100000055AA\r\n", "en", "Error in file. No hex file.\n"},
        TFileErrorCase{"a.hex", ":0100000055AA\r\n", "de", "Fehler in Datei. Keine Hex-Datei.\n"},
        TFileErrorCase{"a.hex", ":0100000055AA\r\n", "ru", "Входной файл не hex файл.\n"},
        // 01 + 00 + 00 + 00 + 55 = 56, so the checksum would be AA
        TFileErrorCase{"a.hex", ":0100000055AB\r\n:00000001FF", "en",
                       "Error in file. Wrong CSUM.\n"},
        TFileErrorCase{"a.hex", ":0100000055AB\r\n:00000001FF", "de",
                       "Fehler in Datei. Falsche CSUM.\n"},
        TFileErrorCase{"a.hex", ":0100000055AB\r\n:00000001FF", "ru",
                       "Ошибка входного файла.Не правильная CheckSum.\n"},
        // a wrong checksum on the end record itself
        TFileErrorCase{"a.hex", ":0100000055AA\r\n:00000001FE", "en",
                       "Error in file. Wrong CSUM.\n"}),
    [](const auto& info) {
      return test::CaseName(info.param.FName + " " + info.param.FLang) + "_" +
             std::to_string(info.index);
    });

TEST(CliStatus, EmptyImageIsNotWritten) {
  TTempDir dir;
  WriteText(dir / "empty.hex", ":00000001FF");
  const TRun r = Cli({"--simulate", "write-flash", dir / "empty.hex"});
  EXPECT_EQ(r.FStatus, 2);
  EXPECT_EQ(r.FErr, "quenvar-cli: '" + (dir / "empty.hex") + "' holds no data\n");
}

TEST(CliStatus, UsageErrorGoesToStandardError) {
  const TRun r = Cli({"--target", "24AA256", "read-fuses"});
  EXPECT_EQ(r.FStatus, 2);
  EXPECT_EQ(r.FOut, "");
  EXPECT_EQ(r.FErr,
            "quenvar-cli: command 'read-fuses' needs the ISP target (--target isp)\n"
            "Try 'quenvar-cli --help'.\n");
}

TEST(CliStatus, HelpAndVersion) {
  const TRun h = Cli({"--help"});
  EXPECT_EQ(h.FStatus, 0);
  EXPECT_EQ(h.FOut.rfind("Usage: quenvar-cli [OPTIONS] COMMAND [ARGS] [COMMAND [ARGS]...]\n", 0),
            0u);
  const TRun v = Cli({"--version", "detect"});
  EXPECT_EQ(v.FStatus, 0);
  EXPECT_EQ(v.FOut, std::string("quenvar-cli ") + QUENVAR_VERSION + "\n");
}

// A backend of the test's own making in place of the system's devices.
TCliEnvironment WithBackend(const std::shared_ptr<IHidBackend>& backend) {
  TCliEnvironment env;
  env.FMakeBackend = [backend] { return backend; };
  return env;
}

std::shared_ptr<TSimProgrammer> Programmer(const TSimFault* fault = nullptr) {
  TSimConfig config;
  config.FRealTiming = false;
  auto sim = std::make_shared<TSimProgrammer>(config);
  if (fault != nullptr) sim->AddFault(*fault);
  return sim;
}

TEST(CliStatus, NoProgrammerIsExitThree) {
  auto backend = std::make_shared<TSimHidBackend>();
  backend->Plug(0x046D, 0xC077, nullptr);  // some other HID device
  const TRun r = Cli({"erase"}, WithBackend(backend));
  EXPECT_EQ(r.FStatus, 3);
  EXPECT_EQ(r.FOut, "");
  EXPECT_EQ(r.FErr, kMissing);
  EXPECT_EQ(Cli({"--lang=de", "erase"}, WithBackend(backend)).FErr,
            "Kein Programmer gefunden (0451:3210).\n");
  EXPECT_EQ(Cli({"--lang=ru", "erase"}, WithBackend(backend)).FErr,
            "Программатор не найден (0451:3210).\n");

  // convert and list need no programmer.
  const TRun l = Cli({"list"}, WithBackend(backend));
  EXPECT_EQ(l.FStatus, 0);
  EXPECT_EQ(l.FOut, "-  046d:c077  /sim/hidraw1  -  read-write\n");
  const TRun none = Cli({"list"}, WithBackend(std::make_shared<TSimHidBackend>()));
  EXPECT_EQ(none.FOut, "no HID interfaces found\n");
}

// The library gets its backend from the executable; without one only the
// simulator is there, and nothing claims to have looked for a programmer.
TEST(CliStatus, WithoutABackendOnlyTheSimulatorWorks) {
  const struct {
    std::vector<std::string> FArgs;
    std::string FErr;
  } cases[] = {
      {{"list"}, "quenvar-cli: this build has no HID backend; use --simulate\n"},
      {{"--lang=de", "detect"},
       "quenvar-cli: dieses Programm hat keinen HID-Zugang; nehmen Sie --simulate\n"},
  };
  for (const auto& c : cases) {
    const TRun r = Cli(c.FArgs);
    EXPECT_EQ(r.FStatus, 3) << c.FArgs.back();
    EXPECT_EQ(r.FOut, "") << c.FArgs.back();
    EXPECT_EQ(r.FErr, c.FErr) << c.FArgs.back();
  }
  EXPECT_EQ(Cli({"--simulate", "detect"}).FStatus, 0);
}

// Opens for reading and writing are refused, as without the udev rule.
class TNoPermission final : public IHidBackend {
 public:
  std::shared_ptr<TSimHidBackend> FSim = std::make_shared<TSimHidBackend>();
  bool Bind() override { return true; }
  void Unbind() override {}
  std::vector<THidInterfaceInfo> Scan() override { return FSim->Scan(); }
  TResult<THidHandle> Open(const std::string& path, THidAccess access) override {
    if (access != THidAccess::QueryOnly)
      return TError{TErrorKind::Device, "device cannot be opened", EACCES};
    return FSim->Open(path, access);
  }
  void Close(THidHandle handle) override { FSim->Close(handle); }
  TResult<THidAttributes> GetAttributes(THidHandle h) override { return FSim->GetAttributes(h); }
  TResult<THidCaps> GetCapabilities(THidHandle h) override { return FSim->GetCapabilities(h); }
  TResult<std::size_t> Write(THidHandle h, const void* d, std::size_t n) override {
    return FSim->Write(h, d, n);
  }
  THidReadResult Read(THidHandle h, std::uint8_t* b, std::size_t n,
                      std::chrono::milliseconds t) override {
    return FSim->Read(h, b, n, t);
  }
  IHidChangeSource* ChangeSource() override { return nullptr; }
};

TEST(CliStatus, PermissionProblemsAreVisible) {
  auto backend = std::make_shared<TNoPermission>();
  backend->FSim->Plug(kProgrammerVendorId, kProgrammerProductId, Programmer());
  const TRun l = Cli({"list"}, WithBackend(backend));
  EXPECT_EQ(l.FStatus, 0);
  EXPECT_EQ(l.FOut, "1  0451:3210  /sim/hidraw1  -  query-only (Permission denied)\n");
  const TRun d = Cli({"detect"}, WithBackend(backend));
  EXPECT_EQ(d.FStatus, 3);
  EXPECT_EQ(d.FErr,
            "quenvar-cli: /sim/hidraw1: the programmer can only be queried (Permission denied); "
            "install the udev rule 70-quenvar.rules\n");
}

TEST(CliStatus, SilentProgrammerTimesOut) {
  auto backend = std::make_shared<TSimHidBackend>();
  backend->Plug(kProgrammerVendorId, kProgrammerProductId, nullptr);  // never answers
  TTempDir dir;
  const TRun r = Cli({"--timeout", "0.2", "read-flash", dir / "r.bin"}, WithBackend(backend));
  EXPECT_EQ(r.FStatus, 1);
  EXPECT_EQ(
      Masked(r.FOut),
      "reading signature byte...\nNo reply from the programmer.\n\nError.\nDuration: #.## s\n");
  EXPECT_EQ(r.FErr, "");
  EXPECT_FALSE(std::filesystem::exists(dir / "r.bin"));
}

TEST(CliStatus, ReadThatStopsHalfWayWritesNoFile) {
  const TSimFault fault = TSimFault::StopStreamAfter(10);
  auto backend = std::make_shared<TSimHidBackend>();
  backend->Plug(kProgrammerVendorId, kProgrammerProductId, Programmer(&fault));
  TTempDir dir;
  WriteText(dir / "r.hex", "old");
  const TRun r = Cli({"--timeout=0.2", "read-flash", dir / "r.hex"}, WithBackend(backend));
  EXPECT_EQ(r.FStatus, 1);
  EXPECT_NE(Masked(r.FOut).find("reading...\nNo reply from the programmer.\n\nError.\n"),
            std::string::npos)
      << r.FOut;
  EXPECT_EQ(ReadText(dir / "r.hex"), "old");
  EXPECT_EQ(std::filesystem::directory_iterator(dir.FPath)->path().filename(), "r.hex");
}

TEST(CliStatus, ErrorReplyInTheMiddleOfAWrite) {
  const TSimFault fault = TSimFault::AtChunk(3, TSimFaultAction::ReplyError);
  auto backend = std::make_shared<TSimHidBackend>();
  backend->Plug(kProgrammerVendorId, kProgrammerProductId, Programmer(&fault));
  TTempDir dir;
  WriteBytes(dir / "a.bin", Noise(1000, 7));
  const TRun r =
      Cli({"write-flash", dir / "a.bin", "read-flash", dir / "b.bin"}, WithBackend(backend));
  EXPECT_EQ(r.FStatus, 1);
  EXPECT_TRUE(EndsWith(Masked(r.FOut), "erasing...\nwriting...\n\nError.\nDuration: #.## s\n"))
      << r.FOut;
  EXPECT_FALSE(std::filesystem::exists(dir / "b.bin"));  // the chain stopped
}

TEST(CliStatus, ProgrammerPulledOutDuringAWrite) {
  const TSimFault fault = TSimFault::AtChunk(2, TSimFaultAction::Unplug);
  auto backend = std::make_shared<TSimHidBackend>();
  backend->Plug(kProgrammerVendorId, kProgrammerProductId, Programmer(&fault));
  TTempDir dir;
  WriteBytes(dir / "a.bin", Noise(1000, 8));
  const TRun r = Cli({"write-flash", dir / "a.bin"}, WithBackend(backend));
  EXPECT_EQ(r.FStatus, 3);
  EXPECT_EQ(r.FErr, kGone);
  // Abandoned without a result line.
  EXPECT_TRUE(EndsWith(r.FOut, "erasing...\nwriting...\n")) << r.FOut;
}

TEST(CliStatus, PulledOutWhileASecondProgrammerIsPlugged) {
  // The driver claims the second one at once; the abandoned write must end
  // the run all the same instead of waiting for replies that never come.
  const TSimFault fault = TSimFault::AtChunk(2, TSimFaultAction::Unplug);
  auto backend = std::make_shared<TSimHidBackend>();
  backend->Plug(kProgrammerVendorId, kProgrammerProductId, Programmer(&fault));
  backend->Plug(kProgrammerVendorId, kProgrammerProductId, Programmer());
  TTempDir dir;
  WriteBytes(dir / "a.bin", Noise(1000, 9));
  const TRun r = Cli({"write-flash", dir / "a.bin", "erase"}, WithBackend(backend));
  EXPECT_EQ(r.FStatus, 3);
  EXPECT_EQ(r.FErr, kGone);
  EXPECT_TRUE(EndsWith(r.FOut, "erasing...\nwriting...\n")) << r.FOut;
}

TEST(CliStatus, LockedChipHasNoSizeToRead) {
  TTempDir dir;
  const std::string sim = "--simulate=isp=locked:ATmega8,state=" + (dir / "s.qvs");
  const TRun d = Cli({sim, "detect", "read-flash", dir / "r.bin"});
  EXPECT_EQ(d.FStatus, 1);
  EXPECT_EQ(Masked(d.FOut),
            "reading signature byte...\nID: 00 01 02\nreading fuse bis...\n\nSuccessfully "
            "finished.\nDuration: #.## s\nChip: Device locked !\n"
            "reading signature byte...\nID: 00 01 02\nreading fuse bis...\nreading...\n\nError.\n"
            "Duration: #.## s\n");
  EXPECT_EQ(d.FErr, "Device locked !\n");
  EXPECT_FALSE(std::filesystem::exists(dir / "r.bin"));
  // An erase reveals the chip, and the next run sees it.
  ASSERT_EQ(Cli({sim, "erase"}).FStatus, 0);
  EXPECT_TRUE(EndsWith(Cli({sim, "detect"}).FOut, "Chip: ATmega8, 8192 bytes of flash\n"));
}

}  // namespace
}  // namespace quenvar::cli_test
