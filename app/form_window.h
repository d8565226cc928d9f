#pragma once

#include <QTimer>
#include <QWidget>

namespace velmora::app {

// The process's one window, frmatualizacao: caption "Form1", a client area
// of 600 x 600 twips, no content. It owns the timer `tempo`, which ticks
// every 500 ms into tempo_Timer() (app/run). Closing it ends the process,
// whatever other windows (message boxes) are still open.
class FormWindow final : public QWidget {
 public:
  FormWindow();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  QTimer tempo;
};

// Client-area side in pixels of 600 twips at `dots_per_inch`.
int twips_600_in_pixels(double dots_per_inch);

}  // namespace velmora::app
