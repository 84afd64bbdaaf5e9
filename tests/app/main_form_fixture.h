#pragma once

// The main window with a programmer that never answers, a settings store in a
// temporary folder, a recording error box and a fake exit reminder.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "qt_app.h"
#include "quenvar/app/info_form.h"
#include "quenvar/app/main_form.h"
#include "quenvar/app/progress_form.h"
#include "quenvar/app/qt_event_loop.h"
#include "quenvar/app/registry_edit.h"
#include "quenvar/hid/sim_hid_backend.h"
#include "quenvar/stack/programmer_stack.h"

namespace quenvar::test {

// A programmer on the simulated HID backend that takes every report and
// answers none; plugged in or not.
class TSilentProgrammer {
 public:
  bool FPresent = true;

  // Output reports written to it, report id first.
  std::vector<std::vector<std::uint8_t>> Written() const {
    return FPlug != 0 ? FBackend->WrittenReports(FPlug) : std::vector<std::vector<std::uint8_t>>{};
  }
  void PlugIn() { FPlug = FBackend->Plug(0x0451, 0x3210, std::make_shared<TSilence>()); }
  // A fresh backend, with the programmer plugged in when Present.
  std::shared_ptr<TSimHidBackend> MakeBackend() {
    FBackend = std::make_shared<TSimHidBackend>();
    FPlug = 0;
    if (FPresent) PlugIn();
    return FBackend;
  }

 private:
  struct TSilence final : ISimDeviceModel {
    void OnOutputReport(std::span<const std::uint8_t>, ISimDeviceHost&) override {}
  };
  std::shared_ptr<TSimHidBackend> FBackend;
  TSimHidBackend::TPlugHandle FPlug = 0;
};

// Notes what the store held when the reminder came up.
class TFakeReminder final : public IExitReminder {
 public:
  std::function<void()> FOnShow;
  int FShown = 0;
  void ShowModal() override {
    ++FShown;
    if (FOnShow) FOnShow();
  }
};

class MainFormTest : public testing::Test {
 protected:
  MainFormTest() {
    test::App();
    FEdit.SetRootKey(TRootKey::rkLocalMachine);
    FEdit.SetRegKey("\\software\\Quenvar\\");
    FEdit.SetConfigRoot(FRoot.Path());
    FBox.SetPresenter([this](const QString& text) { FErrors.push_back(text.toStdString()); });
  }

  ~MainFormTest() override { Stop(); }

  // The progress window is a child of the main window: it goes first; the
  // stack goes after the window that uses it.
  void Stop() {
    FProgress.reset();
    FInfo.reset();
    FForm.reset();
    FStack.reset();
  }

  TMainForm& Start() {
    Stop();
    FStack = std::make_unique<TProgrammerStack>(FLoop);
    TStackOptions options;
    options.FMakeBackend = [this] { return FProgrammer.MakeBackend(); };
    EXPECT_TRUE(FStack->Open(options));
    FForm = std::make_unique<TMainForm>(*FStack, FEdit, FBox);
    FInfo = std::make_unique<TInfoForm>();
    FProgress = std::make_unique<TForm1>(FForm.get());
    FForm->SetAuxiliaryWindows(FInfo.get(), FProgress.get(), &FReminder);
    return *FForm;
  }

  std::string Store() const { return test::ReadFile(FRoot.File("Quenvar/Quenvar.ini")); }
  void Trigger(const char* name) {
    QAction* action = FForm->Action(name);
    ASSERT_NE(action, nullptr) << name;
    action->trigger();
  }
  std::string Text(const char* button) { return FForm->Button(button)->text().toStdString(); }
  // The HID devices changed: the controller rescans and tells the driver.
  void DeviceChange() { FStack->Controller().DeviceChange(); }

  test::TTempRoot FRoot;
  TRegistryEdit FEdit;
  TErrorBox FBox;
  std::vector<std::string> FErrors;
  TSilentProgrammer FProgrammer;
  TFakeReminder FReminder;
  TQtEventLoop FLoop;
  std::unique_ptr<TProgrammerStack> FStack;
  std::unique_ptr<TMainForm> FForm;
  std::unique_ptr<TInfoForm> FInfo;
  std::unique_ptr<TForm1> FProgress;
};

// Answers the next modal dialog of type T from inside its event loop, e.g. a
// message box or a file dialog a click opened.
template <typename T>
class TModalProbe {
 public:
  explicit TModalProbe(std::function<void(T&)> answer) : FAnswer(std::move(answer)) {
    FTimer.setInterval(5);
    QObject::connect(&FTimer, &QTimer::timeout, [this] {
      T* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
      if (dialog == nullptr) return;
      FTimer.stop();
      ++FAnswered;
      FAnswer(*dialog);
    });
    FTimer.start();
  }
  int FAnswered = 0;

 private:
  std::function<void(T&)> FAnswer;
  QTimer FTimer;
};

}  // namespace quenvar::test
