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
  bool Present = true;

  // Output reports written to it, report id first.
  std::vector<std::vector<std::uint8_t>> Written() const {
    return Plug != 0 ? Backend->WrittenReports(Plug) : std::vector<std::vector<std::uint8_t>>{};
  }
  void PlugIn() { Plug = Backend->Plug(0x0451, 0x3210, std::make_shared<TSilence>()); }
  // A fresh backend, with the programmer plugged in when Present.
  std::shared_ptr<TSimHidBackend> MakeBackend() {
    Backend = std::make_shared<TSimHidBackend>();
    Plug = 0;
    if (Present) PlugIn();
    return Backend;
  }

 private:
  struct TSilence final : ISimDeviceModel {
    void OnOutputReport(std::span<const std::uint8_t>, ISimDeviceHost&) override {}
  };
  std::shared_ptr<TSimHidBackend> Backend;
  TSimHidBackend::TPlugHandle Plug = 0;
};

// Notes what the store held when the reminder came up.
class TFakeReminder final : public TExitReminder {
 public:
  std::function<void()> OnShow;
  int Shown = 0;
  void ShowModal() override {
    ++Shown;
    if (OnShow) OnShow();
  }
};

class MainFormTest : public testing::Test {
 protected:
  MainFormTest() {
    test::App();
    Edit.SetRootKey(TRootKey::rkLocalMachine);
    Edit.SetRegKey("\\software\\Quenvar\\");
    Edit.SetConfigRoot(Root.Path());
    Box.SetPresenter([this](const QString& text) { Errors.push_back(text.toStdString()); });
  }

  ~MainFormTest() override { Stop(); }

  // The progress window is a child of the main window: it goes first; the
  // stack goes after the window that uses it.
  void Stop() {
    Progress.reset();
    Info.reset();
    Form.reset();
    Stack.reset();
  }

  TMainForm& Start() {
    Stop();
    Stack = std::make_unique<TProgrammerStack>(Loop);
    TStackOptions options;
    options.MakeBackend = [this] { return Programmer.MakeBackend(); };
    EXPECT_TRUE(Stack->Open(options));
    Form = std::make_unique<TMainForm>(*Stack, Edit, Box);
    Info = std::make_unique<TInfoForm>();
    Progress = std::make_unique<TForm1>(Form.get());
    Form->SetAuxiliaryWindows(Info.get(), Progress.get(), &Reminder);
    return *Form;
  }

  std::string Store() const { return test::ReadFile(Root.File("Quenvar/Quenvar.ini")); }
  void Trigger(const char* Name) {
    QAction* action = Form->Action(Name);
    ASSERT_NE(action, nullptr) << Name;
    action->trigger();
  }
  std::string Text(const char* Button) { return Form->Button(Button)->text().toStdString(); }
  // The HID devices changed: the controller rescans and tells the driver.
  void DeviceChange() { Stack->Controller().DeviceChange(); }

  test::TTempRoot Root;
  TRegistryEdit Edit;
  TErrorBox Box;
  std::vector<std::string> Errors;
  TSilentProgrammer Programmer;
  TFakeReminder Reminder;
  TQtEventLoop Loop;
  std::unique_ptr<TProgrammerStack> Stack;
  std::unique_ptr<TMainForm> Form;
  std::unique_ptr<TInfoForm> Info;
  std::unique_ptr<TForm1> Progress;
};

// Answers the next modal dialog of type T from inside its event loop, e.g. a
// message box or a file dialog a click opened.
template <typename T>
class TModalProbe {
 public:
  explicit TModalProbe(std::function<void(T&)> Answer) : FAnswer(std::move(Answer)) {
    FTimer.setInterval(5);
    QObject::connect(&FTimer, &QTimer::timeout, [this] {
      T* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
      if (dialog == nullptr) return;
      FTimer.stop();
      ++Answered;
      FAnswer(*dialog);
    });
    FTimer.start();
  }
  int Answered = 0;

 private:
  std::function<void(T&)> FAnswer;
  QTimer FTimer;
};

}  // namespace quenvar::test
