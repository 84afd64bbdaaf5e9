#pragma once

// The settings component: a root, a key path and five operations on named
// values. On Windows they are the registry's values below the root and key path
// (REG_DWORD). On Linux every root maps to one per-user INI file named after the key
// path, below the user's configuration folder, so a normal user can always
// write it. A file that cannot be parsed, or holds binary junk, reads as
// empty; the next write keeps it as "<file>.damaged" and starts a fresh one.
// Each operation opens the file afresh and closes it again, so nothing is
// cached between calls.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "quenvar/presenter/settings_store.h"

namespace quenvar {

enum class TRootKey : std::uint8_t {
  rkAllUsers,
  rkCurrentUser,
  rkLocalMachine,
  rkClassesRoot,
  rkCurrentConfig,
  rkDynData,
};

class TRegistryEdit final : public ISettingsStore {
 public:
  TRegistryEdit() = default;

  TRootKey RootKey() const { return FRootKey; }
  void SetRootKey(TRootKey value) { FRootKey = value; }
  const std::string& RegKey() const { return FRegKey; }
  void SetRegKey(std::string value) { FRegKey = std::move(value); }

  // The folder below which stores live; empty means the user's configuration
  // folder ($XDG_CONFIG_HOME, else ~/.config). Tests point it elsewhere.
  const std::string& ConfigRoot() const { return FConfigRoot; }
  void SetConfigRoot(std::string value) { FConfigRoot = std::move(value); }

  // The INI file of the current key path, e.g. "\software\Quenvar\" gives
  // <config root>/Quenvar/Quenvar.ini; on Windows the registry key
  // "HKEY_CURRENT_USER\software\Quenvar" (the config root is not used there).
  std::string StoreFileName() const;

  void PutInteger(std::string_view name, std::int32_t value) override;
  void PutBool(std::string_view name, bool flag) override;
  std::int32_t GetInteger(std::string_view name, std::int32_t fallback) override;
  bool GetBool(std::string_view name, bool fallback) override;
  bool HasValue(std::string_view name) override;

 private:
  TRootKey FRootKey = TRootKey::rkCurrentUser;
  std::string FRegKey;
  std::string FConfigRoot;
};

// The relative store path of a key path: its components as folders, the last
// one also as the file name, a leading "software" dropped (the configuration
// folder already is the per-user software store), "." and ".." ignored.
// "\software\Quenvar\" gives "Quenvar/Quenvar.ini"; an empty path "root.ini".
std::string StorePathOfKey(std::string_view regKey);

// Strict decimal parse of a stored 32-bit value: optional sign, digits only,
// within the signed or unsigned 32-bit range (unsigned values wrap as the
// registry's DWORD does). Anything else is not an integer.
bool ParseStoredInteger(std::string_view text, std::int32_t& value);

}  // namespace quenvar
