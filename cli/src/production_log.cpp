#include "production_log.h"

#include <cstdio>
#include <ctime>

namespace quenvar {

namespace {

// Bytes of a valid UTF-8 sequence starting at `at`, or 0.
std::size_t Utf8Length(std::string_view text, std::size_t at) {
  const auto c = static_cast<unsigned char>(text[at]);
  std::size_t length = 0;
  if (c >= 0xC2 && c <= 0xDF)
    length = 2;
  else if (c >= 0xE0 && c <= 0xEF)
    length = 3;
  else if (c >= 0xF0 && c <= 0xF4)
    length = 4;
  if (length == 0 || at + length > text.size()) return 0;
  for (std::size_t i = 1; i < length; ++i)
    if ((static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80) return 0;
  return length;
}

// A JSON string; bytes that are no UTF-8 (a file name in another code page)
// become U+FFFD, so that every line stays valid JSON.
std::string Quoted(std::string_view text) {
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (const std::size_t length = Utf8Length(text, i); length > 0) {
      out.append(text.substr(i, length));
      i += length - 1;
    } else {
      out += "\\ufffd";
    }
  }
  return out + "\"";
}

std::string QuotedOrNull(const std::optional<std::string>& text) {
  return text ? Quoted(*text) : "null";
}

}  // namespace

std::string_view ChipResultName(TChipResult result) {
  switch (result) {
    case TChipResult::Ok:
      return "ok";
    case TChipResult::Error:
      return "error";
    case TChipResult::NoReply:
      return "no-reply";
    case TChipResult::Unplugged:
      return "unplugged";
    case TChipResult::Aborted:
      return "aborted";
  }
  return "error";
}

std::string IsoUtcTime(std::chrono::system_clock::time_point time) {
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count();
  const std::time_t seconds = static_cast<std::time_t>(ms / 1000 - (ms % 1000 < 0 ? 1 : 0));
  std::tm utc{};
#ifdef _WIN32
  gmtime_s(&utc, &seconds);
#else
  gmtime_r(&seconds, &utc);
#endif
  char text[96];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                static_cast<int>((ms % 1000 + 1000) % 1000));
  return text;
}

std::string ChipRecordJson(const TChipRecord& record) {
  std::string line = "{\"time\":" + Quoted(IsoUtcTime(record.FTime));
  line += ",\"programmer\":{\"number\":" + std::to_string(record.FProgrammer) +
          ",\"identity\":" + Quoted(record.FIdentity) + "}";
  line += ",\"target\":" + QuotedOrNull(record.FTarget);
  line += ",\"signature\":" + QuotedOrNull(record.FSignature);
  line += ",\"serial\":" + (record.FSerial ? std::to_string(*record.FSerial) : "null");
  line += ",\"image_sha256\":{";
  for (std::size_t i = 0; i < record.FImageSha256.size(); ++i) {
    if (i > 0) line += ',';
    line += Quoted(record.FImageSha256[i].first);
    line += ':';
    line += Quoted(record.FImageSha256[i].second);
  }
  line += "},\"commands\":[";
  for (std::size_t i = 0; i < record.FCommands.size(); ++i) {
    if (i > 0) line += ',';
    line += Quoted(record.FCommands[i]);
  }
  line += "],\"result\":" + Quoted(ChipResultName(record.FResult));
  line += ",\"message\":" + Quoted(record.FMessage);
  line += ",\"duration_ms\":" + std::to_string(record.FDurationMs) + "}";
  return line;
}

TResult<TProductionLog> TProductionLog::Open(const std::string& path) {
  TResult<TAppendFile> file = TAppendFile::Open(path);
  if (!file) return file.Error();
  return TProductionLog(std::move(file.Value()));
}

}  // namespace quenvar
