#include "quenvar/app/hid_link.h"

#include <QMetaObject>
#include <QPointer>
#include <QSocketNotifier>

#include "quenvar/app/error_box.h"
#include "quenvar/app/main_form.h"
#include "quenvar/hid/jv_hid_device_controller.h"
#include "quenvar/hid/sim_hid_backend.h"
#include "quenvar/protocol/protocol.h"
#include "quenvar/sim/sim_config.h"
#include "quenvar/sim/sim_programmer.h"

namespace quenvar {

THidLink::THidLink(TBackendFactory makeBackend) : FMakeBackend(std::move(makeBackend)) {}

THidLink::~THidLink() {
  // The controller stops the readers; nothing may be posted to a dead context.
  FNotifier.reset();
  if (FBackend) {
    if (IHidChangeSource* source = FBackend->ChangeSource()) source->SetWakeup(nullptr);
  }
  FController.reset();
}

std::optional<std::string> THidLink::Open(const std::optional<std::string>& Simulate,
                                          const std::function<void()>& OnWaitForState) {
  if (Simulate) {
    TSimExpected<TSimConfig> config = ParseSimConfig(*Simulate);
    if (!config) return "--simulate: " + config.Error;
    TSimExpected<std::shared_ptr<TSimProgrammer>> sim =
        TSimProgrammer::FromConfig(*config.Value, OnWaitForState);
    if (!sim) return "--simulate: " + sim.Error;
    FSim = *sim.Value;
    auto backend = std::make_shared<TSimHidBackend>();
    backend->Plug(kProgrammerVendorId, kProgrammerProductId, FSim);
    FBackend = std::move(backend);
  } else if (FMakeBackend) {
    FBackend = FMakeBackend();
  } else {
    return std::string("this build has no HID backend; use --simulate");
  }

  QPointer<QObject> context(&FContext);
  TJvHidPostFn post = [context](std::function<void()> fn) {
    if (context) QMetaObject::invokeMethod(context, std::move(fn), Qt::QueuedConnection);
  };
  auto controller = TJvHidDeviceController::Create(FBackend, post);
  if (!controller) return controller.Error().Text;
  FController = std::move(controller.Value());

  if (IHidChangeSource* source = FBackend->ChangeSource()) {
    // Wakeups may come from any thread; the rescan runs on this one.
    source->SetWakeup([post, this] { post([this] { ChangeNoticed(); }); });
    if (source->PollFd() >= 0) {
      FNotifier = std::make_unique<QSocketNotifier>(source->PollFd(), QSocketNotifier::Read);
      QObject::connect(FNotifier.get(), &QSocketNotifier::activated, &FContext,
                       [this] { ChangeNoticed(); });
    }
  }
  return std::nullopt;
}

std::optional<std::string> THidLink::SaveSimulatorState() const {
  if (!FSim) return std::nullopt;
  const TSimResult saved = FSim->SaveState();
  if (saved) return std::nullopt;
  return saved.Error;
}

void THidLink::ChangeNoticed() {
  // One rescan per burst of notifications.
  if (FBackend && FBackend->ChangeSource() && FBackend->ChangeSource()->Drain()) {
    FController->DeviceChange();
  }
}

void KeepSimulatorState(THidLink& Link, TMainForm& Form, TErrorBox& ErrorBox) {
  const auto save = [&Link, &ErrorBox] {
    if (const std::optional<std::string> error = Link.SaveSimulatorState()) ErrorBox.Show(*error);
  };
  Form.OnOperationEnded = save;
  QObject::connect(&Form, &TMainForm::Finished, &Form, save);
}

}  // namespace quenvar
