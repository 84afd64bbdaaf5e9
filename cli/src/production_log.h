#pragma once
// The production log: one JSON object per chip and programmer, one per line
// (JSON Lines), appended to a file that several stations may share.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "quenvar/fileio/append_file.h"
#include "quenvar/fileio/file_error.h"

namespace quenvar {

enum class TChipResult : std::uint8_t { Ok, Error, NoReply, Unplugged, Aborted };

// "ok", "error", "no-reply", "unplugged", "aborted".
std::string_view ChipResultName(TChipResult result);

struct TChipRecord {
  std::chrono::system_clock::time_point FTime;  // the chain's start
  std::uint32_t FProgrammer = 0;
  std::string FIdentity;
  std::optional<std::string> FTarget;     // chip name or 24xx type
  std::optional<std::string> FSignature;  // ISP: six hex digits
  std::optional<std::uint64_t> FSerial;
  // Per written memory ("flash", "eeprom"): the SHA-256 of what went out, after stamping.
  std::vector<std::pair<std::string, std::string>> FImageSha256;
  std::vector<std::string> FCommands;
  TChipResult FResult = TChipResult::Ok;
  std::string FMessage;
  std::int64_t FDurationMs = 0;
};

// The record as one line of JSON, without the line break.
std::string ChipRecordJson(const TChipRecord& record);

// "2024-05-01T12:34:56.789Z".
std::string IsoUtcTime(std::chrono::system_clock::time_point time);

class TProductionLog {
 public:
  static TResult<TProductionLog> Open(const std::string& path);
  TResult<void> Append(const TChipRecord& record) {
    return FFile.AppendLine(ChipRecordJson(record));
  }

 private:
  explicit TProductionLog(TAppendFile file) : FFile(std::move(file)) {}

  TAppendFile FFile;
};

}  // namespace quenvar
