#include "quenvar/presenter/settings_store.h"

#include <string>

namespace quenvar {

TRegistryError SetDataError(std::string_view name) {
  return TRegistryError("Failed to set data for '" + std::string(name) + "'");
}

TRegistryError DataTypeError(std::string_view name) {
  return TRegistryError("Invalid data type for '" + std::string(name) + "'");
}

}  // namespace quenvar
