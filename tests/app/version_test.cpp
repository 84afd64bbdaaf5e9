#include <gtest/gtest.h>

#include <string>

#include "quenvar/presenter/language_tables.h"

namespace quenvar {
namespace {

// The window's caption and the info window's title name the version that `--version` prints and
// the package carries (the project's version, e.g. 3.0.0 for "Quenvar v 3.0").
TEST(Version, CaptionsNameTheProjectVersion) {
  const std::string version = QUENVAR_VERSION;
  const std::string majorMinor = version.substr(0, version.rfind('.'));
  EXPECT_EQ(fixed_text::kMainCaption, "Quenvar v " + majorMinor);
  EXPECT_EQ(fixed_text::kInfoTitle, "Quenvar v " + majorMinor + " ");
}

}  // namespace
}  // namespace quenvar
