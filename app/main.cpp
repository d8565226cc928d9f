#include <QApplication>
#include <QTimer>
#include <QWidget>

#include "transfer/frmatualizacao.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QWidget window;
  window.setWindowTitle("Form1");
  window.show();
  QTimer tempo;
  tempo.setTimerType(Qt::PreciseTimer);
  QObject::connect(&tempo, &QTimer::timeout, [] { velmora::frmatualizacao.tempo_Timer(); });
  tempo.start(500);
  return app.exec();
}
