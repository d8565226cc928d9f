"""The operator's path against a database server: a plain Release configure
whose build constants name the test PostgreSQL server (VELMORA_TEST_PG,
"host,port") and the "PostgreSQL Unicode" ODBC driver, the target `velmora`
built from it, and that binary started under Xvfb with its clock moved to
00:29:57, against the three catalogs of the server, each reset to the
tables of the test databases (velmora-create-databases --schema postgres)
and seeded with psql.

- Night 1 (2027-01-01) succeeds: one log row, every row of cons_estagiario,
  cons_pagamento and cons_estagiarioelogio as written out below, yesterday's
  rows in the snapshots of 2026_12_31, and the pair of 2026_12_30 dropped.
- Night 2 (2028-03-01) fails on an intern whose house number is not a
  number: cons_estagiario and cons_pagamento hold exactly yesterday's rows
  again, the commendation rows written before the failure stay, and the log
  row carries the failure. The notice goes to 127.0.0.1:25, where nothing
  listens, so a "Velmora" box holds the run until it is dismissed.

The harness still creates its scratch SQLite files; this binary ignores them.
"""

import argparse
import os
import subprocess

import harness

OWNERS = {  # catalog: (owner login, password), as tools/pg-test-server made them
    "Velmora": ("sa", ""),
    "consulta_tessarin": ("consulta_tessarin_int02", "Wubtra583"),
    "CALVERIN": ("CALVERIN_int01", "Tavreq527"),
}
NULL = "\x01"  # how psql shows a Null here; no value of the tests holds it

# Mark of a commendation time written during the run: it must lie between
# the run's start and end times in the run log.
DURING_RUN = "during the run"


# ---------------------------------------------------------------------------
# The server, through psql.

def literal(value):
    if value is None:
        return "NULL"
    if isinstance(value, (int, float)):
        return repr(value)
    return "'" + value.replace("'", "''") + "'"


def insert(table, *rows):
    return [f"INSERT INTO {table} VALUES ({', '.join(map(literal, r))});" for r in rows]


class Postgres:
    def __init__(self, server, create_databases):
        host, _, port = server.partition(",")
        assert host and port.isdigit(), f"VELMORA_TEST_PG must read host,port: {server!r}"
        self.host, self.port = host, port
        self.create_databases = create_databases

    def psql(self, catalog, sql, login=None, password=None):
        """Runs `sql` on `catalog` as its owner (or as `login`) and returns
        the rows, each a tuple of texts with None for Null."""
        owner, owner_password = OWNERS[catalog]
        login = login or owner
        password = owner_password if password is None else password
        env = {k: v for k, v in os.environ.items() if not k.startswith("PG")}
        env.update(PGPASSWORD=password, PGCLIENTENCODING="UTF8", PGCONNECT_TIMEOUT="10")
        result = subprocess.run(
            ["psql", "-X", "-q", "-A", "-t", "-v", "ON_ERROR_STOP=1", "-F", "\x1f", "-R", "\x1e",
             "-P", f"null={NULL}", "-h", self.host, "-p", self.port, "-U", login, "-d", catalog],
            input=sql.encode(), env=env, capture_output=True)
        if result.returncode != 0:
            raise AssertionError(f"psql on {catalog} as {login} failed: "
                                 f"{result.stderr.decode(errors='replace')}\nin: {sql}")
        out = result.stdout.decode()
        if out.endswith("\n"):
            out = out[:-1]
        return [tuple(None if v == NULL else v for v in record.split("\x1f"))
                for record in out.split("\x1e") if record]

    def reset(self):
        """Every catalog empty, with the tables of the test databases."""
        for catalog, (owner, _) in OWNERS.items():
            self.psql(catalog, "DROP SCHEMA IF EXISTS public CASCADE; "
                      f'CREATE SCHEMA public AUTHORIZATION "{owner}";', login="sa", password="")
            schema = subprocess.run([self.create_databases, "--schema", "postgres", catalog],
                                    check=True, capture_output=True, text=True).stdout
            self.psql(catalog, schema)

    def seed(self, catalog, statements):
        self.psql(catalog, "\n".join(statements))

    def tables(self):
        return {r[0] for r in self.psql(
            "consulta_tessarin",
            "SELECT table_name FROM information_schema.tables WHERE table_schema = 'public'")}

    def log_rows(self):
        return self.psql("Velmora", "SELECT data, hora_inicial, hora_final, erro"
                         " FROM vlmr_logtransferencia ORDER BY data, hora_inicial")


# ---------------------------------------------------------------------------
# Source data.

GROUPS = [(1, "Foro Central"), (2, "  Juizados  ")]
UNITS = [  # orgao, nome, qorv, regiao, grupo
    (10, "Vara Civel", "VC1", "R1", 1),
    (21, "Pelo Numero", "PN", "R1", 2),
    (30, "Juizado Especial", "JE", "R2", 2),
]
EXAMS = [("EX1", "  Exame 2026 "), ("EX2", "Exame 2025")]
GRANTS = [(5, "Bolsa Integral "), (6, "Bolsa Parcial")]

ORDINARY_SOURCE = {
    "oficial": "E", "concurso": "", "id_bolsa": "", "sexo": "1", "filiacao": "Pais",
    "cpf": "111.222.333-44", "logradouro": "Rua Um", "Complemento": "", "Numero": "10",
    "Bairro": "Centro", "cidade": "Recife", "uf": "PE", "cep": "50000-000", "telefone": "",
    "celular": "", "email": "", "faculdade": "UF", "baifacu": "", "cidadefacu": "",
    "periodo": "5", "turno": "1", "prevcolacao": None, "dtiniestagio": "2026-02-01 00:00:00",
    "dtfinestagio": None, "situacao": "1", "tpdeslig": "", "matanterior": None,
    "sancao": None, "elogio": None,
}


def intern(matricula, **changes):
    return harness.source_row(ORDINARY_SOURCE, matricula, **changes)


INTERNS = [
    # Exam and grant found; the latest assignment's unit found by its qorv.
    intern("3001", oficial="O", concurso="EX1", id_bolsa="5", elogio=" Elogio de D'Ávila ",
           Complemento=" apto 2 ", cidade="  Olinda  ", prevcolacao="2027-07-15 00:00:00"),
    # Exam not found, a house number of blanks, the latest of two
    # interruptions, and a sanction for an intern who already has a row.
    intern("3002", concurso="X99", sexo="2", turno="2", Numero="   ", situacao="3",
           sancao="Advertência"),
    # A name with an apostrophe; the unit found by its number.
    intern("3003", oficial="C", nome="Ana D'Ávila", filiacao="Pai D'Ávila", sexo="0",
           matanterior=" 2999 ", dtiniestagio=None, dtfinestagio="2026-12-31 23:59:00",
           situacao="2", tpdeslig="Pedido", id_bolsa="6"),
]
# After the others: its commendation is written, then its house number
# makes the intern insert fail.
BAD_INTERN = intern("3004", elogio="Novo", Numero="x1")

ASSIGNMENTS = [  # id_desig, matricula, dt_ini, dt_fin, Id_orgao
    (1, "3001", "2025-01-01 00:00:00", "2025-12-31 00:00:00", "JE"),
    (2, "3001", "2026-02-01 14:30:00", None, " VC1 "),
    (1, "3003", "2026-03-01 00:00:00", "2026-09-30 00:00:00", "21"),
]
INTERRUPTIONS = [  # sequencia, matricula, dtinicio, dtprevfim, dtfim, motivo
    (2, "3002", "2026-10-01 00:00:00", "2026-12-31 00:00:00", None, " Licença "),
    (1, "3002", "2026-03-01 00:00:00", "2026-03-10 00:00:00", "2026-03-09 00:00:00", "velha"),
]
PAYMENTS = [  # matricula, anomes, valor, Dtproc
    (" 3001 ", "202612", 1500.50, "2026-12-05 10:20:00"),
    ("3002", "202612", 750.25, None),
    ("3003", "202611", 100, "2026-11-05 00:00:00"),
]

# Yesterday's consultation rows.
STALE_ESTAGIARIO = ("2999", "stale", 1)  # matricula, nome, numero
STALE_PAGAMENTO = ("2999", "202001", "1", "2020-01-05")
COMMENDATIONS_BEFORE = [  # data, matricula, hora, elogioc, sancao
    ("2025-03-02", 2999, "11:00:00", "kept e", "kept s"),
    ("2026-06-01", 3002, "10:00:00", "antigo", "antiga"),
]

# ---------------------------------------------------------------------------
# Expected consultation rows, written out by hand.

ORDINARY_ROW = {
    "oficial": "Não Concursado", "concurso": "", "bolsa": "", "orgao": "", "sexo": "Masculino",
    "filiacao": "Pais", "cpf": "111.222.333-44", "logradouro": "Rua Um", "numero": "10",
    "complemento": "", "bairro": "Centro", "cidade": "Recife", "uf": "PE", "cep": "50000-000",
    "telefone": "", "celular": "", "email": "", "faculdade": "UF", "baifacu": "",
    "cidadefacu": "", "periodo": "5", "turno": "Manhã", "prevcolacao": "",
    "dtiniestagio": "2026-02-01", "dtfinestagio": "", "Dt_inidesignacao": "",
    "Dt_findesignacao": "", "situacao": "Ativo", "tpdeslig": "", "matanterior": "",
    "Dt_ininterrupcao": "", "Dt_prevfinterrupcao": "", "Dt_finterrupcao": "",
    "motivo_interrupcao": "",
}


def row(matricula, **changes):
    return harness.cons_row(ORDINARY_ROW, matricula, **changes)


def stale_row():
    """Yesterday's intern row: only matricula, nome and numero were set."""
    values = {c: None for c in harness.CONS_COLUMNS}
    values.update(matricula="2999", nome="stale", numero="1")
    return tuple(values[c] for c in harness.CONS_COLUMNS)


EXPECTED_ESTAGIARIO = [
    row("3001", oficial="Concursado no Exame 2026", concurso="Exame 2026",
        bolsa="Bolsa Integral", orgao="Vara Civel Foro Central", complemento="apto 2",
        cidade="Olinda", prevcolacao="2027-07-15", Dt_inidesignacao="2026-02-01"),
    row("3002", concurso="X99", sexo="Feminino", turno="Tarde", numero="0",
        situacao="Interrupcao", Dt_ininterrupcao="2026-10-01",
        Dt_prevfinterrupcao="2026-12-31", motivo_interrupcao=" Licença "),
    row("3003", oficial="Convênio", bolsa="Bolsa Parcial", orgao="Pelo Numero Juizados",
        nome="Ana D'Ávila", filiacao="Pai D'Ávila", sexo="", dtiniestagio="",
        dtfinestagio="2026-12-31", Dt_inidesignacao="2026-03-01",
        Dt_findesignacao="2026-09-30", situacao="Desligado", tpdeslig="Pedido",
        matanterior=" 2999 "),
]
EXPECTED_PAGAMENTO = [
    ("3001", "202612", "1500.5", "2026-12-05"),
    ("3002", "202612", "750.25", ""),
    ("3003", "202611", "100", "2026-11-05"),
]


def expected_elogio(date, *new_interns):
    """The commendation rows after a run on `date` that reached the given
    interns: 3002's existing row updated, a new row for 3001 and 3004."""
    rows = [("2025-03-02", "2999", "11:00:00", "kept e", "kept s"),
            (date, "3001", DURING_RUN, "Elogio de D'Ávila", ""),
            ("2026-06-01", "3002", "10:00:00", "", "Advertência")]
    if "3004" in new_interns:
        rows.append((date, "3004", DURING_RUN, "Novo", ""))
    return rows


# ---------------------------------------------------------------------------


def seed(pg, interns, yesterday):
    pg.seed("CALVERIN", insert("gruposorgaos", *GROUPS) + insert("orgaos", *UNITS))
    pg.seed("Velmora",
            insert("vlmr_concurso", *EXAMS) + insert("vlmr_bolsaauxilio", *GRANTS)
            + [f"INSERT INTO vlmr_estagiario ({','.join(i)}) VALUES "
               f"({', '.join(map(literal, i.values()))});" for i in interns]
            + insert("vlmr_estagiariodesignacao", *ASSIGNMENTS)
            + insert("vlmr_estagiariointerrupcao", *INTERRUPTIONS)
            + insert("vlmr_pagamento", *PAYMENTS))
    pg.seed("consulta_tessarin",
            insert("cons_estagiarioelogio", *COMMENDATIONS_BEFORE)
            + ["INSERT INTO cons_estagiario (matricula, nome, numero) VALUES "
               f"({', '.join(map(literal, STALE_ESTAGIARIO))});"]
            + insert("cons_pagamento", STALE_PAGAMENTO)
            # The pair of two days before, which a successful run drops.
            + [f"SELECT * INTO cons_estagiario_{yesterday} FROM cons_estagiario;",
               f"SELECT * INTO cons_pagamento_{yesterday} FROM cons_pagamento;"])


def consultation(pg, table="cons_estagiario", payments="cons_pagamento"):
    return (
        pg.psql("consulta_tessarin",
                f"SELECT {','.join(harness.CONS_COLUMNS)} FROM {table} ORDER BY matricula, nome"),
        pg.psql("consulta_tessarin",
                f"SELECT matricula, anomes, valor, Dtproc FROM {payments}"
                " ORDER BY matricula, anomes"),
    )


def elogio_rows(pg):
    return pg.psql("consulta_tessarin", "SELECT data, matricula, hora, elogioc, sancao"
                   " FROM cons_estagiarioelogio ORDER BY matricula, data")


def check_rows(what, actual, expected, log_row=None):
    def same(got, want):
        if want == DURING_RUN:
            return got is not None and log_row[1].strip() <= got <= log_row[2].strip()
        return got == want

    assert len(actual) == len(expected), \
        f"{what}: {len(actual)} rows, expected {len(expected)}:\n" + "\n".join(map(repr, actual))
    for number, (got, want) in enumerate(zip(actual, expected), 1):
        matches = len(got) == len(want) and all(same(g, w) for g, w in zip(got, want))
        assert matches, f"{what} row {number}:\n  got      {got!r}\n  expected {want!r}"


def check_log_row(pg, date, outcome):
    rows = pg.log_rows()
    assert len(rows) == 1, f"log rows: {rows}"
    data, start, end, erro = rows[0]
    assert (data, start, erro) == (date, "00:30:00 ", outcome), f"log row: {rows[0]}"
    assert end is not None and end.endswith(" ") and "00:30:00" <= end.strip() <= "00:40:00", \
        f"hora_final of {rows[0]}"
    return rows[0]


def build_velmora(source, work, server):
    """Configures (again, when the server changed: -D overrides the cache)
    and builds the target velmora."""
    subprocess.run(
        ["cmake", "-S", source, "-B", work, "-DCMAKE_BUILD_TYPE=Release",
         f"-DVELMORA_SOURCE_SERVER={server}", f"-DVELMORA_CONSULTA_SERVER={server}",
         "-DVELMORA_ODBC_DRIVER=PostgreSQL Unicode", "-DVELMORA_SMTP_HOST=127.0.0.1"],
        check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", work, "--target", "velmora", "-j",
                    str(os.cpu_count() or 2)], check=True, stdout=subprocess.DEVNULL)
    return os.path.join(work, "velmora")


def odbc_environment(source):
    """The tests' driver list for the process (the system's list turns on a
    communication log of the PostgreSQL driver)."""
    folder = os.environ.get("ODBCSYSINI") or os.path.join(source, "tools", "odbc")
    return {"ODBCSYSINI": os.path.abspath(folder),
            "ODBCINSTINI": os.environ.get("ODBCINSTINI") or "odbcinst.ini"}


def successful_night(args, pg, odbc):
    date = "2027-01-01"
    pg.reset()
    seed(pg, INTERNS, yesterday="2026_12_30")
    pg.seed("consulta_tessarin", ["SELECT * INTO cons_pagamento_2026_12_29 FROM cons_pagamento;"])
    with harness.Environment(args) as env:
        env.start(fake_start=f"{date} 00:29:57", extra_env=odbc)
        env.wait_for(lambda: [r for r in pg.log_rows() if r[2] is not None], 90,
                     "the complete run-log row of the successful night")
        log_row = check_log_row(pg, date, " SEM ERRO")

        estagiario, pagamento = consultation(pg)
        check_rows("cons_estagiario", estagiario, EXPECTED_ESTAGIARIO)
        check_rows("cons_pagamento", pagamento, EXPECTED_PAGAMENTO)
        check_rows("cons_estagiarioelogio", elogio_rows(pg), expected_elogio(date), log_row)

        tables = pg.tables()
        assert {"cons_estagiario_2026_12_31", "cons_pagamento_2026_12_31"} <= tables, tables
        estagiario, pagamento = consultation(pg, "cons_estagiario_2026_12_31",
                                             "cons_pagamento_2026_12_31")
        check_rows("snapshot cons_estagiario_2026_12_31", estagiario, [stale_row()])
        check_rows("snapshot cons_pagamento_2026_12_31", pagamento, [STALE_PAGAMENTO])
        # Only the pair of two days before goes; older snapshots stay.
        assert not {"cons_estagiario_2026_12_30", "cons_pagamento_2026_12_30"} & tables, tables
        assert "cons_pagamento_2026_12_29" in tables, tables
        assert env.running(), f"the process ended after the run:\n{env.output()}"


def failed_night(args, pg, odbc):
    date = "2028-03-01"
    pg.reset()
    seed(pg, INTERNS + [BAD_INTERN], yesterday="2028_02_28")
    with harness.Environment(args) as env:
        env.start(fake_start=f"{date} 00:29:57", extra_env=odbc)
        boxes = env.wait_for_window("Velmora", timeout=90)
        assert len(boxes) == 1, f"boxes captioned Velmora: {boxes}"
        rows = pg.log_rows()
        assert len(rows) == 1 and rows[0][2] is None, \
            f"the run must wait for the box before its end row: {rows}"
        env.dismiss_box("Velmora")
        env.wait_for(lambda: [r for r in pg.log_rows() if r[2] is not None], 60,
                     "the complete run-log row of the failed night")
        log_row = check_log_row(
            pg, date, "13 - Type mismatch: numero x1 is not a number (matricula 3004)")

        estagiario, pagamento = consultation(pg)
        check_rows("cons_estagiario after the failed night", estagiario, [stale_row()])
        check_rows("cons_pagamento after the failed night", pagamento, [STALE_PAGAMENTO])
        check_rows("cons_estagiarioelogio after the failed night", elogio_rows(pg),
                   expected_elogio(date, "3004"), log_row)
        tables = pg.tables()
        assert {"cons_estagiario_2028_02_29", "cons_pagamento_2028_02_29"} <= tables, tables
        assert not {"cons_estagiario_2028_02_28", "cons_pagamento_2028_02_28"} & tables, tables
        assert env.running(), f"the process ended after the run:\n{env.output()}"


def test(args):
    server = os.environ.get("VELMORA_TEST_PG")
    assert server, ("VELMORA_TEST_PG is not set: this test needs the PostgreSQL server that "
                    "tools/run-tests starts (or tools/pg-test-server start DIR, then export "
                    "the variables of DIR/env)")
    parser = argparse.ArgumentParser()
    parser.add_argument("--source", required=True)
    parser.add_argument("--work", required=True)
    paths, _ = parser.parse_known_args()
    pg = Postgres(server, args.create_databases)
    args.velmora = build_velmora(paths.source, paths.work, server)
    odbc = odbc_environment(paths.source)
    successful_night(args, pg, odbc)
    failed_night(args, pg, odbc)


if __name__ == "__main__":
    harness.main(test)
