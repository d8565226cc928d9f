"""The three connections with logins of their own that hold only the rights
the system uses, as docs/least-privilege-logins.sql gives them on SQL Server,
here on the PostgreSQL test server:

- velmora_origem: reads the six source tables and the run log, inserts and
  updates the run log;
- velmora_consulta: creates tables in the consultation database, owns the
  two tables it drops and re-creates (on PostgreSQL only the owner may drop
  a table), reads, inserts and updates the commendation table;
- velmora_orgaos: reads the two tables of the organiser catalog.

A plain Release configure sets the six login constants (one password holds
a double quote and a backslash, which the build must carry unchanged) and
builds velmora and velmora-ctl. With them: the successful and the failed
night of operator_build_postgres_test, then every velmora-ctl command
(check, status, run-now, run-now --again, restore, seed). Each does what it
does with the owners' logins, so nothing needs more than these rights; the
roles are checked to hold no other right.
"""

import argparse
import os
import subprocess
import tempfile

import harness
import operator_build_postgres_test as night

LOGINS = {  # catalog: (login, password)
    "Velmora": ("velmora_origem", "Origem-4711"),
    "consulta_tessarin": ("velmora_consulta", 'Cons"ul\\ta-0815'),
    "CALVERIN": ("velmora_orgaos", "Orgaos-2718"),
}
SOURCE_TABLES = ["vlmr_estagiario", "vlmr_concurso", "vlmr_bolsaauxilio",
                 "vlmr_estagiariodesignacao", "vlmr_estagiariointerrupcao", "vlmr_pagamento"]
# catalog: {table: privileges}, every table privilege each login holds.
EXPECTED_GRANTS = {
    "Velmora": dict({t: {"SELECT"} for t in SOURCE_TABLES},
                    vlmr_logtransferencia={"SELECT", "INSERT", "UPDATE"}),
    "consulta_tessarin": {"cons_estagiarioelogio": {"SELECT", "INSERT", "UPDATE"}},
    "CALVERIN": {"orgaos": {"SELECT"}, "gruposorgaos": {"SELECT"}},
}
# The ctl's clock: a day of its own, after both nights.
CTL_NOW = "2028-03-05 10:00:00"
CTL_PAIR = "2028_03_04"


def sql_text(value):
    return "'" + value.replace("'", "''") + "'"


class LeastPrivilegePostgres(night.Postgres):
    """The test server with the three logins. The test itself reads and
    writes as the superuser sa, since the logins' tables belong to them;
    every seed ends with their grants, so that tables made by the seed
    belong to the right login."""

    def psql(self, catalog, sql, login=None, password=None):
        if login is None:
            login, password = "sa", ""
        return super().psql(catalog, sql, login, password)

    def create_logins(self):
        for catalog, (login, password) in LOGINS.items():
            self.psql("Velmora", f"""
                DO $$ BEGIN
                  IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = '{login}') THEN
                    CREATE ROLE {login};
                  END IF;
                END $$;
                ALTER ROLE {login} LOGIN NOSUPERUSER NOCREATEDB NOCREATEROLE NOINHERIT
                  PASSWORD {sql_text(password)};""", login="sa", password="")

    def seed(self, catalog, statements):
        super().seed(catalog, statements)
        self.grant()

    def grant(self):
        """As the superuser (psql's default here): only a member of the new
        owner may give a table to it."""
        origem, consulta, orgaos = (LOGINS[c][0] for c in LOGINS)
        self.psql("Velmora", f"GRANT USAGE ON SCHEMA public TO {origem};"
                  f"GRANT SELECT ON {', '.join(SOURCE_TABLES)} TO {origem};"
                  f"GRANT SELECT, INSERT, UPDATE ON vlmr_logtransferencia TO {origem};")
        # The snapshots and the two live tables are dropped by the night (the
        # live ones by a failed night's restore); everything it creates is
        # its own already.
        owned = [r[0] for r in self.psql(
            "consulta_tessarin",
            "SELECT tablename FROM pg_tables WHERE schemaname = 'public' AND "
            "(tablename IN ('cons_estagiario', 'cons_pagamento') OR "
            "tablename ~ '^cons_(estagiario|pagamento)_[0-9]')")]
        self.psql("consulta_tessarin",
                  f"GRANT USAGE, CREATE ON SCHEMA public TO {consulta};"
                  f"GRANT SELECT, INSERT, UPDATE ON cons_estagiarioelogio TO {consulta};"
                  + "".join(f"ALTER TABLE {t} OWNER TO {consulta};" for t in owned))
        self.psql("CALVERIN", f"GRANT USAGE ON SCHEMA public TO {orgaos};"
                  f"GRANT SELECT ON orgaos, gruposorgaos TO {orgaos};")

    def check_rights(self):
        """Each login holds the grants above and owns only night tables."""
        for catalog, (login, _) in LOGINS.items():
            rows = self.psql(catalog, "SELECT table_name, privilege_type FROM "
                             "information_schema.table_privileges WHERE grantee = "
                             f"'{login}' AND grantor <> '{login}'")
            grants = {}
            for table, privilege in rows:
                grants.setdefault(table, set()).add(privilege)
            assert grants == EXPECTED_GRANTS[catalog], f"{login} on {catalog}: {grants}"
            owned = {r[0] for r in self.psql(
                catalog, f"SELECT tablename FROM pg_tables WHERE tableowner = '{login}'")}
            strays = owned if login != LOGINS["consulta_tessarin"][0] else {
                t for t in owned if t not in ("cons_estagiario", "cons_pagamento")
                and not t.startswith(("cons_estagiario_", "cons_pagamento_"))}
            assert not strays, f"{login} owns {strays}"
            attributes = self.psql(catalog, "SELECT rolsuper, rolcreatedb, rolcreaterole, "
                                   f"rolbypassrls FROM pg_roles WHERE rolname = '{login}'")
            assert attributes == [("f", "f", "f", "f")], f"{login}: {attributes}"


def build(source, work, server):
    """A plain Release configure with the servers and the login constants."""
    defines = [f"-DVELMORA_SOURCE_SERVER={server}", f"-DVELMORA_CONSULTA_SERVER={server}",
               "-DVELMORA_ODBC_DRIVER=PostgreSQL Unicode", "-DVELMORA_SMTP_HOST=127.0.0.1"]
    for constant, catalog in (("SOURCE", "Velmora"), ("CONSULTA", "consulta_tessarin"),
                              ("ORGANISER", "CALVERIN")):
        login, password = LOGINS[catalog]
        defines += [f"-DVELMORA_{constant}_LOGIN={login}",
                    f"-DVELMORA_{constant}_PASSWORD={password}"]
    subprocess.run(["cmake", "-S", source, "-B", work, "-DCMAKE_BUILD_TYPE=Release",
                    "-DVELMORA_BUILD_TESTS=OFF", *defines], check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", work, "--target", "velmora", "velmora-ctl", "-j",
                    str(os.cpu_count() or 2)], check=True, stdout=subprocess.DEVNULL)
    return os.path.join(work, "velmora"), os.path.join(work, "velmora-ctl")


def run_ctl(ctl, odbc, *words, status=0):
    env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "LANG": "C.UTF-8",
           "LD_PRELOAD": harness.FAKETIME_LIBRARY, "FAKETIME": "@" + CTL_NOW,
           "FAKETIME_DONT_RESET": "1", **odbc}
    if "TZ" in os.environ:
        env["TZ"] = os.environ["TZ"]
    result = subprocess.run([ctl, *words], env=env, stdin=subprocess.DEVNULL,
                            capture_output=True, text=True, timeout=240)
    assert result.returncode == status, \
        (f"velmora-ctl {' '.join(words)}: status {result.returncode}, expected {status}\n"
         f"{result.stdout}{result.stderr}")
    return result.stdout


def every_ctl_command(ctl, pg, odbc):
    out = run_ctl(ctl, odbc, "check", status=1)
    lines = out.splitlines()
    for catalog, (login, password) in LOGINS.items():
        assert any(l.startswith("ok") and f" {catalog} " in l and l.split(" as ")[-1]
                   .startswith(login) for l in lines), f"{catalog} as {login}:\n{out}"
        assert password not in out, out
    failing = [l for l in lines if not l.startswith("ok")]
    # Nothing listens on port 25 of 127.0.0.1 here: the mail server alone fails.
    assert len(failing) == 1 and failing[0].startswith("FAIL  mail server"), out

    run_ctl(ctl, odbc, "status")
    out = run_ctl(ctl, odbc, "run-now")
    assert out.rstrip().endswith("SEM ERRO"), out
    assert {f"cons_estagiario_{CTL_PAIR}", f"cons_pagamento_{CTL_PAIR}"} <= pg.tables()
    run_ctl(ctl, odbc, "run-now", status=1)  # this date's pair exists
    out = run_ctl(ctl, odbc, "run-now", "--again")
    assert out.rstrip().endswith("SEM ERRO"), out
    kept = {t for t in pg.tables() if t.startswith(f"cons_estagiario_{CTL_PAIR}_")}
    assert len(kept) == 1, pg.tables()
    run_ctl(ctl, odbc, "restore", "--suffix", CTL_PAIR, "--yes")
    run_ctl(ctl, odbc, "restore", "--suffix", kept.pop()[len("cons_estagiario_"):], "--yes")
    run_ctl(ctl, odbc, "status")
    with tempfile.TemporaryDirectory() as scratch:
        run_ctl(ctl, odbc, "seed", "--interns", "20", "--dir", scratch)
        assert sorted(os.listdir(scratch)) == ["CALVERIN.db", "Velmora.db",
                                               "consulta_tessarin.db"], os.listdir(scratch)
    log = pg.log_rows()
    assert [r[3] for r in log if r[0] == "2028-03-05"] == [" SEM ERRO", " SEM ERRO"], log


def test(args):
    server = os.environ.get("VELMORA_TEST_PG")
    assert server, ("VELMORA_TEST_PG is not set: this test needs the PostgreSQL server that "
                    "tools/run-tests starts (or tools/pg-test-server start DIR, then export "
                    "the variables of DIR/env)")
    parser = argparse.ArgumentParser()
    parser.add_argument("--source", required=True)
    parser.add_argument("--work", required=True)
    paths, _ = parser.parse_known_args()
    pg = LeastPrivilegePostgres(server, args.create_databases)
    pg.create_logins()
    args.velmora, ctl = build(paths.source, paths.work, server)
    odbc = night.odbc_environment(paths.source)
    night.successful_night(args, pg, odbc)
    pg.check_rights()
    night.failed_night(args, pg, odbc)
    pg.check_rights()
    pg.reset()
    night.seed(pg, night.INTERNS, yesterday="2028_03_03")
    every_ctl_command(ctl, pg, odbc)
    pg.check_rights()


if __name__ == "__main__":
    harness.main(test)
