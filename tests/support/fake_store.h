#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "quenvar/presenter/settings_store.h"

namespace quenvar::test {

// An in-memory store that records every call into a shared log and can be
// told to fail writes or hold values of the wrong kind.
class TFakeStore final : public ISettingsStore {
 public:
  explicit TFakeStore(std::vector<std::string>& log) : FLog(log) {}

  std::map<std::string, std::int32_t> FValues;
  std::set<std::string> FWrongType;
  bool FFailWrites = false;

  void PutInteger(std::string_view name, std::int32_t value) override {
    FLog.push_back("put " + std::string(name) + " " + std::to_string(value));
    if (FFailWrites) throw SetDataError(name);
    FValues[std::string(name)] = value;
    FWrongType.erase(std::string(name));
  }
  void PutBool(std::string_view name, bool flag) override { PutInteger(name, flag ? 1 : 0); }
  std::int32_t GetInteger(std::string_view name, std::int32_t fallback) override {
    FLog.push_back("get " + std::string(name));
    if (FWrongType.count(std::string(name))) throw DataTypeError(name);
    const auto found = FValues.find(std::string(name));
    return found == FValues.end() ? fallback : found->second;
  }
  bool GetBool(std::string_view name, bool fallback) override {
    return GetInteger(name, fallback ? 1 : 0) != 0;
  }
  bool HasValue(std::string_view name) override {
    FLog.push_back("has " + std::string(name));
    return FValues.count(std::string(name)) || FWrongType.count(std::string(name));
  }

 private:
  std::vector<std::string>& FLog;
};

}  // namespace quenvar::test
