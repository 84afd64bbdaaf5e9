#include "production_lane.h"

#include <algorithm>
#include <cstdio>

#include "cli_steps.h"
#include "cli_texts.h"
#include "production_run.h"
#include "production_texts.h"
#include "quenvar/cli/progress_bar.h"
#include "quenvar/core/chip_texts.h"
#include "quenvar/core/eeprom_types.h"
#include "sha256.h"

namespace quenvar {

namespace {

using TClock = std::chrono::steady_clock;

// How often station mode asks an ISP socket for its chip.
constexpr auto kPollInterval = std::chrono::milliseconds(250);

std::string CommandText(const TCliCommand& command) {
  std::string text(CommandName(command.FKind));
  for (const std::string& file : command.FFiles) text += " " + file;
  return text;
}

const char* MemoryName(TSerialMemory memory) {
  return memory == TSerialMemory::Flash ? "flash" : "eeprom";
}

}  // namespace

std::size_t TImageBuffer::ReadRange(std::int64_t position, std::span<std::uint8_t> out) const {
  if (position < 0 || static_cast<std::uint64_t>(position) >= FBytes.size()) return 0;
  const std::size_t count =
      std::min(out.size(), FBytes.size() - static_cast<std::size_t>(position));
  std::copy_n(FBytes.begin() + position, count, out.begin());
  return count;
}

TProductionLane::TProductionLane(TProductionRun& run, std::size_t index,
                                 TListedProgrammer programmer)
    : FRun(run), FIndex(index), FProgrammer(std::move(programmer)) {}

TProductionLane::~TProductionLane() {
  Detach();
}

void TProductionLane::Detach() {
  if (FTimer != 0) FRun.Loop().StopTimer(FTimer);
  FTimer = 0;
  if (FDriver != nullptr) FDriver->SetListener(nullptr);
  FDriver = nullptr;
}

void TProductionLane::Bind(TProgrammerDriver& driver) {
  FDriver = &driver;
  const TCliOptions& options = FRun.Options();
  driver.SetListener(this);
  if (options.FTimeout) driver.FReplyTimeout = *options.FTimeout;
  // A locked chip tells no sizes: never erase it on the way to a write.
  driver.FRefuseLockedChip = true;
  driver.SetVerifyAfterProgram(options.FVerify);
}

bool TProductionLane::Prepare() {
  const TCliOptions& options = FRun.Options();
  if (options.FEepromIndex)
    FDriver->SelectEeprom(*options.FEepromIndex);
  else
    FDriver->SelectIsp();
  if (!FDriver->HasProgrammer()) {
    Fail(kCliNoProgrammer, cli_texts::Fill(cli_texts::kNoProgrammer, FRun.Language()));
    return false;
  }
  return true;
}

void TProductionLane::Line(const std::string& text) {
  FLastLine = text;
  FRun.Line(*this, text);
}

void TProductionLane::Message(const std::string& text) {
  FLastLine = text;
  FRun.Message(*this, text);
}

void TProductionLane::Later(std::chrono::milliseconds delay, void (TProductionLane::*step)()) {
  if (FTimer != 0) FRun.Loop().StopTimer(FTimer);
  FTimer = FRun.Loop().StartTimer(delay, [this, step] {
    FTimer = 0;
    (this->*step)();
  });
}

// --- the chain -------------------------------------------------------------------

void TProductionLane::StartChain() {
  FState = TState::Running;
  FStep = 0;
  FSerial.reset();
  FChainStart = TClock::now();
  if (!FFirstStart) FFirstStart = FChainStart;
  FRecord = TChipRecord{};
  FRecord.FTime = std::chrono::system_clock::now();
  FRecord.FProgrammer = FProgrammer.FNumber;
  FRecord.FIdentity = FProgrammer.FIdentityPath;
  for (const TCliCommand& command : FRun.Options().FCommands)
    FRecord.FCommands.push_back(CommandText(command));
  if (const auto& index = FRun.Options().FEepromIndex) {
    const std::string_view caption = EepromTypes()[*index].FCaption;
    FRecord.FTarget = std::string(caption.substr(0, caption.find(" /")));
  }
  FLastLine.clear();
  RunStep();
}

bool TProductionLane::PrepareImage(const TCliCommand& command, bool write) {
  const std::string& file = command.FFiles[0];
  const TSerialMemory memory =
      command.FKind == TCliCommandKind::WriteEeprom ? TSerialMemory::Eeprom : TSerialMemory::Flash;
  std::vector<std::uint8_t>& bytes = FBuffer.Bytes();
  bytes = FRun.Image(file);
  const std::optional<TSerialStamp>& stamp = FRun.Options().FProduction.FSerial;
  if (stamp && stamp->FMemory == memory && (write || FSerial)) {
    const std::size_t end = std::size_t{stamp->FAddress} + stamp->FLength;
    // A chip this chain already identified tells its size: an image that
    // cannot go in costs no number.
    if (const TChipInfo* chip = FDriver->IdentifiedChipValue(); chip != nullptr && !FSerial) {
      const std::int64_t size =
          memory == TSerialMemory::Flash ? FlashSizeBytes(*chip) : std::int64_t{chip->FEepromSize};
      const auto length = static_cast<std::int64_t>(std::max(bytes.size(), end));
      if (length > size) {
        Message("quenvar-cli: '" + file +
                "': " + RefusalText({TRefusal::ImageTooLarge, length, size}, FRun.Language()));
        EndChain(kCliUsageOrFile, TChipResult::Error);
        return false;
      }
    }
    if (!FSerial) {
      // The number is taken as the write starts: from here on a chip may carry it.
      const TSerialTake taken = FRun.TakeSerial();
      if (!taken.FNumber) {
        Message("quenvar-cli: " + taken.FError);
        EndChain(kCliUsageOrFile, TChipResult::Error);
        return false;
      }
      FSerial = taken.FNumber;
      FRecord.FSerial = FSerial;
      Line(cli_texts::Fill(production_texts::kSerialTaken, FRun.Language(),
                           {std::to_string(*FSerial)}));
    }
    const std::vector<std::uint8_t> serial = *SerialBytes(*stamp, *FSerial);
    if (bytes.size() < end) bytes.resize(end, 0xFF);
    std::copy(serial.begin(), serial.end(), bytes.begin() + stamp->FAddress);
  }
  if (write) {
    const std::string name = MemoryName(memory);
    auto& sums = FRecord.FImageSha256;
    std::erase_if(sums, [&name](const auto& entry) { return entry.first == name; });
    sums.emplace_back(name, Sha256Hex(bytes));
  }
  return true;
}

void TProductionLane::RunStep() {
  const std::vector<TCliCommand>& commands = FRun.Options().FCommands;
  if (FStep >= commands.size()) {
    EndChain(kCliOk);
    return;
  }
  const TCliCommand& command = commands[FStep];
  TRequestedOperation operation = TRequestedOperation::DetectDevice;
  switch (command.FKind) {
    case TCliCommandKind::Erase:
      operation = TRequestedOperation::Erase;
      break;
    case TCliCommandKind::WriteFlash:
      operation = TRequestedOperation::ProgramFlash;
      break;
    case TCliCommandKind::Verify:
      operation = TRequestedOperation::Verify;
      break;
    case TCliCommandKind::WriteEeprom:
      operation = TRequestedOperation::ProgramEeprom;
      break;
    default:
      break;
  }
  if (!FDriver->Offers(operation)) {
    Message(cli_texts::Fill(cli_texts::kNotAvailable, FRun.Language()));
    EndChain(kCliOperationFailed);
    return;
  }
  FOperation = operation;
  if (WritesImage(operation)) {
    const bool write = operation != TRequestedOperation::Verify;
    if (!PrepareImage(command, write)) return;
    if (!FDriver->AdmitImage(operation)) {
      StepDone();
      return;
    }
  }
  FResult.reset();
  FPosition = 0;
  FMaximum = 0;
  FDriver->StartOperation(operation);
}

int TProductionLane::OperationStatus(TRequestedOperation operation, const std::string& file) {
  const std::uint8_t language = FRun.Language();
  if (const auto& refusal = FDriver->LastRefusal()) {
    if (refusal->FKind == TRefusal::ChipLocked) {
      Message(std::string(kDeviceLockedText));
      return kCliOperationFailed;
    }
    Message("quenvar-cli: '" + file + "': " + RefusalText(*refusal, language));
    return kCliUsageOrFile;
  }
  // A locked chip has no sizes to write or compare; a detect just shows it.
  if (WritesImage(operation) && FDriver->ChipLocked()) {
    Message(std::string(kDeviceLockedText));
    return kCliOperationFailed;
  }
  if (FResult == TOperationResult::Success) return kCliOk;
  if (FResult == TOperationResult::Abandoned) {
    Message(cli_texts::Fill(cli_texts::kProgrammerGone, language));
    return kCliNoProgrammer;
  }
  return kCliOperationFailed;
}

void TProductionLane::StepDone() {
  const TCliCommand& command = FRun.Options().FCommands[FStep];
  const std::string file = command.FFiles.empty() ? std::string() : command.FFiles[0];
  const int status = OperationStatus(FOperation, file);
  if (status != kCliOk) {
    std::optional<TChipResult> result;
    if (status == kCliNoProgrammer) result = TChipResult::Unplugged;
    if (FResult == TOperationResult::NoReply) result = TChipResult::NoReply;
    EndChain(status, result);
    return;
  }
  if (command.FKind == TCliCommandKind::Detect || command.FKind == TCliCommandKind::ReadFuses)
    Line(ChipLine(*FDriver, FRun.Language()));
  if (command.FKind == TCliCommandKind::ReadFuses)
    for (const std::string& line : FuseLines(*FDriver)) Line(line);
  ++FStep;
  RunStep();
}

void TProductionLane::EndChain(int status, std::optional<TChipResult> result) {
  FStatus = std::max(FStatus, status);
  if (!result) result = status == kCliOk ? TChipResult::Ok : TChipResult::Error;
  if (*result == TChipResult::Ok)
    ++FChipsOk;
  else
    ++FChipsFailed;
  if (FSerial && *result != TChipResult::Ok)
    Line(cli_texts::Fill(production_texts::kSerialUsedUp, FRun.Language(),
                         {std::to_string(*FSerial)}));
  FLastEnd = TClock::now();
  FRecord.FResult = *result;
  FRecord.FMessage = FLastLine;
  FRecord.FDurationMs =
      std::chrono::duration_cast<std::chrono::milliseconds>(FLastEnd - FChainStart).count();
  if (!FRun.ChainEnded(FIndex, FRecord)) FStatus = std::max(FStatus, kCliUsageOrFile);
  AfterChain(*result == TChipResult::Unplugged || !FDriver->HasProgrammer());
}

void TProductionLane::AfterChain(bool lost) {
  const TProductionOptions& production = FRun.Options().FProduction;
  const std::uint32_t chips = FChipsOk + FChipsFailed;
  const bool more =
      production.FRepeat && (!production.FRepeatCount || chips < *production.FRepeatCount);
  if (!more || lost || FStopping || FStatus == kCliUsageOrFile) {
    Finish();
    return;
  }
  if (FRun.Options().FEepromIndex) {
    // The socket cannot tell a chip: the operator says so.
    if (FRun.InputClosed()) {
      Finish();
      return;
    }
    FState = TState::WaitEnter;
    FRun.PromptForEnter();
    return;
  }
  FState = TState::WaitRemoval;
  Later(kPollInterval, &TProductionLane::Poll);
}

// --- station mode -------------------------------------------------------------

void TProductionLane::Poll() {
  if (FStopping) {
    Finish();
    return;
  }
  FPolling = true;
  FOutcome.reset();
  FResult.reset();
  FDriver->StartOperation(TRequestedOperation::DetectDevice);
}

void TProductionLane::PollDone() {
  FPolling = false;
  if (FResult == TOperationResult::Abandoned) {
    Message(cli_texts::Fill(cli_texts::kProgrammerGone, FRun.Language()));
    FStatus = std::max(FStatus, kCliNoProgrammer);
    Finish();
    return;
  }
  if (FStopping) {
    Finish();
    return;
  }
  // Only a chip of the table or a locked one is a chip; anything else (FF FF
  // FF from an empty socket, noise) is none.
  const bool chip = FOutcome == TIdentifyOutcome::Known || FOutcome == TIdentifyOutcome::Locked;
  if (FState == TState::WaitRemoval && !chip) FState = TState::WaitInsert;
  if (FState == TState::WaitInsert && chip) {
    StartChain();
    return;
  }
  Later(kPollInterval, &TProductionLane::Poll);
}

bool TProductionLane::TakeEnter() {
  if (FState != TState::WaitEnter || FStopping) return false;
  StartChain();
  return true;
}

void TProductionLane::Stop() {
  FStopping = true;
  if (FState == TState::WaitRemoval || FState == TState::WaitInsert ||
      FState == TState::WaitEnter) {
    // A poll on its way ends the lane when it comes back.
    if (!FPolling) Finish();
  }
}

void TProductionLane::Abort(int status) {
  FStopping = true;
  if (FState != TState::Running) {
    Finish();
    return;
  }
  Message(cli_texts::Fill(production_texts::kAborted, FRun.Language()));
  EndChain(status, TChipResult::Aborted);
}

void TProductionLane::Fail(int status, const std::string& message) {
  Message(message);
  FStatus = std::max(FStatus, status);
  Finish();
}

void TProductionLane::Finish() {
  if (FTimer != 0) FRun.Loop().StopTimer(FTimer);
  FTimer = 0;
  FState = TState::Done;
}

bool TProductionLane::LeftChipsOut() const {
  const TProductionOptions& production = FRun.Options().FProduction;
  return production.FRepeatCount && FChipsOk + FChipsFailed < *production.FRepeatCount;
}

double TProductionLane::ChipsPerHour() const {
  if (!FFirstStart) return 0;
  const double hours = std::chrono::duration<double>(FLastEnd - *FFirstStart).count() / 3600.0;
  return hours > 0 ? (FChipsOk + FChipsFailed) / hours : 0;
}

std::string TProductionLane::ProgressText() const {
  const std::uint8_t language = FRun.Language();
  switch (FState) {
    case TState::Ready:
    case TState::Running:
      if (FMaximum > 0)
        return FormatProgressLine(
            FPosition, FMaximum,
            std::chrono::duration<double>(TClock::now() - FGaugeStart).count());
      return cli_texts::Fill(production_texts::kRunning, language);
    case TState::WaitRemoval:
      return cli_texts::Fill(production_texts::kWaitRemoval, language);
    case TState::WaitInsert:
      return cli_texts::Fill(production_texts::kWaitInsert, language);
    case TState::WaitEnter:
      return cli_texts::Fill(production_texts::kWaitEnter, language);
    case TState::Done:
      break;
  }
  return cli_texts::Fill(production_texts::kDone, language);
}

// --- the driver's events ---------------------------------------------------------

void TProductionLane::OnLogLine(const TLogLine& line) {
  // Station polls stay quiet: they only ask whether a chip is there.
  if (FPolling) return;
  if (line.FText == TLogText::Signature && line.FArgs.size() == 3)
    FRecord.FSignature = line.FArgs[0] + line.FArgs[1] + line.FArgs[2];
  const std::string text = RenderLogLine(line, FRun.Language());
  FRun.Line(*this, text);
  // The last line that says something: not the blank line nor the duration.
  if (line.FText != TLogText::Blank && line.FText != TLogText::Duration) FLastLine = text;
}

void TProductionLane::OnProgress(std::int64_t position, std::int64_t maximum) {
  if (FPolling) return;
  // A verify after the write starts its own count.
  if (maximum != FMaximum || position < FPosition) FGaugeStart = TClock::now();
  FMaximum = std::max<std::int64_t>(maximum, 0);
  FPosition = std::clamp<std::int64_t>(position, 0, FMaximum);
}

void TProductionLane::OnChipIdentified(const TIdentification& identification) {
  FOutcome = identification.FOutcome;
  if (!FPolling && identification.FChip != nullptr)
    FRecord.FTarget = std::string(identification.FChip->FName);
}

void TProductionLane::OnStepFailed(const std::string& text) {
  // A locked chip has no sizes; the step's end says so itself.
  if (FPolling || FDriver->ChipLocked()) return;
  Message(text);
}

void TProductionLane::OnProgrammerLost() {
  // Pulled while the lane waits between chips: the operation events never
  // come, so the lane ends here.
  if (FState != TState::Running && !FPolling && FState != TState::Done) {
    Message(cli_texts::Fill(cli_texts::kProgrammerGone, FRun.Language()));
    FStatus = std::max(FStatus, kCliNoProgrammer);
    Finish();
  }
}

void TProductionLane::OnFinished(TOperationResult result) {
  if (FState == TState::Done) return;
  FResult = result;
  FMaximum = 0;
  // The next step starts outside the driver's own call.
  Later(std::chrono::milliseconds(0),
        FPolling ? &TProductionLane::PollDone : &TProductionLane::StepDone);
}

}  // namespace quenvar
