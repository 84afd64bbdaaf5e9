#include "quenvar/sim/sim_state_file.h"

#include <algorithm>
#include <string_view>

#include "quenvar/fileio/atomic_file.h"
#include "quenvar/fileio/regular_file.h"
#include "quenvar/sim/sim_config.h"

namespace quenvar {

namespace {

constexpr std::string_view kMagic = "QVSIMST1";
constexpr std::string_view kGangMagic = "QVSIMST2";

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

// "<path>: cannot read simulator state file: Is a directory"
std::string StateFileError(const TFileFailure& error) {
  static constexpr const char* kVerbs[] = {"cannot open", "cannot write", "cannot read",
                                           "cannot write", "cannot lock"};
  return error.Path + ": " + kVerbs[static_cast<std::size_t>(error.Action)] +
         " simulator state file: " + error.Reason;
}

void PutRecord(std::vector<std::uint8_t>& out, const TSimAvrChip& avr, const TSim24xx& socket) {
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
}

TSimExpected<TSimState> ReadRecord(TReader& in) {
  using R = TSimExpected<TSimState>;
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

}  // namespace

std::vector<std::uint8_t> SerializeSimState(const TSimAvrChip& avr, const TSim24xx& socket) {
  std::vector<std::uint8_t> out(kMagic.begin(), kMagic.end());
  PutRecord(out, avr, socket);
  return out;
}

std::vector<std::uint8_t> SerializeSimStates(std::span<const TSimState> programmers) {
  if (programmers.size() == 1) return SerializeSimState(programmers[0].Avr, programmers[0].Socket);
  std::vector<std::uint8_t> out(kGangMagic.begin(), kGangMagic.end());
  out.push_back(static_cast<std::uint8_t>(programmers.size()));
  for (const TSimState& state : programmers) PutRecord(out, state.Avr, state.Socket);
  return out;
}

TSimExpected<std::vector<TSimState>> DeserializeSimStates(std::span<const std::uint8_t> bytes) {
  using R = TSimExpected<std::vector<TSimState>>;
  TReader in(bytes);
  auto magic = in.Take(kMagic.size());
  const auto is = [&magic](std::string_view m) {
    return !magic.empty() && std::equal(magic.begin(), magic.end(), m.begin());
  };
  if (!is(kMagic) && !is(kGangMagic)) return R::Failure("not a simulator state file");
  std::size_t count = 1;
  if (is(kGangMagic)) {
    count = in.U8();
    if (in.Truncated()) return R::Failure("truncated simulator state file");
    if (count < 1 || count > kMaxSimProgrammers) {
      return R::Failure("simulator state file holds " + std::to_string(count) +
                        " programmers; it can hold 1 to " + std::to_string(kMaxSimProgrammers));
    }
  }
  std::vector<TSimState> programmers;
  for (std::size_t i = 0; i < count; ++i) {
    TSimExpected<TSimState> state = ReadRecord(in);
    if (!state) return R::Failure(state.Error);
    programmers.push_back(std::move(*state.Value));
  }
  if (!in.AtEnd()) return R::Failure("simulator state file has extra bytes at the end");
  return R::Success(std::move(programmers));
}

TSimExpected<TSimState> DeserializeSimState(std::span<const std::uint8_t> bytes) {
  using R = TSimExpected<TSimState>;
  TSimExpected<std::vector<TSimState>> states = DeserializeSimStates(bytes);
  if (!states) return R::Failure(states.Error);
  if (states.Value->size() != 1) {
    return R::Failure("simulator state file holds " + std::to_string(states.Value->size()) +
                      " programmers, not one");
  }
  return R::Success(std::move(states.Value->front()));
}

TSimResult SaveSimStateFile(const std::string& path, const TSimAvrChip& avr,
                            const TSim24xx& socket) {
  const TFileResult saved = WriteFileAtomically(path, SerializeSimState(avr, socket));
  return saved ? TSimResult::Success() : TSimResult::Failure(StateFileError(saved.Error()));
}

TSimExpected<std::vector<TSimState>> LoadSimGangStateFile(const std::string& path) {
  using R = TSimExpected<std::vector<TSimState>>;
  const TFileExpected<std::vector<std::uint8_t>> bytes = ReadRegularFile(path);
  if (!bytes) return R::Failure(StateFileError(bytes.Error()));
  R states = DeserializeSimStates(bytes.Value());
  if (!states) states.Error = path + ": " + states.Error;
  return states;
}

TSimExpected<TSimState> LoadSimStateFile(const std::string& path) {
  using R = TSimExpected<TSimState>;
  const TFileExpected<std::vector<std::uint8_t>> bytes = ReadRegularFile(path);
  if (!bytes) return R::Failure(StateFileError(bytes.Error()));
  R state = DeserializeSimState(bytes.Value());
  if (!state) state.Error = path + ": " + state.Error;
  return state;
}
TSimExpected<TSimStateFile> TSimStateFile::Lock(const std::string& path,
                                                const std::function<void()>& onWait) {
  TFileExpected<TLockedFile> file = TLockedFile::Open(path, onWait);
  if (!file) return TSimExpected<TSimStateFile>::Failure(StateFileError(file.Error()));
  return TSimExpected<TSimStateFile>::Success(TSimStateFile(std::move(file.Value())));
}

TSimExpected<std::vector<TSimState>> TSimStateFile::Load(std::size_t programmers) const {
  using R = TSimExpected<std::vector<TSimState>>;
  const TFileExpected<std::vector<std::uint8_t>> bytes = FFile.ReadAll();
  if (!bytes) return R::Failure(StateFileError(bytes.Error()));
  if (bytes.Value().empty()) return R::Success({});
  R states = DeserializeSimStates(bytes.Value());
  if (!states) return R::Failure(Path() + ": " + states.Error);
  const std::size_t held = states.Value->size();
  if (held > programmers) {
    return R::Failure(Path() + ": simulator state file holds " + std::to_string(held) +
                      " programmers, more than programmers=" + std::to_string(programmers) +
                      "; give programmers=" + std::to_string(held) + " or another state file");
  }
  return states;
}

TSimResult TSimStateFile::Save(std::span<const TSimState> programmers) {
  const TFileResult saved = FFile.Replace(SerializeSimStates(programmers));
  return saved ? TSimResult::Success() : TSimResult::Failure(StateFileError(saved.Error()));
}

}  // namespace quenvar
