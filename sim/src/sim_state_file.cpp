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
  explicit TReader(std::span<const std::uint8_t> bytes) : FBytes(bytes) {}
  bool Truncated() const { return FTruncated; }
  bool AtEnd() const { return FPos == FBytes.size(); }

  std::span<const std::uint8_t> Take(std::size_t n) {
    if (FTruncated || FBytes.size() - FPos < n) {
      FTruncated = true;
      return {};
    }
    auto part = FBytes.subspan(FPos, n);
    FPos += n;
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
  std::span<const std::uint8_t> FBytes;
  std::size_t FPos = 0;
  bool FTruncated = false;
};

// "<path>: cannot read simulator state file: Is a directory", with the file
// error's kind, code and path.
TError StateFileError(const TError& error) {
  const char* verb = "cannot open";
  switch (error.FKind) {
    case TErrorKind::Create:
    case TErrorKind::Write:
      verb = "cannot write";
      break;
    case TErrorKind::Read:
      verb = "cannot read";
      break;
    case TErrorKind::Lock:
      verb = "cannot lock";
      break;
    default:
      break;
  }
  TError framed = error;
  framed.FText = error.FPath + ": " + verb + " simulator state file: " + error.FText;
  return framed;
}

TError BadState(std::string text) {
  return TError{TErrorKind::BadContent, std::move(text)};
}

// A content error of a file read by name: "<path>: truncated simulator state file".
void NameTheFile(TError& error, const std::string& path) {
  error.FText = path + ": " + error.FText;
  error.FPath = path;
}

void PutRecord(std::vector<std::uint8_t>& out, const TSimAvrChip& avr, const TSim24xx& socket) {
  PutName(out, avr.Model() ? avr.Model()->FName : std::string_view{});
  out.insert(out.end(), avr.RawSignature().begin(), avr.RawSignature().end());
  out.push_back(avr.IsLocked() ? 1 : 0);
  out.push_back(avr.LockByte());
  out.push_back(avr.LowFuse());
  out.push_back(avr.HighFuse());
  out.push_back(avr.ExtFuse());
  out.insert(out.end(), avr.Calibration().begin(), avr.Calibration().end());
  PutBlock(out, avr.Flash());
  PutBlock(out, avr.Eeprom());
  PutName(out, socket.Model().FShortName);
  PutBlock(out, socket.Content());
}

TResult<TSimState> ReadRecord(TReader& in) {
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
  if (in.Truncated()) return BadState("truncated simulator state file");
  const TSimAvrModel* model = nullptr;
  if (!avrName.empty()) {
    model = FindSimAvrModel(avrName);
    if (!model) return BadState("unknown chip '" + avrName + "' in simulator state file");
  }
  TSimAvrChip avr = model ? TSimAvrChip(*model) : TSimAvrChip::WithSignature(signature);
  if (avr.Model() != model) {
    return BadState("signature without its chip name in simulator state file");
  }
  if (flash.size() != avr.Flash().size() || eeprom.size() != avr.Eeprom().size()) {
    return BadState("memory sizes in simulator state file do not match the chip");
  }
  avr.Flash() = std::move(flash);
  avr.Eeprom() = std::move(eeprom);
  avr.SetFuseBytes(fuses[0], fuses[1], fuses[2], fuses[3]);
  avr.SetCalibration(calibration);
  avr.SetLocked(locked);

  const TSim24xxModel* socketModel = FindSim24xxModel(socketName);
  if (!socketModel) {
    return BadState("unknown socket EEPROM '" + socketName + "' in simulator state file");
  }
  TSim24xx socket(*socketModel);
  if (content.size() != socket.Content().size()) {
    return BadState("socket EEPROM size in simulator state file does not match " +
                    std::string(socketModel->FShortName));
  }
  socket.Content() = std::move(content);
  return TSimState{std::move(avr), std::move(socket)};
}

}  // namespace

std::vector<std::uint8_t> SerializeSimState(const TSimAvrChip& avr, const TSim24xx& socket) {
  std::vector<std::uint8_t> out(kMagic.begin(), kMagic.end());
  PutRecord(out, avr, socket);
  return out;
}

std::vector<std::uint8_t> SerializeSimStates(std::span<const TSimState> programmers) {
  if (programmers.size() == 1)
    return SerializeSimState(programmers[0].FAvr, programmers[0].FSocket);
  std::vector<std::uint8_t> out(kGangMagic.begin(), kGangMagic.end());
  out.push_back(static_cast<std::uint8_t>(programmers.size()));
  for (const TSimState& state : programmers) PutRecord(out, state.FAvr, state.FSocket);
  return out;
}

TResult<std::vector<TSimState>> DeserializeSimStates(std::span<const std::uint8_t> bytes) {
  TReader in(bytes);
  auto magic = in.Take(kMagic.size());
  const auto is = [&magic](std::string_view m) {
    return !magic.empty() && std::equal(magic.begin(), magic.end(), m.begin());
  };
  if (!is(kMagic) && !is(kGangMagic)) return BadState("not a simulator state file");
  std::size_t count = 1;
  if (is(kGangMagic)) {
    count = in.U8();
    if (in.Truncated()) return BadState("truncated simulator state file");
    if (count < 1 || count > kMaxSimProgrammers) {
      return BadState("simulator state file holds " + std::to_string(count) +
                      " programmers; it can hold 1 to " + std::to_string(kMaxSimProgrammers));
    }
  }
  std::vector<TSimState> programmers;
  for (std::size_t i = 0; i < count; ++i) {
    TResult<TSimState> state = ReadRecord(in);
    if (!state) return state.Error();
    programmers.push_back(std::move(state.Value()));
  }
  if (!in.AtEnd()) return BadState("simulator state file has extra bytes at the end");
  return programmers;
}

TResult<TSimState> DeserializeSimState(std::span<const std::uint8_t> bytes) {
  TResult<std::vector<TSimState>> states = DeserializeSimStates(bytes);
  if (!states) return states.Error();
  if (states->size() != 1) {
    return BadState("simulator state file holds " + std::to_string(states->size()) +
                    " programmers, not one");
  }
  return std::move(states->front());
}

TResult<void> SaveSimStateFile(const std::string& path, const TSimAvrChip& avr,
                               const TSim24xx& socket) {
  const TResult<void> saved = WriteFileAtomically(path, SerializeSimState(avr, socket));
  if (!saved) return StateFileError(saved.Error());
  return {};
}

TResult<std::vector<TSimState>> LoadSimGangStateFile(const std::string& path) {
  const TResult<std::vector<std::uint8_t>> bytes = ReadRegularFile(path);
  if (!bytes) return StateFileError(bytes.Error());
  TResult<std::vector<TSimState>> states = DeserializeSimStates(bytes.Value());
  if (!states) NameTheFile(states.Error(), path);
  return states;
}

TResult<TSimState> LoadSimStateFile(const std::string& path) {
  const TResult<std::vector<std::uint8_t>> bytes = ReadRegularFile(path);
  if (!bytes) return StateFileError(bytes.Error());
  TResult<TSimState> state = DeserializeSimState(bytes.Value());
  if (!state) NameTheFile(state.Error(), path);
  return state;
}

TResult<TSimStateFile> TSimStateFile::Lock(const std::string& path,
                                           const std::function<void()>& onWait) {
  TResult<TLockedFile> file = TLockedFile::Open(path, onWait);
  if (!file) return StateFileError(file.Error());
  return TSimStateFile(std::move(file.Value()));
}

TResult<std::vector<TSimState>> TSimStateFile::Load(std::size_t programmers) const {
  const TResult<std::vector<std::uint8_t>> bytes = FFile.ReadAll();
  if (!bytes) return StateFileError(bytes.Error());
  if (bytes.Value().empty()) return std::vector<TSimState>{};
  TResult<std::vector<TSimState>> states = DeserializeSimStates(bytes.Value());
  if (!states) {
    NameTheFile(states.Error(), Path());
    return states;
  }
  const std::size_t held = states->size();
  if (held > programmers) {
    return BadState(Path() + ": simulator state file holds " + std::to_string(held) +
                    " programmers, more than programmers=" + std::to_string(programmers) +
                    "; give programmers=" + std::to_string(held) + " or another state file");
  }
  return states;
}

TResult<void> TSimStateFile::Save(std::span<const TSimState> programmers) {
  const TResult<void> saved = FFile.Replace(SerializeSimStates(programmers));
  if (!saved) return StateFileError(saved.Error());
  return {};
}

}  // namespace quenvar
