#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "quenvar/presenter/settings_store.h"

namespace quenvar::test {

// An in-memory store that records every call into a shared log and can be
// told to fail writes or hold values of the wrong kind.
class TFakeStore final : public TSettingsStore {
 public:
  explicit TFakeStore(std::vector<std::string>& Log) : FLog(Log) {}

  std::map<std::string, std::int32_t> Values;
  std::set<std::string> WrongType;
  bool FailWrites = false;

  void PutInteger(std::string_view Name, std::int32_t Value) override {
    FLog.push_back("put " + std::string(Name) + " " + std::to_string(Value));
    if (FailWrites) throw SetDataError(Name);
    Values[std::string(Name)] = Value;
    WrongType.erase(std::string(Name));
  }
  void PutBool(std::string_view Name, bool Flag) override { PutInteger(Name, Flag ? 1 : 0); }
  std::int32_t GetInteger(std::string_view Name, std::int32_t Default) override {
    FLog.push_back("get " + std::string(Name));
    if (WrongType.count(std::string(Name))) throw DataTypeError(Name);
    const auto found = Values.find(std::string(Name));
    return found == Values.end() ? Default : found->second;
  }
  bool GetBool(std::string_view Name, bool Default) override {
    return GetInteger(Name, Default ? 1 : 0) != 0;
  }
  bool HasValue(std::string_view Name) override {
    FLog.push_back("has " + std::string(Name));
    return Values.count(std::string(Name)) || WrongType.count(std::string(Name));
  }

 private:
  std::vector<std::string>& FLog;
};

}  // namespace quenvar::test
