"""A hand-made data set of 31 intern rows, their exams, grants, assignments,
interruptions, units, payments and existing commendation rows, carried
through two nights by the real process:

- night 1 (2026-12-08) succeeds: every row of cons_estagiario, cons_pagamento
  and cons_estagiarioelogio is compared with the rows written out below;
- night 2 (2026-12-09) fails on an intern whose house number is not a number:
  its commendation changes stay, while cons_estagiario and cons_pagamento are
  exactly night 1's rows again.
"""

import harness

# Mark the time of day at which a commendation row was written during the
# first or the second night's run: it must lie between that run's start and
# end times in the run log.
DURING_NIGHT_1 = "during night 1"
DURING_NIGHT_2 = "during night 2"

# ---------------------------------------------------------------------------
# Source data.

GROUPS = [(1, "Foro Central"), (2, "  Juizados  "), (3, None)]
UNITS = [  # orgao, nome, qorv, regiao, grupo
    (10, "Vara Civel", "VC1", "R1", 1),
    (11, "  1a Vara  de Familia ", "VF1", "R1", 1),
    (20, "Juizado Especial", "JE", "R2", 2),
    (30, None, "SN", "R3", 1),
    (40, "Sem Grupo", "SG", "R3", 3),
    (50, None, "NADA", "R3", 3),
    (77, "Pela Sigla", "21", "R1", 1),
    (21, "Pelo Numero", "PN", "R1", 1),
    (60, "Vara D'Ávila", "AP'1", "R1", 1),
]
EXAMS = [("EX1", "  Exame 2025 "), ("EX2", "Exame 2024"), ("EX'3", "Exame D'Ouro")]
GRANTS = [(5, "Bolsa Integral "), (6, "Bolsa Parcial")]

ORDINARY_SOURCE = {
    "oficial": "E", "concurso": "", "id_bolsa": "", "sexo": "1", "filiacao": "Parents",
    "cpf": "000.000.000-00", "logradouro": "Rua Um", "Complemento": "", "Numero": "10",
    "Bairro": "Centro", "cidade": "Recife", "uf": "PE", "cep": "50000-000", "telefone": "",
    "celular": "", "email": "", "faculdade": "UF", "baifacu": "", "cidadefacu": "",
    "periodo": "5", "turno": "1", "prevcolacao": None,
    "dtiniestagio": "2025-01-02 00:00:00", "dtfinestagio": None, "situacao": "1",
    "tpdeslig": "", "matanterior": None, "sancao": None, "elogio": None,
}


def intern(matricula, **changes):
    return harness.source_row(ORDINARY_SOURCE, matricula, **changes)


# In the order in which the source returns them.
INTERNS = [
    intern("2001", oficial="O", concurso="EX1", id_bolsa="5", elogio=" Bom "),
    intern("2002", oficial="O", concurso="X99", id_bolsa="8", elogio="", sancao=""),
    intern("2003", oficial="O"),
    intern("2004", sexo="2", turno="2"),
    intern("2005"),
    intern("2006"),
    intern("2007", oficial="C"),
    intern("2008", oficial="S"),
    intern("2009", oficial="X"),
    intern("2010"),
    intern("2011"),
    intern("2012", nome="D'Ávila Souza", filiacao="Pai D'Ávila"),
    intern("2013", sancao="Advertência"),
    intern("2014"),
    intern("2015", elogio="", sancao="   "),
    intern("2016", elogio="Elogio de D'Ávila", sancao="Suspensão 2 dias"),
    intern("2017", Numero="   "),
    intern("2018", Numero=" 12"),
    intern("2019", sexo="0"),
    intern("2020", sexo="3"),
    intern("2021", situacao=" 2 ", tpdeslig="Pedido"),
    intern("2022", situacao="3"),
    intern("2023", situacao="4", matanterior=" 1999 "),
    intern("2024", oficial="o", turno="", matanterior="   "),
    intern("2025", prevcolacao="2027-07-15 00:00:00", dtiniestagio=None,
           dtfinestagio="2026-12-31 23:59:00"),
    intern("2026", oficial="O", concurso="EX'3", id_bolsa="6"),
    intern("2027", concurso="EX2", cidade="  Olinda  ", email=" a@b.c ",
           telefone="81 3333-4444", Complemento=" bloco  B "),
    intern("2028", elogio="Dup"),
    intern("2028", elogio="Dup"),
    intern("2029"),
    intern("2030"),
]

ASSIGNMENTS = [  # id_desig, matricula, dt_ini, dt_fin, Id_orgao
    (1, "2001", "2024-01-01 00:00:00", "2024-06-30 00:00:00", "VC1"),
    (3, "2001", "2025-02-01 14:30:00", None, " 10 "),
    (2, "2001", "2024-07-01 00:00:00", "2025-01-31 00:00:00", "JE"),
    (1, "2004", "2025-03-01 00:00:00", None, "VF1"),
    (1, "2005", "2025-03-02 00:00:00", None, "999"),
    (1, "2006", "2025-03-03 00:00:00", "2025-12-31 00:00:00", "   "),
    (1, "2007", "2025-03-04 00:00:00", None, "SN"),
    (1, "2008", "2025-03-05 00:00:00", None, "SG"),
    (1, "2009", "2025-03-06 00:00:00", None, "NADA"),
    (1, "2010", "2025-03-07 00:00:00", None, "21"),
    (1, "2011", "2025-03-08 00:00:00", None, "AP'1"),
    (7, "2029", "2026-01-05 00:00:00", "2026-06-30 00:00:00", "JE"),
    (2, "2029", "2025-01-05 00:00:00", "2025-06-30 00:00:00", "VC1"),
]
INTERRUPTIONS = [  # sequencia, matricula, dtinicio, dtprevfim, dtfim, motivo
    (2, "2001", "2025-06-01 00:00:00", None, None, " saude "),
    (1, "2001", "2024-03-01 00:00:00", "2024-03-10 00:00:00", "2024-03-09 00:00:00", "velha"),
    (1, "2022", "2026-01-01 00:00:00", None, "2026-01-10 00:00:00", "primeira"),
    (5, "2022", "2026-10-01 00:00:00", "2026-12-31 00:00:00", None, "Licença"),
    (3, "2022", "2026-05-01 00:00:00", None, "2026-05-02 00:00:00", "terceira"),
    (1, "2027", "2025-01-10 00:00:00", "2025-02-10 00:00:00", "2025-02-09 00:00:00",
     "  motivo com blanks  "),
    (1, "2029", "2026-03-01 00:00:00", None, "2026-03-15 00:00:00", "Saude"),
]
PAYMENTS = [  # matricula, anomes, valor, Dtproc
    (" 2001 ", "202611", 1500.50, "2026-11-05 00:00:00"),
    ("2001", "202612", 1500, "2026-12-05 10:20:00"),
    ("2002", "202612", 750.25, None),
    ("2003", "202612", 0, "2026-12-05 00:00:00"),
    ("2004", "202612", 100.1, "2026-12-05 00:00:00"),
    ("2004", "202612", 100.1, "2026-12-05 00:00:00"),
    ("2005", " 202612 ", 99.99, "2026-12-06 00:00:00"),
]
COMMENDATIONS_BEFORE = [  # data, matricula, hora, elogioc, sancao
    ("2025-03-01", "2013", "10:00:00", "old e", "old s"),
    ("2025-03-02", "2014", "11:00:00", "kept e", "kept s"),
    ("2025-03-03", "2015", "12:00:00", "kept too", ""),
]

# ---------------------------------------------------------------------------
# Expected consultation rows, written out by hand.

ORDINARY_ROW = {
    "oficial": "Não Concursado", "concurso": "", "bolsa": "", "orgao": "", "sexo": "Masculino",
    "filiacao": "Parents", "cpf": "000.000.000-00", "logradouro": "Rua Um", "numero": 10,
    "complemento": "", "bairro": "Centro", "cidade": "Recife", "uf": "PE", "cep": "50000-000",
    "telefone": "", "celular": "", "email": "", "faculdade": "UF", "baifacu": "",
    "cidadefacu": "", "periodo": "5", "turno": "Manhã", "prevcolacao": "",
    "dtiniestagio": "2025-01-02", "dtfinestagio": "", "Dt_inidesignacao": "",
    "Dt_findesignacao": "", "situacao": "Ativo", "tpdeslig": "", "matanterior": "",
    "Dt_ininterrupcao": "", "Dt_prevfinterrupcao": "", "Dt_finterrupcao": "",
    "motivo_interrupcao": "",
}


def row(matricula, **changes):
    return harness.cons_row(ORDINARY_ROW, matricula, **changes)


EXPECTED_ESTAGIARIO = [
    row("2001", oficial="Concursado no Exame 2025", concurso="Exame 2025",
        bolsa="Bolsa Integral", orgao="Vara Civel Foro Central",
        Dt_inidesignacao="2025-02-01", Dt_ininterrupcao="2025-06-01",
        motivo_interrupcao=" saude "),
    row("2002", oficial="Concursado no X99", concurso="X99", bolsa="8"),
    row("2003", oficial="Concursado no "),
    row("2004", sexo="Feminino", turno="Tarde", orgao="1a Vara  de Familia Foro Central",
        Dt_inidesignacao="2025-03-01"),
    row("2005", Dt_inidesignacao="2025-03-02"),
    row("2006", Dt_inidesignacao="2025-03-03", Dt_findesignacao="2025-12-31"),
    row("2007", oficial="Convênio", orgao=" Foro Central", Dt_inidesignacao="2025-03-04"),
    row("2008", oficial="Não Jurídico", orgao="Sem Grupo ", Dt_inidesignacao="2025-03-05"),
    row("2009", orgao=" ", Dt_inidesignacao="2025-03-06"),
    row("2010", orgao="Pela Sigla Foro Central", Dt_inidesignacao="2025-03-07"),
    row("2011", orgao="Vara D'Ávila Foro Central", Dt_inidesignacao="2025-03-08"),
    row("2012", nome="D'Ávila Souza", filiacao="Pai D'Ávila"),
    row("2013"),
    row("2014"),
    row("2015"),
    row("2016"),
    row("2017", numero=0),
    row("2018", numero=12),
    row("2019", sexo=""),
    row("2020", sexo="3"),
    row("2021", situacao="Desligado", tpdeslig="Pedido"),
    row("2022", situacao="Interrupcao", Dt_ininterrupcao="2026-10-01",
        Dt_prevfinterrupcao="2026-12-31", motivo_interrupcao="Licença"),
    row("2023", situacao="Suspenso", matanterior=" 1999 "),
    row("2024", oficial="o", turno="Tarde"),
    row("2025", prevcolacao="2027-07-15", dtiniestagio="", dtfinestagio="2026-12-31"),
    row("2026", oficial="Concursado no Exame D'Ouro", concurso="Exame D'Ouro",
        bolsa="Bolsa Parcial"),
    row("2027", concurso="Exame 2024", cidade="Olinda", email="a@b.c",
        telefone="81 3333-4444", complemento="bloco  B", Dt_ininterrupcao="2025-01-10",
        Dt_prevfinterrupcao="2025-02-10", Dt_finterrupcao="2025-02-09",
        motivo_interrupcao="  motivo com blanks  "),
    row("2028"),
    row("2028"),
    row("2029", orgao="Juizado Especial Juizados", Dt_inidesignacao="2026-01-05",
        Dt_findesignacao="2026-06-30", Dt_ininterrupcao="2026-03-01",
        Dt_finterrupcao="2026-03-15", motivo_interrupcao="Saude"),
    row("2030"),
]

EXPECTED_PAGAMENTO = [
    ("2001", "202611", "1500.5", "2026-11-05"),
    ("2001", "202612", "1500", "2026-12-05"),
    ("2002", "202612", "750.25", ""),
    ("2003", "202612", "0", "2026-12-05"),
    ("2004", "202612", "100.1", "2026-12-05"),
    ("2004", "202612", "100.1", "2026-12-05"),
    ("2005", "202612", "99.99", "2026-12-06"),
]

EXPECTED_ELOGIO_NIGHT_1 = [
    ("2026-12-08", "2001", DURING_NIGHT_1, "Bom", ""),
    ("2025-03-01", "2013", "10:00:00", "", "Advertência"),
    ("2025-03-02", "2014", "11:00:00", "kept e", "kept s"),
    ("2025-03-03", "2015", "12:00:00", "kept too", ""),
    ("2026-12-08", "2016", DURING_NIGHT_1, "Elogio de D'Ávila", "Suspensão 2 dias"),
    ("2026-12-08", "2028", DURING_NIGHT_1, "Dup", ""),
]

# ---------------------------------------------------------------------------


def seed(env):
    env.seed("CALVERIN",
             *[("INSERT INTO gruposorgaos VALUES (?, ?)", g) for g in GROUPS],
             *[("INSERT INTO orgaos VALUES (?, ?, ?, ?, ?)", u) for u in UNITS])
    statements = [("INSERT INTO vlmr_concurso VALUES (?, ?)", e) for e in EXAMS]
    statements += [("INSERT INTO vlmr_bolsaauxilio VALUES (?, ?)", g) for g in GRANTS]
    for source in INTERNS:
        columns = list(source)
        statements.append((f"INSERT INTO vlmr_estagiario({','.join(columns)}) VALUES "
                           f"({','.join('?' * len(columns))})", [source[c] for c in columns]))
    statements += [("INSERT INTO vlmr_estagiariodesignacao VALUES (?, ?, ?, ?, ?)", a)
                   for a in ASSIGNMENTS]
    statements += [("INSERT INTO vlmr_estagiariointerrupcao VALUES (?, ?, ?, ?, ?, ?)", i)
                   for i in INTERRUPTIONS]
    statements += [("INSERT INTO vlmr_pagamento VALUES (?, ?, ?, ?)", p) for p in PAYMENTS]
    env.seed("Velmora", *statements)
    env.seed("consulta_tessarin",
             *[("INSERT INTO cons_estagiarioelogio VALUES (?, ?, ?, ?, ?)", c)
               for c in COMMENDATIONS_BEFORE],
             "INSERT INTO cons_estagiario(matricula, nome, numero) VALUES ('1999', 'stale', 1)",
             "INSERT INTO cons_pagamento VALUES ('1999', '202001', '1', '2020-01-05')")


def run_night(env, date):
    """Starts the process 3 s before the night's run, waits for the run's
    complete log row (pressing OK on the box that reports an undeliverable
    failure notice), stops the process, and returns the log row."""
    env.start(fake_start=f"{date} 00:29:57")

    def finished():
        rows = [r for r in env.log_rows() if r[0] == date and r[2] is not None]
        if rows:
            return rows[0]
        if env.find_windows("Velmora"):
            env.dismiss_box("Velmora")
        return None

    log_row = env.wait_for(finished, 120, f"the run of {date}")
    env.stop()
    return log_row


def check_rows(what, actual, expected, nights):
    """Compares rows value by value; `nights` maps each DURING_NIGHT mark to
    that night's log row."""
    def same(got, want):
        if want in nights:
            log_row = nights[want]
            return log_row[1].strip() <= got <= log_row[2].strip()
        return got == want

    assert len(actual) == len(expected), \
        f"{what}: {len(actual)} rows, expected {len(expected)}:\n" + "\n".join(map(repr, actual))
    for number, (got, want) in enumerate(zip(actual, expected), 1):
        matches = len(got) == len(want) and all(same(g, w) for g, w in zip(got, want))
        assert matches, f"{what} row {number}:\n  got      {got!r}\n  expected {want!r}"


def consultation(env):
    return (
        env.query("consulta_tessarin",
                  f"SELECT {','.join(harness.CONS_COLUMNS)} FROM cons_estagiario "
                  "ORDER BY matricula, rowid"),
        env.query("consulta_tessarin",
                  "SELECT matricula, anomes, valor, Dtproc FROM cons_pagamento "
                  "ORDER BY matricula, anomes, rowid"),
        env.query("consulta_tessarin",
                  # matricula is a number in this table, read here as the
                  # text the expected rows hold.
                  "SELECT data, CAST(matricula AS TEXT), hora, elogioc, sancao "
                  "FROM cons_estagiarioelogio "
                  "ORDER BY matricula, rowid"),
    )


def test(args):
    with harness.Environment(args) as env:
        seed(env)

        night_1 = run_night(env, "2026-12-08")
        assert night_1[3] == " SEM ERRO", f"night 1 log row {night_1}"
        estagiario, pagamento, elogio = consultation(env)
        nights = {DURING_NIGHT_1: night_1}
        check_rows("cons_estagiario", estagiario, EXPECTED_ESTAGIARIO, nights)
        check_rows("cons_pagamento", pagamento, EXPECTED_PAGAMENTO, nights)
        check_rows("cons_estagiarioelogio", elogio, EXPECTED_ELOGIO_NIGHT_1, nights)

        # Night 2: new texts, a renamed intern and a new payment, then a new
        # intern with a commendation whose house number is not a number ends
        # the intern transfer.
        bad = intern("2031", elogio="Novo", Numero="x1")
        env.seed("Velmora",
                 "UPDATE vlmr_estagiario SET elogio = 'Muito bom' WHERE matricula = '2001'",
                 "UPDATE vlmr_estagiario SET sancao = 'Nova' WHERE matricula = '2014'",
                 "UPDATE vlmr_estagiario SET nome = 'Renamed' WHERE matricula = '2030'",
                 "INSERT INTO vlmr_pagamento VALUES ('2030', '202612', 10, NULL)",
                 (f"INSERT INTO vlmr_estagiario({','.join(bad)}) VALUES "
                  f"({','.join('?' * len(bad))})", list(bad.values())))
        night_2 = run_night(env, "2026-12-09")
        assert night_2[3] == "13 - Type mismatch: numero x1 is not a number (matricula 2031)", \
            f"night 2 log row {night_2}"
        estagiario, pagamento, elogio = consultation(env)
        nights[DURING_NIGHT_2] = night_2
        check_rows("cons_estagiario after the failed night", estagiario, EXPECTED_ESTAGIARIO,
                   nights)
        check_rows("cons_pagamento after the failed night", pagamento, EXPECTED_PAGAMENTO,
                   nights)
        # Updates keep the first night's data and hora; 2031's row is new.
        check_rows("cons_estagiarioelogio after the failed night", elogio, [
            ("2026-12-08", "2001", DURING_NIGHT_1, "Muito bom", ""),
            ("2025-03-01", "2013", "10:00:00", "", "Advertência"),
            ("2025-03-02", "2014", "11:00:00", "", "Nova"),
            ("2025-03-03", "2015", "12:00:00", "kept too", ""),
            ("2026-12-08", "2016", DURING_NIGHT_1, "Elogio de D'Ávila", "Suspensão 2 dias"),
            ("2026-12-08", "2028", DURING_NIGHT_1, "Dup", ""),
            ("2026-12-09", "2031", DURING_NIGHT_2, "Novo", ""),
        ], nights)


if __name__ == "__main__":
    harness.main(test)
