#include "app/application.h"

#include <QApplication>
#include <QMessageBox>
#include <QString>

#include "app/form_window.h"
#include "notify/message_box.h"

namespace velmora::app {
namespace {

QMessageBox* make_box(const std::string& text) {
  auto* box = new QMessageBox();
  box->setWindowTitle(QString::fromUtf8(kApplicationTitle));
  // Descriptions may hold "<mailbox>" and the like: never read them as HTML.
  box->setTextFormat(Qt::PlainText);
  box->setText(QString::fromStdString(text));
  // Operators can select the text to copy the failure out of the box.
  box->setTextInteractionFlags(Qt::TextSelectableByMouse);
  box->setIcon(QMessageBox::NoIcon);
  box->setStandardButtons(QMessageBox::Ok);
  // Only the closing of the main window ends the process.
  box->setAttribute(Qt::WA_QuitOnClose, false);
  return box;
}

void show_modal_box(const std::string& text) {
  QMessageBox* box = make_box(text);
  box->exec();
  delete box;
}

// Stays up until someone dismisses it, without holding the process.
void show_non_blocking_box(const std::string& text) {
  QMessageBox* box = make_box(text);
  box->setModal(false);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->show();
}

}  // namespace

int run(char* program) {
  // Qt reads its own options from the arguments; it is given none.
  int argc = 1;
  char* argv[] = {program, nullptr};
  QApplication application(argc, argv);
  set_message_boxes({show_modal_box, show_non_blocking_box});
  int code = 0;
  {
    FormWindow window;
    window.show();
    code = QApplication::exec();
  }
  set_message_boxes({});
  return code;
}

}  // namespace velmora::app
