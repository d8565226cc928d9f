#pragma once

namespace velmora {

// Puts the whole process back into the state a fresh process starts in, for
// tests: every connection slot empty (open connections closed), `sql` and
// `nome_orgao` empty, the window object's members cleared (working record,
// payment fields, erro_execucao, run guard), and every seam back to its
// default: the system clock, the compiled-in deployment, no statement
// observer, the message boxes of a process without a window system, the
// libcurl mail sender with its time-outs, and no closing hook.
void reset_process_state_for_testing();

}  // namespace velmora
