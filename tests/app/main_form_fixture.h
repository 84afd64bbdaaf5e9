#pragma once

// The main window with a fake programmer port, a settings store in a
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
#include "quenvar/app/registry_edit.h"

namespace quenvar::test {

class TFakeDevice final : public IProgrammerDevice {
 public:
  std::vector<std::vector<std::uint8_t>> Written;
  bool PluggedIn() const override { return true; }
  std::size_t OutputReportLength() override { return 65; }
  bool WriteReport(std::span<const std::uint8_t> report) override {
    Written.emplace_back(report.begin(), report.end());
    return true;
  }
};

class TFakePort final : public IProgrammerPort {
 public:
  bool Present = true;
  TFakeDevice Device;
  IProgrammerDevice* ClaimProgrammer(std::uint16_t vendorId, std::uint16_t productId) override {
    return Present && vendorId == 0x0451 && productId == 0x3210 ? &Device : nullptr;
  }
  void ReleaseProgrammer(IProgrammerDevice*) override {}
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

  // The progress window is a child of the main window: it goes first.
  void Stop() {
    Progress.reset();
    Info.reset();
    Form.reset();
  }

  TMainForm& Start() {
    Stop();
    Form = std::make_unique<TMainForm>(Port, Edit, Box,
                                       [](TProgrammerSession& s) { s.HidCtlDeviceChange(); });
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

  test::TTempRoot Root;
  TRegistryEdit Edit;
  TErrorBox Box;
  std::vector<std::string> Errors;
  TFakePort Port;
  TFakeReminder Reminder;
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
