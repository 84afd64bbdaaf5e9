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
bool Comparable(const TChipInfo& chip, std::size_t index) {
  for (std::uint8_t grey : chip.FDisabledItems) {
    if (grey == index) return false;
  }
  return chip.FFuseItems[index] != "SPIEN";
}

std::vector<std::uint8_t> ReadBack(const TSimAvrChip& sim, const TChipInfo& chip) {
  std::vector<std::uint8_t> reply = {'r'};
  for (const TFuseRecord& r : FuseReadRecords(&chip)) {
    reply.push_back(sim.ReadInstruction(r[0], r[1], r[2]));
  }
  return reply;
}

TEST(FuseRoundTrip, EveryChipAndPattern) {
  struct TPattern {
    const char* FName;
    bool (*FChecked)(std::size_t index);
  };
  const TPattern patterns[] = {
      {"none", [](std::size_t) { return false; }},
      {"all", [](std::size_t) { return true; }},
      {"even", [](std::size_t i) { return i % 2 == 0; }},
      {"odd", [](std::size_t i) { return i % 2 == 1; }},
      {"every third", [](std::size_t i) { return i % 3 == 0; }},
  };
  for (const TChipInfo& chip : ChipTable()) {
    const TSimAvrModel* model = FindSimAvrModelBySignature(chip.FSignature);
    ASSERT_NE(model, nullptr) << chip.FName;
    for (const TPattern& pattern : patterns) {
      SCOPED_TRACE(std::string(chip.FName) + " / " + pattern.FName);
      std::vector<bool> written(chip.FFuseItems.size());
      for (std::size_t i = 0; i < written.size(); ++i) written[i] = pattern.FChecked(i);

      TSimAvrChip sim(*model);  // fresh: lock bits can only be programmed once
      for (const TFuseRecord& r : FuseWriteRecords(&chip, written)) {
        sim.WriteInstruction(r[0], r[1], r[2]);
      }

      if (chip.FFamily == TFuseFamily::LockOnly) {
        // Nothing to read back over the programmer; look at the chip itself.
        EXPECT_EQ((sim.LockByte() & 0x01) == 0, written[0]) << "Lock bit 1";
        EXPECT_EQ((sim.LockByte() & 0x02) == 0, written[1]) << "Lock bit 2";
        continue;
      }

      const TFuseReadout readout = MapFuseReply(&chip, ReadBack(sim, chip));
      ASSERT_EQ(readout.FBoxes.size(), written.size());
      for (const TFuseBoxChange& box : readout.FBoxes) {
        if (!Comparable(chip, box.FIndex)) continue;
        EXPECT_EQ(box.FChecked, written[box.FIndex])
            << "item " << box.FIndex << " " << chip.FFuseItems[box.FIndex];
      }
    }
  }
}

TEST(FuseRoundTrip, FactoryCalibrationIsLogged) {
  struct TCase {
    const char* FName;
    std::size_t FLines;
  };
  const TCase cases[] = {
      {"ATmega8", 4}, {"ATtiny2313", 2}, {"ATmega88", 1}, {"ATtiny12", 1}, {"AT90S/LS2323", 0}};
  for (const TCase& c : cases) {
    const TChipInfo* chip = FindChipByName(c.FName);
    ASSERT_NE(chip, nullptr);
    const TSimAvrModel* model = FindSimAvrModelBySignature(chip->FSignature);
    ASSERT_NE(model, nullptr);
    TSimAvrChip sim(*model);
    const TFuseReadout readout = MapFuseReply(chip, ReadBack(sim, *chip));
    ASSERT_EQ(readout.FLogLines.size(), c.FLines) << c.FName;
    for (std::size_t i = 0; i < c.FLines; ++i) {
      EXPECT_EQ(RenderLogLine(readout.FLogLines[i], 1).substr(0, 20),
                "Calibration Byte " + std::to_string(i) + ": ");
    }
  }
}

}  // namespace
}  // namespace quenvar
