#include "quenvar/presenter/settings_store.h"

#include <string>

namespace quenvar {

TRegistryError SetDataError(std::string_view Name) {
  return TRegistryError("Failed to set data for '" + std::string(Name) + "'");
}

TRegistryError DataTypeError(std::string_view Name) {
  return TRegistryError("Invalid data type for '" + std::string(Name) + "'");
}

}  // namespace quenvar
