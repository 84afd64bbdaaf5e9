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
    ++FCalls;
    if (FOnLoad) FOnLoad();
    if (!FThrows.empty()) throw std::runtime_error(FThrows);
    return FSucceeds;
  }
  bool FSucceeds = true;
  std::string FThrows;  // a file system error with this text
  int FCalls = 0;
  std::function<void()> FOnLoad;
};

class PresenterTest : public ::testing::Test, protected TDriverRig {
 protected:
  PresenterTest() {
    FPresenter.SetReloader(&FReloader);
    FPresenter.FOnError = [this](const std::string& text) { FErrors.push_back(text); };
  }

  TWindowModel& Window() { return FPresenter.Window(); }
  const std::vector<std::string>& Log() { return FPresenter.Window().Verlauf(); }

  TFakeReloader FReloader;
  std::vector<std::string> FErrors;
  TMainPresenter FPresenter{FDriver};
};

// Operations as the window runs them: a target chosen and a programmer present.
class OperationTest : public PresenterTest {
 protected:
  // Socket target 24AA00 with a programmer present and an empty log.
  void SocketReady(std::size_t type = 0) {
    FPresenter.SelectEepromType(type);
    Connect();
  }
  void IspReady() {
    FPresenter.nAVRISPClick();
    Connect();
  }
};

}  // namespace quenvar::test
