#include "quenvar/core/fuses.h"

#include <algorithm>

#include "quenvar/core/chip_texts.h"

namespace quenvar {
namespace {

// Serial-programming instruction bytes.
constexpr std::uint8_t kReadLockOrHigh = 0x58;  // 58 00 00 lock, 58 08 00 high fuse
constexpr std::uint8_t kReadLowOrExt = 0x50;    // 50 00 00 low fuse, 50 08 00 extended fuse
constexpr std::uint8_t kReadCalibration = 0x38;
constexpr std::uint8_t kWriteLock = 0xE0;
constexpr std::uint8_t kWriteLow = 0xA0;
constexpr std::uint8_t kWriteHigh = 0xA8;
constexpr std::uint8_t kWriteExtended = 0xA4;

// Reply byte positions of the instruction family (record order: lock, low, high, extended).
constexpr std::size_t kLockByte = 1;
constexpr std::size_t kLowByte = 2;
constexpr std::size_t kHighByte = 3;
constexpr std::size_t kExtByte = 4;

constexpr std::uint8_t kSixLockBits[] = {5, 4, 3, 2, 1, 0};
constexpr std::uint8_t kTwoLockBits[] = {0, 1};
// Lock bits of the older chips sit in bits 1 and 2 of both the read and the write byte.
constexpr std::uint8_t kOldLockBits[] = {1, 2};
constexpr std::uint8_t kCombinedBits[] = {7, 6, 0, 5};
constexpr std::uint8_t kClockBits[] = {0, 1, 2, 3, 4, 5};
constexpr std::uint8_t kAllBits[] = {7, 6, 5, 4, 3, 2, 1, 0};
constexpr std::uint8_t kTiny15Bits[] = {7, 6, 5, 4, 1, 0};

// The bits of a mask, highest first.
std::vector<std::uint8_t> BitsOf(std::uint8_t mask) {
  std::vector<std::uint8_t> bits;
  for (int bit = 7; bit >= 0; --bit) {
    if ((mask >> bit) & 1U) bits.push_back(static_cast<std::uint8_t>(bit));
  }
  return bits;
}

bool HasExtendedByte(const TChipInfo& chip) {
  return chip.FExtendedFuseMask != 0;
}

std::span<const std::uint8_t> LockBitsOf(const TChipInfo& chip) {
  if (chip.FFamily == TFuseFamily::Instruction) {
    return chip.FLockBitCount == 6 ? std::span<const std::uint8_t>(kSixLockBits)
                                   : std::span<const std::uint8_t>(kTwoLockBits);
  }
  return kOldLockBits;
}

// Walks the fuse list item by item while reading one reply byte after another.
class TReplyReader {
 public:
  TReplyReader(std::span<const std::uint8_t> reply, TFuseReadout& out) : FReply(reply), FOut(out) {}

  void Show(std::size_t byteIndex, std::span<const std::uint8_t> bits) {
    for (std::uint8_t bit : bits) {
      if (byteIndex < FReply.size()) {
        FOut.FBoxes.push_back({FPos, ((FReply[byteIndex] >> bit) & 1U) == 0});
      }
      ++FPos;
    }
  }

  void Calibration(std::size_t firstByte, unsigned count) {
    for (unsigned i = 0; i < count; ++i) {
      if (firstByte + i < FReply.size()) {
        FOut.FLogLines.push_back(CalibrationLogLine(i, FReply[firstByte + i]));
      }
    }
  }

 private:
  std::span<const std::uint8_t> FReply;
  TFuseReadout& FOut;
  std::size_t FPos = 0;
};

// Walks the fuse list item by item and collects the mask of checked items.
class TBoxCollector {
 public:
  explicit TBoxCollector(const std::vector<bool>& checked) : FChecked(checked) {}

  // Mask of the checked items taken into `bits`; items on `skip` bits are
  // consumed but never set.
  std::uint8_t Take(std::span<const std::uint8_t> bits, std::uint8_t skip = 0) {
    std::uint8_t mask = 0;
    for (std::uint8_t bit : bits) {
      const bool on = FPos < FChecked.size() && FChecked[FPos];
      if (on && ((skip >> bit) & 1U) == 0) mask |= static_cast<std::uint8_t>(1U << bit);
      ++FPos;
    }
    return mask;
  }

 private:
  const std::vector<bool>& FChecked;
  std::size_t FPos = 0;
};

std::uint8_t Inverted(std::uint8_t mask) {
  return static_cast<std::uint8_t>(~mask);
}

}  // namespace

std::vector<TFuseRecord> FuseReadRecords(const TChipInfo* chip) {
  std::vector<TFuseRecord> records;
  if (chip == nullptr) return records;
  switch (chip->FFamily) {
    case TFuseFamily::Instruction:
      records.push_back({kReadLockOrHigh, 0x00, 0x00});
      records.push_back({kReadLowOrExt, 0x00, 0x00});
      records.push_back({kReadLockOrHigh, 0x08, 0x00});
      if (HasExtendedByte(*chip)) records.push_back({kReadLowOrExt, 0x08, 0x00});
      for (std::uint8_t i = 0; i < chip->FCalibrationCount; ++i) {
        records.push_back({kReadCalibration, 0x00, i});
      }
      break;
    case TFuseFamily::CombinedByte:
      records.push_back({kReadLockOrHigh, 0x00, 0x00});
      break;
    case TFuseFamily::TwoByte:
      records.push_back({kReadLockOrHigh, 0x00, 0x00});
      records.push_back({kReadLowOrExt, 0x00, 0x00});
      if (chip->FCalibrationCount > 0) records.push_back({kReadCalibration, 0x00, 0x00});
      break;
    case TFuseFamily::LockOnly:
      break;
  }
  return records;
}

TFuseReadout MapFuseReply(const TChipInfo* chip, std::span<const std::uint8_t> reply) {
  TFuseReadout out;
  if (chip == nullptr) return out;
  TReplyReader reader(reply, out);
  switch (chip->FLayout) {
    case TFuseLayout::Instruction: {
      reader.Show(kLockByte, LockBitsOf(*chip));
      if (HasExtendedByte(*chip)) reader.Show(kExtByte, BitsOf(chip->FExtendedFuseMask));
      reader.Show(kHighByte, BitsOf(chip->FHighFuseMask));
      reader.Show(kLowByte, kAllBits);
      reader.Calibration(HasExtendedByte(*chip) ? kExtByte + 1 : kExtByte, chip->FCalibrationCount);
      break;
    }
    case TFuseLayout::CombinedByte:
      reader.Show(1, kCombinedBits);
      break;
    case TFuseLayout::TwoByteClock:
      reader.Show(1, kOldLockBits);
      reader.Show(2, kClockBits);
      break;
    case TFuseLayout::TwoByteTiny12:
      reader.Show(1, kOldLockBits);
      reader.Show(2, kAllBits);
      reader.Calibration(3, chip->FCalibrationCount);
      break;
    case TFuseLayout::TwoByteTiny15:
      reader.Show(1, kOldLockBits);
      reader.Show(2, kTiny15Bits);
      reader.Calibration(3, chip->FCalibrationCount);
      break;
    case TFuseLayout::LockOnly:
      // Never read: these chips have no fuse read command.
      break;
  }
  return out;
}

std::vector<TFuseRecord> FuseWriteRecords(const TChipInfo* chip, const std::vector<bool>& checked) {
  std::vector<TFuseRecord> records;
  if (chip == nullptr) return records;
  TBoxCollector boxes(checked);

  if (chip->FLayout == TFuseLayout::Instruction) {
    // Items come in list order (lock, extended, high, low); records go out as
    // lock, high, low, extended.
    const std::uint8_t lock = boxes.Take(LockBitsOf(*chip));
    const std::uint8_t ext = boxes.Take(BitsOf(chip->FExtendedFuseMask));
    const std::uint8_t high = boxes.Take(BitsOf(chip->FHighFuseMask), chip->FHighWriteSkip);
    const std::uint8_t low = boxes.Take(kAllBits, chip->FLowWriteSkip);
    records.push_back({kWriteLock, 0x00, Inverted(lock)});
    records.push_back({kWriteHigh, 0x00, Inverted(high)});
    records.push_back({kWriteLow, 0x00, Inverted(low)});
    if (HasExtendedByte(*chip)) records.push_back({kWriteExtended, 0x00, Inverted(ext)});
    return records;
  }

  // The older chips: lock bits in bits 1 and 2 of the instruction's second byte.
  records.push_back({Inverted(boxes.Take(kOldLockBits)), 0x00, 0x00});
  switch (chip->FLayout) {
    case TFuseLayout::CombinedByte: {
      constexpr std::uint8_t kStartBit[] = {0};
      records.push_back({Inverted(0x40 | boxes.Take(kStartBit)), 0x00, 0x00});
      break;
    }
    case TFuseLayout::TwoByteClock: {
      // SPIEN (the sixth fuse item) is not written.
      constexpr std::uint8_t kWritten[] = {0, 1, 2, 3, 4};
      records.push_back({Inverted(0x40 | boxes.Take(kWritten)), 0x00, 0x00});
      break;
    }
    case TFuseLayout::TwoByteTiny12:
      records.push_back({kWriteLow, 0x00, Inverted(boxes.Take(kAllBits))});
      break;
    case TFuseLayout::TwoByteTiny15:
      records.push_back({kWriteLow, 0x00, Inverted(boxes.Take(kTiny15Bits))});
      break;
    case TFuseLayout::LockOnly:
    case TFuseLayout::Instruction:
      break;
  }
  return records;
}

void PutFuseRecords(std::span<std::uint8_t> outReport, std::span<const TFuseRecord> records) {
  constexpr std::size_t kCountByte = 3;
  constexpr std::size_t kFirst = 4;
  constexpr std::size_t kEnd = 64;  // byte 64 is never set
  if (outReport.size() <= kCountByte) return;
  const std::size_t room =
      outReport.size() > kFirst ? (std::min(outReport.size(), kEnd) - kFirst) / 3 : 0;
  const std::size_t count = std::min(records.size(), room);
  outReport[kCountByte] = static_cast<std::uint8_t>(count);
  for (std::size_t i = 0; i < count; ++i) {
    std::copy(records[i].begin(), records[i].end(), outReport.begin() + kFirst + 3 * i);
  }
}

}  // namespace quenvar
