#include "notify/enviar_email.h"

#include <exception>
#include <string>

#include "core/deployment.h"
#include "core/failure.h"
#include "notify/mail_sender.h"
#include "notify/message_box.h"

namespace velmora::notify {

void enviar_email() noexcept {
  std::string description;
  try {
    const Deployment& site = deployment();
    std::unique_ptr<MailSending> mail = make_mail_sender();
    mail->set_host(site.smtp_host);
    mail->set_port(site.smtp_port);
    mail->set_sender(site.mailbox);
    mail->add_reply_to("");
    mail->set_sender_name("NPX");
    mail->set_subject("Erro na atualização do Consulta Velmora");
    mail->add_recipient(site.mailbox);
    mail->set_body("O Sistema de Consulta não foi alterado,pois houve um erro");
    mail->send();
    return;
  } catch (const Failure& failure) {
    description = failure.description();
  } catch (const std::exception& error) {
    description = error.what();
  } catch (...) {
    description = "unknown error";
  }
  // The caller must go on with its run whatever happens here, even if the
  // box itself cannot be shown.
  try {
    show_message_box("Ocorreu um erro no envio do e-mail: " + description);
  } catch (...) {
  }
}

}  // namespace velmora::notify
