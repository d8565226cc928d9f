#pragma once

#include <optional>
#include <string>

namespace velmora {

// The intern being transferred, every field already in its consultation
// form. An empty text stands for a missing value; `numero` is text too.
struct RegEstagiario {
  std::string matricula;
  std::string oficial;
  std::string concurso;
  std::string bolsa;
  std::string nome;
  std::string sexo;
  std::string filiacao;
  std::string cpf;
  std::string logradouro;
  std::string complemento;
  std::string numero;
  std::string bairro;
  std::string cidade;
  std::string uf;
  std::string cep;
  std::string telefone;
  std::string celular;
  std::string email;
  std::string faculdade;
  std::string baifacu;
  std::string cidadefacu;
  std::string periodo;
  std::string turno;
  std::string prevcolacao;
  std::string dtiniestagio;
  std::string dtfinestagio;
  std::string situacao;
  std::string tpdeslig;
  std::string matanterior;
  std::string sancao;
  std::string elogio;
  std::string orgao;
  std::string Dt_inidesignacao;
  std::string Dt_findesignacao;
  std::string Dt_ininterrupcao;
  std::string Dt_prevfinterrupcao;
  std::string Dt_finterrupcao;
  std::string motivo_interrupcao;

  bool operator==(const RegEstagiario&) const = default;
};

// The state of the process's one window and the procedures of the
// transfer. The window itself (caption, size, timer) is drawn by app/;
// everything here runs without a display. Procedures take no arguments and
// share state through these members, the connection modules and `sql`. The
// run driver's procedures, which belong to the window too (the timer's tick
// tempo_Timer and the retention excluir_tabela_anterior), are free functions
// of app/run over this state (app/run/nightly_run.h).
class Frmatualizacao {
 public:
  // The working record.
  RegEstagiario reg_estagiario;
  // Payment fields of the row being copied (matricula lives in the record).
  std::string anomes;
  std::string valor;
  std::string dtproc;
  // Outcome of the latest run: " SEM ERRO" or "<number> - <description>".
  std::string erro_execucao;

  // The run guard, kept by the run driver: the date of the last run the
  // timer started in this process (at most one run a night), and whether a
  // run is under way (a box shown inside a run delivers ticks through its
  // own event loop, and they must start nothing).
  std::optional<std::string> last_run_date;
  bool run_in_progress = false;

  // Puts the working record into its start state: every field "" except
  // numero, which becomes "0". Leaves erro_execucao and the payment fields.
  void cons_limpar();

  // Empties cons_estagiario and refills it from the source interns.
  void transferir_estagiarios();
  // Inserts or updates the current intern's texts in cons_estagiarioelogio.
  void Cons_Sancao();
  // Empties cons_pagamento and refills it from the source payments.
  void transferir_pagamentos();
};

extern Frmatualizacao frmatualizacao;

}  // namespace velmora
