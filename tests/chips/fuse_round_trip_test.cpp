// Fuse write records executed by the simulated chip, read back with the read
// records and mapped onto boxes again, must give the boxes that were written.
#include <gtest/gtest.h>

#include "quenvar/core/chip_table.h"
#include "quenvar/core/fuses.h"
#include "quenvar/sim/sim_avr_chip.h"
#include "quenvar/sim/sim_chip_table.h"

namespace quenvar {
namespace {

// Items whose bit the write leaves alone: greyed items and SPIEN, which the
// chip does not let serial programming change.
bool Comparable(const ChipInfo& chip, std::size_t index) {
  for (std::uint8_t grey : chip.DisabledItems) {
    if (grey == index) return false;
  }
  return chip.FuseItems[index] != "SPIEN";
}

std::vector<std::uint8_t> ReadBack(const TSimAvrChip& sim, const ChipInfo& chip) {
  std::vector<std::uint8_t> reply = {'r'};
  for (const TFuseRecord& r : FuseReadRecords(&chip)) {
    reply.push_back(sim.ReadInstruction(r[0], r[1], r[2]));
  }
  return reply;
}

TEST(FuseRoundTrip, EveryChipAndPattern) {
  struct Pattern {
    const char* Name;
    bool (*Checked)(std::size_t index);
  };
  const Pattern patterns[] = {
      {"none", [](std::size_t) { return false; }},
      {"all", [](std::size_t) { return true; }},
      {"even", [](std::size_t i) { return i % 2 == 0; }},
      {"odd", [](std::size_t i) { return i % 2 == 1; }},
      {"every third", [](std::size_t i) { return i % 3 == 0; }},
  };
  for (const ChipInfo& chip : ChipTable()) {
    const TSimAvrModel* model = FindSimAvrModelBySignature(chip.Signature);
    ASSERT_NE(model, nullptr) << chip.Name;
    for (const Pattern& pattern : patterns) {
      SCOPED_TRACE(std::string(chip.Name) + " / " + pattern.Name);
      std::vector<bool> written(chip.FuseItems.size());
      for (std::size_t i = 0; i < written.size(); ++i) written[i] = pattern.Checked(i);

      TSimAvrChip sim(*model);  // fresh: lock bits can only be programmed once
      for (const TFuseRecord& r : FuseWriteRecords(&chip, written)) {
        sim.WriteInstruction(r[0], r[1], r[2]);
      }

      if (chip.Family == TFuseFamily::LockOnly) {
        // Nothing to read back over the programmer; look at the chip itself.
        EXPECT_EQ((sim.LockByte() & 0x01) == 0, written[0]) << "Lock bit 1";
        EXPECT_EQ((sim.LockByte() & 0x02) == 0, written[1]) << "Lock bit 2";
        continue;
      }

      const TFuseReadout readout = MapFuseReply(&chip, ReadBack(sim, chip));
      ASSERT_EQ(readout.Boxes.size(), written.size());
      for (const TFuseBoxChange& box : readout.Boxes) {
        if (!Comparable(chip, box.Index)) continue;
        EXPECT_EQ(box.Checked, written[box.Index])
            << "item " << box.Index << " " << chip.FuseItems[box.Index];
      }
    }
  }
}

TEST(FuseRoundTrip, FactoryCalibrationIsLogged) {
  struct Case {
    const char* Name;
    std::size_t Lines;
  };
  const Case cases[] = {
      {"ATmega8", 4}, {"ATtiny2313", 2}, {"ATmega88", 1}, {"ATtiny12", 1}, {"AT90S/LS2323", 0}};
  for (const Case& c : cases) {
    const ChipInfo* chip = FindChipByName(c.Name);
    ASSERT_NE(chip, nullptr);
    const TSimAvrModel* model = FindSimAvrModelBySignature(chip->Signature);
    ASSERT_NE(model, nullptr);
    TSimAvrChip sim(*model);
    const TFuseReadout readout = MapFuseReply(chip, ReadBack(sim, *chip));
    ASSERT_EQ(readout.LogLines.size(), c.Lines) << c.Name;
    for (std::size_t i = 0; i < c.Lines; ++i) {
      EXPECT_EQ(RenderLogLine(readout.LogLines[i], 1).substr(0, 20),
                "Calibration Byte " + std::to_string(i) + ": ");
    }
  }
}

}  // namespace
}  // namespace quenvar
