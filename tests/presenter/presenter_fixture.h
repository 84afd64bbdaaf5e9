#pragma once
// The presenter on a driver whose ports are all faked, with the re-read of the
// file faked too; the error box is a list of texts.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "driver_fakes.h"
#include "quenvar/presenter/main_presenter.h"

namespace quenvar::test {

class TFakeReloader final : public IFileReloader {
 public:
  bool LoadFile() override {
    ++Calls;
    if (OnLoad) OnLoad();
    if (!Throws.empty()) throw std::runtime_error(Throws);
    return Succeeds;
  }
  bool Succeeds = true;
  std::string Throws;  // a file system error with this text
  int Calls = 0;
  std::function<void()> OnLoad;
};

class PresenterTest : public ::testing::Test, protected TDriverRig {
 protected:
  PresenterTest() {
    Presenter.SetReloader(&Reloader);
    Presenter.OnError = [this](const std::string& text) { Errors.push_back(text); };
  }

  TWindowModel& Window() { return Presenter.Window(); }
  const std::vector<std::string>& Log() { return Presenter.Window().Verlauf(); }

  TFakeReloader Reloader;
  std::vector<std::string> Errors;
  TMainPresenter Presenter{Driver};
};

}  // namespace quenvar::test
