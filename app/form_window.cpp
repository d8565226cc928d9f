#include "app/form_window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <cmath>

#include "app/run/nightly_run.h"
#include "db/session.h"

namespace velmora::app {

int twips_600_in_pixels(double dots_per_inch) {
  return static_cast<int>(std::lround(600.0 * dots_per_inch / 1440.0));
}

FormWindow::FormWindow() {
  setWindowTitle(QStringLiteral("Form1"));
  const int side = twips_600_in_pixels(logicalDpiX());
  resize(side, side);
  // Every second of the clock must get a tick; a coarse timer may let one
  // slip past.
  tempo.setTimerType(Qt::PreciseTimer);
  tempo.setInterval(500);
  QObject::connect(&tempo, &QTimer::timeout, [] {
    tempo_Timer();
    release_idle_connections();
  });
  tempo.start();
}

void FormWindow::closeEvent(QCloseEvent* event) {
  event->accept();
  QCoreApplication::quit();
}

}  // namespace velmora::app
