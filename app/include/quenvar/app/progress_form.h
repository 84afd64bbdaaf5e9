#pragma once

// The progress window: a label with the running operation's name over a bar
// gauge. It takes no input; the operations drive it.

#include <QLabel>
#include <QWidget>
#include <cstdint>

namespace quenvar {

// Whole percent of Progress out of MaxValue, truncated, limited to 0..100;
// 0 when MaxValue is not positive.
int GaugePercent(std::int64_t progress, std::int64_t maxValue);

class TGauge : public QWidget {
  Q_OBJECT

 public:
  explicit TGauge(QWidget* parent = nullptr);

  std::int64_t MaxValue() const { return FMaxValue; }
  void SetMaxValue(std::int64_t value);
  std::int64_t Progress() const { return FProgress; }
  void SetProgress(std::int64_t value);
  int PercentDone() const { return GaugePercent(FProgress, FMaxValue); }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::int64_t FMaxValue = 100;
  std::int64_t FProgress = 0;
};

class TForm1 : public QWidget {
  Q_OBJECT

 public:
  // MainWindow (may be null) is what the window is centred on.
  explicit TForm1(QWidget* mainWindow = nullptr);

  QLabel* FLabel1 = nullptr;
  TGauge* FGauge1 = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QWidget* FMainWindow;
};

}  // namespace quenvar
