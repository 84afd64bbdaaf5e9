#pragma once

// The five operations on named 32-bit values that the main window needs from a
// settings store. Writes and typed reads that fail throw TRegistryError, which
// the application's standard error box shows.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace quenvar {

class TRegistryError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// "Failed to set data for '<name>'"
TRegistryError SetDataError(std::string_view name);
// "Invalid data type for '<name>'"
TRegistryError DataTypeError(std::string_view name);

class ISettingsStore {
 public:
  virtual ~ISettingsStore() = default;

  virtual void PutInteger(std::string_view name, std::int32_t value) = 0;
  virtual void PutBool(std::string_view name, bool flag) = 0;
  virtual std::int32_t GetInteger(std::string_view name, std::int32_t fallback) = 0;
  virtual bool GetBool(std::string_view name, bool fallback) = 0;
  virtual bool HasValue(std::string_view name) = 0;
};

}  // namespace quenvar
