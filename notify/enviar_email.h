#pragma once

namespace velmora::notify {

// The fixed failure notice of a failed run, sent through the mail sender
// seam (notify/mail_sender.h) to the deployment's mailbox, from it, with the
// fixed subject and body. A failure to create the sender or of any of its
// calls shows the modal box "Ocorreu um erro no envio do e-mail: " followed
// by the failure's description and waits for it to be dismissed. Never
// throws. The connection module CONEXAO offers it as CONEXAO.enviar_email.
void enviar_email() noexcept;

}  // namespace velmora::notify
