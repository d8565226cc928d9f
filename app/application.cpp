#include "app/application.h"

#include <QApplication>
#include <QMessageBox>
#include <QString>
#include <iostream>
#include <optional>

#include "app/form_window.h"
#include "app/run/process_locks.h"
#include "core/failure.h"
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

std::string already_running_text(const std::optional<LockHolder>& holder) {
  std::string text = "O Velmora já está em execução para estes bancos de dados";
  // A holder of another account is named by its program text, which names
  // that account.
  if (holder) {
    text += " (" + (holder->program == "velmora" ? "" : holder->program + ", ") + "pid " +
            std::to_string(holder->pid) + ", desde " + holder->since + ")";
  }
  return text + ". Este segundo processo vai terminar sem fazer nada.";
}

}  // namespace

int run(char* program) {
  // Qt reads its own options from the arguments; it is given none.
  int argc = 1;
  char* argv[] = {program, nullptr};
  QApplication application(argc, argv);
  set_message_boxes({show_modal_box, show_non_blocking_box});
  // A second process for the same databases would run the same night again:
  // its run would fail at the snapshots, overwrite the first run's log row
  // and mail a false alarm. It says so and ends instead.
  std::optional<LockFile> instance;
  try {
    instance = LockFile::try_take(instance_lock_path(), "velmora");
    if (!instance) {
      const std::string text = already_running_text(lock_holder(instance_lock_path()));
      std::cerr << kApplicationTitle << ": " << text << std::endl;
      show_message_box(text);
      set_message_boxes({});
      return 1;
    }
  } catch (const Failure& f) {
    // A machine without a usable lock directory still gets its nights.
    std::cerr << kApplicationTitle << ": " << f.description()
              << "; running without the single-instance lock" << std::endl;
  }
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
