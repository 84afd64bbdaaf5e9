#include "quenvar/sim/sim_state_file.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string_view>

namespace quenvar {

namespace {

constexpr std::string_view kMagic = "QVSIMST1";

void PutU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void PutName(std::vector<std::uint8_t>& out, std::string_view name) {
  out.push_back(static_cast<std::uint8_t>(name.size()));
  out.insert(out.end(), name.begin(), name.end());
}

void PutBlock(std::vector<std::uint8_t>& out, const std::vector<std::uint8_t>& block) {
  PutU32(out, static_cast<std::uint32_t>(block.size()));
  out.insert(out.end(), block.begin(), block.end());
}

// Reads the file's fields in order; any short read marks it truncated.
class TReader {
 public:
  explicit TReader(std::span<const std::uint8_t> bytes) : Bytes_(bytes) {}
  bool Truncated() const { return Truncated_; }
  bool AtEnd() const { return Pos_ == Bytes_.size(); }

  std::span<const std::uint8_t> Take(std::size_t n) {
    if (Truncated_ || Bytes_.size() - Pos_ < n) {
      Truncated_ = true;
      return {};
    }
    auto part = Bytes_.subspan(Pos_, n);
    Pos_ += n;
    return part;
  }
  std::uint8_t U8() {
    auto b = Take(1);
    return b.empty() ? 0 : b[0];
  }
  std::uint32_t U32() {
    auto b = Take(4);
    if (b.empty()) return 0;
    return b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
  }
  std::string Name() {
    auto b = Take(U8());
    return std::string(b.begin(), b.end());
  }
  std::vector<std::uint8_t> Block() {
    auto b = Take(U32());
    return std::vector<std::uint8_t>(b.begin(), b.end());
  }

 private:
  std::span<const std::uint8_t> Bytes_;
  std::size_t Pos_ = 0;
  bool Truncated_ = false;
};

}  // namespace

std::vector<std::uint8_t> SerializeSimState(const TSimAvrChip& avr, const TSim24xx& socket) {
  std::vector<std::uint8_t> out(kMagic.begin(), kMagic.end());
  PutName(out, avr.Model() ? avr.Model()->Name : std::string_view{});
  out.insert(out.end(), avr.RawSignature().begin(), avr.RawSignature().end());
  out.push_back(avr.IsLocked() ? 1 : 0);
  out.push_back(avr.LockByte());
  out.push_back(avr.LowFuse());
  out.push_back(avr.HighFuse());
  out.push_back(avr.ExtFuse());
  out.insert(out.end(), avr.Calibration().begin(), avr.Calibration().end());
  PutBlock(out, avr.Flash());
  PutBlock(out, avr.Eeprom());
  PutName(out, socket.Model().ShortName);
  PutBlock(out, socket.Content());
  return out;
}

TSimExpected<TSimState> DeserializeSimState(std::span<const std::uint8_t> bytes) {
  using R = TSimExpected<TSimState>;
  TReader in(bytes);
  auto magic = in.Take(kMagic.size());
  if (magic.empty() || !std::equal(magic.begin(), magic.end(), kMagic.begin())) {
    return R::Failure("not a simulator state file");
  }
  const std::string avrName = in.Name();
  TSimAvrChip::TSignature signature{};
  auto sig = in.Take(3);
  if (!sig.empty()) std::copy(sig.begin(), sig.end(), signature.begin());
  const bool locked = in.U8() != 0;
  auto fuses = in.Take(4);
  std::array<std::uint8_t, 4> calibration{};
  auto cal = in.Take(4);
  if (!cal.empty()) std::copy(cal.begin(), cal.end(), calibration.begin());
  std::vector<std::uint8_t> flash = in.Block();
  std::vector<std::uint8_t> eeprom = in.Block();
  const std::string socketName = in.Name();
  std::vector<std::uint8_t> content = in.Block();
  if (in.Truncated()) return R::Failure("truncated simulator state file");
  if (!in.AtEnd()) return R::Failure("simulator state file has extra bytes at the end");

  const TSimAvrModel* model = nullptr;
  if (!avrName.empty()) {
    model = FindSimAvrModel(avrName);
    if (!model) return R::Failure("unknown chip '" + avrName + "' in simulator state file");
  }
  TSimAvrChip avr = model ? TSimAvrChip(*model) : TSimAvrChip::WithSignature(signature);
  if (avr.Model() != model) {
    return R::Failure("signature without its chip name in simulator state file");
  }
  if (flash.size() != avr.Flash().size() || eeprom.size() != avr.Eeprom().size()) {
    return R::Failure("memory sizes in simulator state file do not match the chip");
  }
  avr.Flash() = std::move(flash);
  avr.Eeprom() = std::move(eeprom);
  avr.SetFuseBytes(fuses[0], fuses[1], fuses[2], fuses[3]);
  avr.SetCalibration(calibration);
  avr.SetLocked(locked);

  const TSim24xxModel* socketModel = FindSim24xxModel(socketName);
  if (!socketModel) {
    return R::Failure("unknown socket EEPROM '" + socketName + "' in simulator state file");
  }
  TSim24xx socket(*socketModel);
  if (content.size() != socket.Content().size()) {
    return R::Failure("socket EEPROM size in simulator state file does not match " +
                      std::string(socketModel->ShortName));
  }
  socket.Content() = std::move(content);
  return R::Success(TSimState{std::move(avr), std::move(socket)});
}

TSimResult SaveSimStateFile(const std::string& path, const TSimAvrChip& avr,
                            const TSim24xx& socket) {
  const std::vector<std::uint8_t> bytes = SerializeSimState(avr, socket);
  // Written beside the old file and renamed over it, so a failed save never
  // leaves a half-written state behind.
  const std::string temp = path + ".tmp";
  {
    std::ofstream file(temp, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    file.close();
    if (!file) {
      std::remove(temp.c_str());
      return TSimResult::Failure("cannot write simulator state file '" + path + "'");
    }
  }
  if (std::rename(temp.c_str(), path.c_str()) != 0) {
    std::remove(temp.c_str());
    return TSimResult::Failure("cannot write simulator state file '" + path + "'");
  }
  return TSimResult::Success();
}

TSimExpected<TSimState> LoadSimStateFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    return TSimExpected<TSimState>::Failure("cannot read simulator state file '" + path + "'");
  }
  const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                                        std::istreambuf_iterator<char>());
  return DeserializeSimState(bytes);
}

}  // namespace quenvar
