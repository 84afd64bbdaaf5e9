// Production runs: several programmers at once, serial numbers, the JSON log,
// station mode, and the usage errors that stop a run before anything is sent.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

#include <chrono>
#include <csignal>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <thread>

#include "case_name.h"
#include "cli_test_util.h"
#include "quenvar/cli/production_options.h"
#include "quenvar/core/protocol.h"
#include "quenvar/hid/sim_hid_backend.h"
#include "quenvar/sim/sim_programmer.h"
#include "quenvar/sim/sim_state_file.h"
#include "run_program.h"
#include "system_texts.h"

namespace quenvar::cli_test {
namespace {

using nlohmann::json;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The log's lines, each parsed; a line that does not parse fails the test.
std::vector<json> LogRecords(const std::string& path) {
  std::vector<json> records;
  for (const std::string& line : Lines(ReadText(path))) {
    EXPECT_TRUE(json::accept(line)) << line;
    if (json::accept(line)) records.push_back(json::parse(line));
  }
  return records;
}

// Programmer N's lines of a production run, without their "[N] ".
std::string LinesOf(const std::string& out, int number) {
  const std::string prefix = "[" + std::to_string(number) + "] ";
  std::string own;
  for (const std::string& line : Lines(out))
    if (line.rfind(prefix, 0) == 0) own += line.substr(prefix.size()) + "\n";
  return own;
}

// Waits until the log has `count` lines or `deadline` passed.
void AwaitLogLines(const std::string& path, std::size_t count,
                   std::chrono::steady_clock::time_point deadline) {
  while (Lines(ReadText(path)).size() < count && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

std::vector<std::uint8_t> Flash(const TSimState& state, std::size_t from, std::size_t count) {
  const auto& flash = state.FAvr.Flash();
  return {flash.begin() + static_cast<std::ptrdiff_t>(from),
          flash.begin() + static_cast<std::ptrdiff_t>(from + count)};
}

TEST(Production, FourProgrammersRunTheChainOfOne) {
  TTempDir dir;
  const std::vector<std::uint8_t> image = Noise(3000, 7);
  WriteBytes(dir / "a.bin", image);
  const std::string state = "state=" + (dir / "s.qvs");
  const TRun one =
      Cli({"--simulate=" + state, "write-flash", dir / "a.bin", "verify", dir / "a.bin"});
  ASSERT_EQ(one.FStatus, 0);
  const TRun gang = Cli({"--simulate=programmers=4," + state, "--programmer", "all", "write-flash",
                         dir / "a.bin", "verify", dir / "a.bin"});
  EXPECT_EQ(gang.FStatus, 0);
  EXPECT_EQ(gang.FErr, "");
  std::size_t own = 0;
  for (int n = 1; n <= 4; ++n) {
    EXPECT_EQ(Masked(LinesOf(gang.FOut, n)), Masked(one.FOut)) << "programmer " << n;
    own += Lines(LinesOf(gang.FOut, n)).size();
  }
  EXPECT_EQ(own, Lines(gang.FOut).size()) << "a line without its [N] prefix";
  const auto chips = LoadSimGangStateFile(dir / "s.qvs");
  ASSERT_TRUE(chips) << chips.Error().FText;
  ASSERT_EQ(chips->size(), 4u);
  for (const TSimState& chip : chips.Value()) EXPECT_EQ(Flash(chip, 0, image.size()), image);
}

// Four programmers of the test's own making, one of them with a fault.
struct TFaultCase {
  const char* FName;
  TSimFaultAction FAction;
  int FStatus;
  const char* FResult;
  const char* FMessage;  // what the failed programmer's log record ends with
};
void PrintTo(const TFaultCase& c, std::ostream* os) {
  *os << c.FName;
}

class ProductionFault : public ::testing::TestWithParam<TFaultCase> {};

TEST_P(ProductionFault, TheOthersFinishAndTheStatusIsTheFailedOnes) {
  TTempDir dir;
  // SHA-256("abc") is FIPS 180-2's first example.
  WriteText(dir / "abc.bin", "abc");
  auto backend = std::make_shared<TSimHidBackend>();
  std::vector<std::shared_ptr<TSimProgrammer>> programmers;
  for (int n = 1; n <= 4; ++n) {
    TSimConfig config;
    config.FRealTiming = false;
    programmers.push_back(std::make_shared<TSimProgrammer>(config));
    backend->Plug(kProgrammerVendorId, kProgrammerProductId, programmers.back(), 0x0100,
                  "/bench/port" + std::to_string(n));
  }
  // The erase and the first chunk pass: the chip is half written.
  programmers[2]->AddFault(TSimFault::AtOutputReport(5, GetParam().FAction));
  TCliEnvironment env;
  env.FMakeBackend = [backend] { return backend; };
  const TRun r = Cli({"--programmer", "all", "--log", dir / "log.jsonl", "--timeout", "0.5",
                      "write-flash", dir / "abc.bin", "verify", dir / "abc.bin"},
                     env);
  EXPECT_EQ(r.FStatus, GetParam().FStatus) << r.FOut << r.FErr;
  std::map<int, std::string> results;
  for (const json& record : LogRecords(dir / "log.jsonl")) {
    const int number = record["programmer"]["number"];
    results[number] = record["result"];
    EXPECT_EQ(record["programmer"]["identity"], "/bench/port" + std::to_string(number));
    EXPECT_EQ(record["image_sha256"]["flash"],
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(record["commands"],
              json::array({"write-flash " + (dir / "abc.bin"), "verify " + (dir / "abc.bin")}));
    if (number == 3) {
      EXPECT_EQ(record["message"], GetParam().FMessage);
    }
  }
  EXPECT_EQ(results,
            (std::map<int, std::string>{{1, "ok"}, {2, "ok"}, {3, GetParam().FResult}, {4, "ok"}}));
  for (int n : {0, 1, 3}) {
    const auto& flash = programmers[static_cast<std::size_t>(n)]->Avr().Flash();
    EXPECT_EQ(std::string(flash.begin(), flash.begin() + 3), "abc") << "programmer " << n + 1;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Fault, ProductionFault,
    ::testing::Values(TFaultCase{"Unplug", TSimFaultAction::Unplug, 3, "unplugged",
                                 "The programmer was disconnected (0451:3210)."},
                      TFaultCase{"ReplyError", TSimFaultAction::ReplyError, 1, "error", "Error."},
                      TFaultCase{"NoReply", TSimFaultAction::NoReply, 1, "no-reply", "Error."}),
    [](const auto& info) { return std::string(info.param.FName); });

TEST(Production, StationStampsTwelveChipsWithTwelveNumbers) {
  TTempDir dir;
  WriteBytes(dir / "fw.bin", Noise(1000, 3));
  WriteBytes(dir / "ee.bin", Noise(20, 4));
  // A name that is no ASCII: the serial file is looked for in UTF-8 on every system.
  const std::string serialFile = dir / "\xD0\xBD\xD0\xBE\xD0\xBC\xD0\xB5\xD1\x80";
  WriteText(serialFile, "1000\n");
  const TRun r = Cli({"--simulate=programmers=4,chips=3,state=" + (dir / "s.qvs"), "--programmer",
                      "all", "--serial", "eeprom:0x30:6:ascii", "--serial-file", serialFile,
                      "--log", dir / "log.jsonl", "--repeat=3", "write-flash", dir / "fw.bin",
                      "write-eeprom", dir / "ee.bin"});
  EXPECT_EQ(r.FStatus, 0) << r.FErr;
  EXPECT_EQ(ReadText(serialFile), "1012\n");
  std::multiset<std::uint64_t> serials;
  std::map<int, std::uint64_t> last;
  for (const json& record : LogRecords(dir / "log.jsonl")) {
    EXPECT_EQ(record["result"], "ok");
    EXPECT_EQ(record["target"], "ATmega8");
    EXPECT_EQ(record["signature"], "1E9307");
    serials.insert(record["serial"].get<std::uint64_t>());
    last[record["programmer"]["number"]] = record["serial"];
  }
  std::multiset<std::uint64_t> expected;
  for (std::uint64_t n = 1000; n < 1012; ++n) expected.insert(n);
  EXPECT_EQ(serials, expected);
  // The chip left in each socket carries the last number in six ASCII digits at 0x30.
  const auto chips = LoadSimGangStateFile(dir / "s.qvs");
  ASSERT_TRUE(chips) << chips.Error().FText;
  for (int n = 1; n <= 4; ++n) {
    const auto& eeprom = chips.Value()[static_cast<std::size_t>(n - 1)].FAvr.Eeprom();
    EXPECT_EQ(std::string(eeprom.begin() + 0x30, eeprom.begin() + 0x36),
              "00" + std::to_string(last[n]));
    EXPECT_EQ(std::vector<std::uint8_t>(eeprom.begin() + 0x20, eeprom.begin() + 0x30),
              std::vector<std::uint8_t>(16, 0xFF))
        << "padded with FF up to the number";
  }
  for (int n = 1; n <= 4; ++n) {
    const std::string summary = Lines(LinesOf(r.FOut, n)).back();
    EXPECT_EQ(summary.rfind("3 ok, 0 failed, ", 0), 0u) << summary;
    EXPECT_TRUE(EndsWith(summary, " chips per hour")) << summary;
  }
}

// The number in each --serial format, or none when it does not fit.
struct TFormatCase {
  const char* FStampText;
  std::uint64_t FNumber;
  std::vector<std::uint8_t> FBytes;  // empty: does not fit
};
void PrintTo(const TFormatCase& c, std::ostream* os) {
  *os << c.FStampText << " " << c.FNumber;
}

class SerialFormat : public ::testing::TestWithParam<TFormatCase> {};

TEST_P(SerialFormat, Bytes) {
  std::string error;
  const auto stamp = ParseSerialStamp(GetParam().FStampText, error);
  ASSERT_TRUE(stamp) << error;
  const auto bytes = SerialBytes(*stamp, GetParam().FNumber);
  EXPECT_EQ(bytes.value_or(std::vector<std::uint8_t>{}), GetParam().FBytes);
}

INSTANTIATE_TEST_SUITE_P(
    Format, SerialFormat,
    ::testing::Values(TFormatCase{"flash:0:4", 0x12345, {0x45, 0x23, 0x01, 0x00}},
                      TFormatCase{"flash:0:4:BE", 0x12345, {0x00, 0x01, 0x23, 0x45}},
                      TFormatCase{"flash:0:1:le", 255, {0xFF}},
                      TFormatCase{"flash:0:1:be", 256, {}},
                      TFormatCase{
                          "flash:0:16:be", 1, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}},
                      TFormatCase{"eeprom:0x10:5:ascii", 42, {'0', '0', '0', '4', '2'}},
                      TFormatCase{"eeprom:0x10:2:ascii", 99, {'9', '9'}},
                      TFormatCase{"eeprom:0x10:2:ascii", 100, {}},
                      TFormatCase{"flash:0:4:hex", 0xBEEF, {'B', 'E', 'E', 'F'}},
                      TFormatCase{"flash:0:3:hex", 0x1000, {}}),
    [](const auto& info) {
      return test::CaseName(std::string(info.param.FStampText) + " " +
                            std::to_string(info.param.FNumber));
    });

// Refused before the programmer is touched: exit 2, the state file never made.
struct TUsageCase {
  const char* FName;
  std::vector<std::string> FArgs;  // %D: the temporary folder
  const char* FSerialFile;         // content; null: no file
  std::string FErr;                // %D as above
};
void PrintTo(const TUsageCase& c, std::ostream* os) {
  *os << c.FName;
}

class ProductionUsage : public ::testing::TestWithParam<TUsageCase> {};

std::string WithDir(std::string text, const std::string& dir) {
  for (std::size_t at; (at = text.find("%D")) != std::string::npos;) text.replace(at, 2, dir);
  return text;
}

TEST_P(ProductionUsage, ExitTwoAndNothingSent) {
  TTempDir dir;
  const std::string d = dir.FPath.string();
  WriteBytes(dir / "a.bin", Noise(100, 1));
  if (GetParam().FSerialFile != nullptr) WriteText(dir / "serial", GetParam().FSerialFile);
  std::vector<std::string> args{"--simulate=programmers=2,state=" + (dir / "s.qvs"), "--programmer",
                                "all"};
  for (const std::string& arg : GetParam().FArgs) args.push_back(WithDir(arg, d));
  const TRun r = Cli(args);
  EXPECT_EQ(r.FStatus, 2);
  EXPECT_EQ(r.FOut, "");
  EXPECT_EQ(r.FErr, WithDir(GetParam().FErr, d));
  EXPECT_FALSE(std::filesystem::exists(dir / "s.qvs"));
}

const std::string kTry = "\nTry 'quenvar-cli --help'.\n";

// A write of a.bin stamped with `serial`, the numbers kept in %D/serial.
std::vector<std::string> Stamped(const std::string& serial) {
  return {"--serial", serial, "--serial-file", "%D/serial", "write-flash", "%D/a.bin"};
}

const std::string kNotWithSeveral =
    "' does not run with several programmers, --serial, --log or --repeat" + kTry;

INSTANTIATE_TEST_SUITE_P(
    Usage, ProductionUsage,
    ::testing::Values(
        TUsageCase{"NoLength", Stamped("flash:0x10"), "1",
                   "quenvar-cli: bad --serial 'flash:0x10'; give MEM:ADDR:LEN[:FORMAT], e.g. "
                   "eeprom:0x10:4:ascii" +
                       kTry},
        TUsageCase{
            "UnknownFormat",
            {"--serial=flash:0:4:dec", "--serial-file", "%D/serial", "write-flash", "%D/a.bin"},
            "1",
            "quenvar-cli: bad --serial format 'dec'; give le, be, ascii or hex" + kTry},
        TUsageCase{"LengthAbove16", Stamped("flash:0:17"), "1",
                   "quenvar-cli: bad --serial length '17'; give 1 to 16 bytes" + kTry},
        TUsageCase{"NoFile",
                   {"--serial", "flash:0:4", "write-flash", "%D/a.bin"},
                   "1",
                   "quenvar-cli: option '--serial' needs --serial-file PATH" + kTry},
        TUsageCase{"NoMatchingWrite", Stamped("eeprom:0:4"), "1",
                   "quenvar-cli: --serial eeprom:0x0:4:le: the chain has no write-eeprom to stamp "
                   "it into" +
                       kTry},
        TUsageCase{"ReadWithSeveral",
                   {"read-flash", "%D/r.bin"},
                   nullptr,
                   "quenvar-cli: command 'read-flash" + kNotWithSeveral},
        TUsageCase{"WriteFusesWithSeveral",
                   {"write-fuses", "--program", "CKSEL0"},
                   nullptr,
                   "quenvar-cli: command 'write-fuses" + kNotWithSeveral},
        TUsageCase{"NumberTooBig", Stamped("flash:0:1"), "256\n",
                   "quenvar-cli: serial number 256 does not fit --serial flash:0x0:1:le\n"},
        TUsageCase{"MissingSerialFile", Stamped("flash:0:4"), nullptr,
                   "quenvar-cli: serial file '%D/serial': " + test::MissingFileReason().FText +
                       "; create it with the first number, e.g. echo 1000 > %D/serial\n"},
        TUsageCase{"MalformedSerialFile", Stamped("flash:0:4"), "12a\n",
                   "quenvar-cli: serial file '%D/serial' does not hold the next number as "
                   "decimal digits\n"},
        TUsageCase{"PastTheSocket",
                   {"--target", "24AA01", "--serial", "flash:126:4", "--serial-file", "%D/serial",
                    "write-flash", "%D/a.bin"},
                   "1",
                   "quenvar-cli: '%D/a.bin': The image (130 bytes) is larger than the chip's "
                   "memory (128 bytes).\n"}),
    [](const auto& info) { return std::string(info.param.FName); });

TEST(Production, ListNumbersByPortAndSelectsByNumberOrPath) {
  auto backend = std::make_shared<TSimHidBackend>();
  TSimConfig config;
  config.FRealTiming = false;
  for (const char* port : {"/bench/port10", "/bench/port2"})
    backend->Plug(kProgrammerVendorId, kProgrammerProductId,
                  std::make_shared<TSimProgrammer>(config), 0x0100, port,
                  std::string(port).substr(7) == "port2" ? "QV-0002" : "");
  backend->Plug(0x046d, 0xc077, nullptr);
  TCliEnvironment env;
  env.FMakeBackend = [backend] { return backend; };
  EXPECT_EQ(Cli({"list"}, env).FOut,
            "1  0451:3210  /bench/port2  QV-0002  read-write\n"
            "2  0451:3210  /bench/port10  -  read-write\n"
            "-  046d:c077  /sim/hidraw3  -  read-write\n");
  const struct {
    std::vector<std::string> FSelectors;
    int FStatus;
    const char* FOut;  // the programmers' own lines of a detect
    const char* FErr;
  } cases[] = {
      {{"2"}, 0, "Chip: ATmega8, 8192 bytes of flash\n", ""},
      {{"/bench/port10", "1"},
       0,
       "[1] Chip: ATmega8, 8192 bytes of flash\n[2] Chip: ATmega8, 8192 bytes of flash\n",
       ""},
      {{"3"}, 3, "", "quenvar-cli: no programmer 3; list shows 2\n"},
      {{"/bench/port3"}, 3, "", "quenvar-cli: no programmer at '/bench/port3'\n"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args;
    for (const std::string& s : c.FSelectors) args.insert(args.end(), {"--programmer", s});
    args.push_back("detect");
    const TRun r = Cli(args, env);
    EXPECT_EQ(r.FStatus, c.FStatus) << c.FSelectors[0];
    // The programmers answer in any order.
    std::vector<std::string> found;
    for (const std::string& line : Lines(r.FOut))
      if (line.find("Chip: ") != std::string::npos) found.push_back(line + "\n");
    std::sort(found.begin(), found.end());
    std::string chips;
    for (const std::string& line : found) chips += line;
    EXPECT_EQ(chips, c.FOut) << c.FSelectors[0];
    EXPECT_EQ(r.FErr, c.FErr) << c.FSelectors[0];
  }
}

// quenvar-cli as a process of its own, with standard output and error in a file.
test::TStartedProgram Start(const std::vector<std::string>& args, const std::string& output) {
  return test::StartProgram(QUENVAR_CLI_BINARY, args, output);
}

// Standard input of a station, written by the test.
#ifdef _WIN32
int MakePipe(int fds[2]) {
  return ::_pipe(fds, 4096, _O_BINARY);
}
int WriteFd(int fd, const char* data, unsigned size) {
  return ::_write(fd, data, size);
}
int CloseFd(int fd) {
  return ::_close(fd);
}
#else
int MakePipe(int fds[2]) {
  return ::pipe(fds);
}
int WriteFd(int fd, const char* data, unsigned size) {
  return static_cast<int>(::write(fd, data, size));
}
int CloseFd(int fd) {
  return ::close(fd);
}
#endif

TEST(Production, TwoProcessesNeverShareANumber) {
  TTempDir dir;
  WriteBytes(dir / "a.bin", Noise(500, 9));
  WriteText(dir / "serial", "1000");
  std::vector<test::TStartedProgram> runs;
  for (const char* name : {"one", "two"})
    runs.push_back(Start({"--simulate=programmers=2,chips=3", "--programmer", "all", "--serial",
                          "flash:0x100:4:be", "--serial-file", dir / "serial", "--log",
                          dir / "log.jsonl", "--repeat=3", "write-flash", dir / "a.bin"},
                         dir / name));
  for (auto& run : runs) EXPECT_EQ(test::WaitProgram(run), 0);
  std::set<std::uint64_t> serials;
  const std::vector<json> records = LogRecords(dir / "log.jsonl");
  for (const json& record : records) serials.insert(record["serial"].get<std::uint64_t>());
  EXPECT_EQ(records.size(), 12u);
  EXPECT_EQ(serials.size(), 12u);
  EXPECT_EQ(*serials.begin(), 1000u);
  EXPECT_EQ(*serials.rbegin(), 1011u);
  EXPECT_EQ(ReadText(dir / "serial"), "1012\n");
}

TEST(Production, ALogCutByAKillStillParsesLineByLine) {
  TTempDir dir;
  WriteBytes(dir / "a.bin", Noise(2000, 5));
  // A line a crash cut short before this run: it must stay alone.
  const std::string cut = R"({"time":"2024-01-01T00:00:00.000Z","programmer":{"num)";
  WriteText(dir / "log.jsonl", cut);
  test::TStartedProgram run =
      Start({"--simulate=timing=real,programmers=2,chips=100", "--programmer", "all", "--log",
             dir / "log.jsonl", "--repeat", "write-flash", dir / "a.bin"},
            dir / "out");
  AwaitLogLines(dir / "log.jsonl", 4, std::chrono::steady_clock::now() + std::chrono::seconds(60));
  test::KillProgram(run);
  EXPECT_EQ(test::WaitProgram(run), test::kKilledStatus);
  const std::vector<std::string> lines = Lines(ReadText(dir / "log.jsonl"));
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines[0], cut);
  for (std::size_t i = 1; i < lines.size(); ++i) {
    ASSERT_TRUE(json::accept(lines[i])) << lines[i];
    EXPECT_EQ(json::parse(lines[i])["result"], "ok");
  }
}

TEST(Production, SocketStationWaitsForEnter) {
  TTempDir dir;
  WriteBytes(dir / "d.bin", Noise(100, 2));
  int input[2];
  ASSERT_EQ(MakePipe(input), 0);
  TCliEnvironment env;
  env.FInputFd = input[0];
  // Enter once both programmers wait (their first records are in), then the end of input.
  std::thread operatorHand([&] {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    AwaitLogLines(dir / "log.jsonl", 2, deadline);
    EXPECT_EQ(WriteFd(input[1], "\n", 1), 1);
    AwaitLogLines(dir / "log.jsonl", 4, deadline);
    CloseFd(input[1]);
  });
  const TRun r = Cli({"--simulate=programmers=2", "--target", "24AA01", "--programmer", "all",
                      "--log", dir / "log.jsonl", "--repeat", "write-flash", dir / "d.bin"},
                     env);
  operatorHand.join();
  CloseFd(input[0]);
  EXPECT_EQ(r.FStatus, 0) << r.FErr;
  EXPECT_EQ(r.FErr,
            "put in the next chips, then press Enter\nput in the next chips, then press Enter\n");
  EXPECT_EQ(LogRecords(dir / "log.jsonl").size(), 4u);
  EXPECT_NE(r.FOut.find("[1] 2 ok, 0 failed, "), std::string::npos) << r.FOut;
  EXPECT_NE(r.FOut.find("[2] 2 ok, 0 failed, "), std::string::npos) << r.FOut;
}

// Ctrl+C in station mode, asked for once the serial file holds `after`: the
// write of the chip before that number has started.
struct TStopCase {
  const char* FName;
  int FRequests;
  const char* FSimulate;
  const char* FAfter;
  int FStatus;
  const char* FLastResult;
  std::size_t FRecords;
  const char* FSummary;
};
void PrintTo(const TStopCase& c, std::ostream* os) {
  *os << c.FName;
}

class ProductionStop : public ::testing::TestWithParam<TStopCase> {};

TEST_P(ProductionStop, RunningChainsFinishOrAreAborted) {
  TTempDir dir;
  WriteBytes(dir / "a.bin", Noise(4000, 6));
  WriteText(dir / "serial", "1000\n");
  const std::string log = dir / "log.jsonl";
  TCliEnvironment env;
  env.FPollStop = [&] {
    TCliStopRequest request;
    if (ReadText(dir / "serial") == GetParam().FAfter) request = {GetParam().FRequests, SIGINT};
    return request;
  };
  const TRun r =
      Cli({std::string("--simulate=chips=50,") + GetParam().FSimulate, "--serial", "flash:0:4",
           "--serial-file", dir / "serial", "--log", log, "--repeat", "write-flash", dir / "a.bin"},
          env);
  EXPECT_EQ(r.FStatus, GetParam().FStatus) << r.FErr;
  EXPECT_EQ(r.FErr.rfind("stopping after this operation\n", 0), 0u) << r.FErr;
  const std::vector<json> records = LogRecords(log);
  ASSERT_EQ(records.size(), GetParam().FRecords);
  EXPECT_EQ(records.back()["result"], GetParam().FLastResult);
  EXPECT_EQ(records.back()["serial"], 1001);
  EXPECT_EQ(ReadText(dir / "serial"), "1002\n");
  EXPECT_EQ(Lines(r.FOut).back().rfind(GetParam().FSummary, 0), 0u) << r.FOut;
}

INSTANTIATE_TEST_SUITE_P(Stop, ProductionStop,
                         ::testing::Values(TStopCase{"FirstLetsTheChainFinish", 1, "timing=real",
                                                     "1002\n", 0, "ok", 2, "2 ok, 0 failed, "},
                                           TStopCase{"SecondAborts", 2, "timing=real", "1002\n",
                                                     130, "aborted", 2, "1 ok, 1 failed, "}),
                         [](const auto& info) { return std::string(info.param.FName); });

}  // namespace
}  // namespace quenvar::cli_test
