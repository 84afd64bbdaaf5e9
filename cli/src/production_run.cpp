#include "production_run.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ostream>
#include <system_error>

#include "cli_steps.h"
#include "cli_texts.h"
#include "production_texts.h"
#include "programmer_list.h"
#include "quenvar/core/eeprom_types.h"
#include "quenvar/core/operation_refusal.h"

namespace quenvar {

namespace {

constexpr auto kLoopSlice = std::chrono::milliseconds(50);
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

}  // namespace

int RunProduction(const TCliOptions& options, const TCliEnvironment& env, std::ostream& out,
                  std::ostream& err) {
  TProductionRun run(options, env, out, err);
  return run.Run();
}

TProductionRun::TProductionRun(const TCliOptions& options, const TCliEnvironment& env,
                               std::ostream& out, std::ostream& err)
    : FOptions(options),
      FEnv(env),
      FOut(out),
      FErr(err),
      FStop(env, err, options.FLanguageIndex),
      FLink(options, env, FStop, out, err),
      FProgress(err, env.FErrIsTerminal && !options.FQuiet) {}

TProductionRun::~TProductionRun() {
  // The drivers go before the lanes: while a driver gives its programmer
  // back, the replies still queued reach the other drivers, which read their
  // images from the lanes.
  for (auto& lane : FLanes) lane->Detach();
  FGang.reset();
  FLanes.clear();
  if (FInputWatch != 0) Loop().UnwatchChanges(FInputWatch);
}

// --- before the start -------------------------------------------------------------

int TProductionRun::CheckBeforeStart() {
  const std::uint8_t language = Language();
  const std::optional<TSerialStamp>& stamp = FOptions.FProduction.FSerial;
  for (const TCliCommand& command : FOptions.FCommands) {
    if (command.FFiles.empty() || FImages.count(command.FFiles[0]) != 0) continue;
    TCustomMPHexEditor editor;
    TFileOps files(editor);
    if (const int status = LoadImageFile(files, editor, command.FFiles[0], true, language, FErr);
        status != kCliOk)
      return status;
    FImages[command.FFiles[0]].assign(editor.Data().begin(), editor.Data().end());
  }
  if (stamp) {
    FSerialFile.emplace(FOptions.FProduction.FSerialFile);
    const TSerialTake next =
        FSerialFile->Peek([this](std::uint64_t number) { return SerialMisfit(number); });
    if (!next.FNumber) {
      FErr << "quenvar-cli: " << next.FError << '\n';
      return kCliUsageOrFile;
    }
  }
  // A 24xx tells its size now: an image that cannot go in is refused before
  // a number is taken or a chip is touched.
  if (FOptions.FEepromIndex) {
    const std::int64_t size = EepromReadSize(EepromTypes()[*FOptions.FEepromIndex].FSizeCode);
    for (const TCliCommand& command : FOptions.FCommands) {
      if (command.FKind != TCliCommandKind::WriteFlash && command.FKind != TCliCommandKind::Verify)
        continue;
      std::int64_t length = static_cast<std::int64_t>(FImages[command.FFiles[0]].size());
      if (stamp)
        length = std::max<std::int64_t>(length, std::int64_t{stamp->FAddress} + stamp->FLength);
      if (length > size) {
        FErr << "quenvar-cli: '" << command.FFiles[0]
             << "': " << RefusalText({TRefusal::ImageTooLarge, length, size}, language) << '\n';
        return kCliUsageOrFile;
      }
    }
  }
  if (!FOptions.FProduction.FLogPath.empty()) {
    TResult<TProductionLog> log = TProductionLog::Open(FOptions.FProduction.FLogPath);
    if (!log) {
      FErr << cli_texts::Fill(production_texts::kLogFailed, language,
                              {log.Error().FPath + ": " + log.Error().FText})
           << '\n';
      return kCliUsageOrFile;
    }
    FLog.emplace(std::move(log.Value()));
  }
  return kCliOk;
}

int TProductionRun::StartLanes() {
  TJvHidDeviceController& controller = FLink.Stack().Controller();
  const std::vector<TListedProgrammer> listed = ListProgrammers(controller);
  // Without --programmer the first one, as a plain session takes it.
  const std::vector<std::string> first{"1"};
  const std::vector<std::string>& selectors =
      FOptions.FProduction.FProgrammers.empty() ? first : FOptions.FProduction.FProgrammers;
  if (listed.empty()) {
    FErr << cli_texts::Fill(cli_texts::kNoProgrammer, Language()) << '\n';
    if (!controller.Bound()) FErr << cli_texts::Fill(cli_texts::kCannotList, Language()) << '\n';
    return kCliNoProgrammer;
  }
  const TProgrammerSelection selection = SelectProgrammers(selectors, listed);
  if (!selection.FError.empty()) {
    FErr << selection.FError << '\n';
    return kCliNoProgrammer;
  }
  FPrefix = selection.FChosen.size() > 1;
  FGang = std::make_unique<TProgrammerGang>(FLink.Stack());
  for (const TListedProgrammer& programmer : selection.FChosen) {
    auto lane = std::make_unique<TProductionLane>(*this, FLanes.size(), programmer);
    lane->Bind(FGang->Add(programmer.FIdentityPath, lane->Buffer()));
    FLanes.push_back(std::move(lane));
  }
  FGang->Attach();
  for (std::size_t i = 0; i < FLanes.size(); ++i) {
    if (!FLanes[i]->Prepare()) continue;
    TJvHidDevice* device = FGang->ClaimedDevice(i);
    device->Capabilities();  // opens the device once, which tells the access we get
    if (!device->ReadWriteAccess())
      FLanes[i]->Fail(
          kCliNoProgrammer,
          cli_texts::Fill(
              cli_texts::kQueryOnly, Language(),
              {device->PnPInfo().FDevicePath,
               std::make_error_code(static_cast<std::errc>(device->ReadWriteError())).message()}));
  }
  if (Station() && FOptions.FEepromIndex) {
    FInput = std::make_unique<TLineInput>(FEnv.FInputFd);
    FInputWatch = Loop().WatchChanges(*FInput, [this] { OnInput(); });
  }
  for (auto& lane : FLanes)
    if (lane->State() == TProductionLane::TState::Ready) lane->StartChain();
  return kCliOk;
}

// --- the run ------------------------------------------------------------------------

int TProductionRun::Run() {
  if (const int status = CheckBeforeStart(); status != kCliOk) return status;
  if (const int status = FLink.Open(); status != kCliOk) return status;
  int status = StartLanes();
  bool stopping = false;
  int seenStops = 0;
  const auto running = [this] {
    return std::any_of(FLanes.begin(), FLanes.end(), [](const auto& lane) {
      return lane->State() != TProductionLane::TState::Done;
    });
  };
  while (status == kCliOk && running()) {
    if (FEnv.FPollStop && FEnv.FPollStop().FCount > seenStops) {
      seenStops = FEnv.FPollStop().FCount;
      FProgress.Clear();
    }
    if (FStop.Abandon()) {
      for (auto& lane : FLanes) lane->Abort(FStop.Status());
      status = FStop.Status();
      break;
    }
    if (!stopping && FStop.Requested()) {
      stopping = true;
      for (auto& lane : FLanes) lane->Stop();
      continue;
    }
    DrawProgress(false);
#ifdef _WIN32
    if (FInput && FInput->Drain()) OnInput();
#endif
    FLink.EventLoop().Loop().ProcessEvents(kLoopSlice);
  }
  FProgress.Clear();
  for (const auto& lane : FLanes) {
    status = std::max(status, lane->Status());
    if (stopping && lane->LeftChipsOut()) status = std::max(status, FStop.Status());
  }
  if (Station()) PrintSummary();
  const int saved = FLink.SaveSimulatorState();
  return status != kCliOk ? status : saved;
}

void TProductionRun::DrawProgress(bool force) {
  if (!FProgress.Enabled()) return;
  const auto now = std::chrono::steady_clock::now();
  if (!force && now - FLastDraw < kRedrawInterval) return;
  FLastDraw = now;
  std::vector<std::string> lines;
  for (const auto& lane : FLanes) {
    std::string line = "[";
    line += std::to_string(lane->Number());
    line += "] ";
    line += lane->ProgressText();
    lines.push_back(std::move(line));
  }
  FProgress.Draw(lines);
}

void TProductionRun::PrintSummary() {
  for (const auto& lane : FLanes) {
    char perHour[32];
    std::snprintf(perHour, sizeof perHour, "%.0f", lane->ChipsPerHour());
    Line(*lane, cli_texts::Fill(production_texts::kSummary, Language(),
                                {std::to_string(lane->ChipsOk()),
                                 std::to_string(lane->ChipsFailed()), perHour}));
  }
}

// --- for the lanes -----------------------------------------------------------------

void TProductionRun::Line(const TProductionLane& lane, const std::string& text) {
  FProgress.Clear();
  if (FPrefix) FOut << '[' << lane.Number() << "] ";
  FOut << text << '\n';
  FOut.flush();
}

void TProductionRun::Message(const TProductionLane& lane, const std::string& text) {
  FProgress.Clear();
  if (FPrefix) FErr << '[' << lane.Number() << "] ";
  FErr << text << '\n';
  FErr.flush();
}

std::string TProductionRun::SerialMisfit(std::uint64_t number) const {
  const TSerialStamp& stamp = *FOptions.FProduction.FSerial;
  if (SerialBytes(stamp, number)) return {};
  return "serial number " + std::to_string(number) + " does not fit --serial " +
         SerialStampText(stamp);
}

TSerialTake TProductionRun::TakeSerial() {
  return FSerialFile->Take([this](std::uint64_t number) { return SerialMisfit(number); });
}

bool TProductionRun::ChainEnded(std::size_t lane, const TChipRecord& record) {
  bool logged = true;
  if (FLog)
    if (const TResult<void> appended = FLog->Append(record); !appended) {
      Message(*FLanes[lane],
              cli_texts::Fill(production_texts::kLogFailed, Language(),
                              {appended.Error().FPath + ": " + appended.Error().FText}));
      logged = false;
    }
  FGang->ChainEnded(lane);
  return logged;
}

void TProductionRun::PromptForEnter() {
  if (FPrompted) return;
  FPrompted = true;
  FProgress.Clear();
  FErr << cli_texts::Fill(production_texts::kWaitEnter, Language()) << '\n';
  FErr.flush();
}

void TProductionRun::OnInput() {
  // An Enter starts the programmers that wait for it. One typed while a
  // chain still ran counts for nothing: that chip has not been changed yet.
  if (FInput->TakeEnters() > 0) {
    bool taken = false;
    for (auto& lane : FLanes) taken = lane->TakeEnter() || taken;
    if (taken) FPrompted = false;
  }
  if (FInput->Closed() && !FInputClosed) {
    // No more chips can be announced: the waiting programmers are done.
    FInputClosed = true;
    for (auto& lane : FLanes)
      if (lane->State() == TProductionLane::TState::WaitEnter) lane->Stop();
  }
}

}  // namespace quenvar
