"""The operator's own path: a plain Release configure with the build
constants set, the target `velmora` built from it, and that binary started
under Xvfb with its clock moved to 00:29:57. It shows one 40 x 40 "Form1"
window, and its night transfers one intern and one payment and logs a
success.

The build constants point the servers at "sqlite:." so that the binary finds
its catalogs in the harness's scratch directory, which is its working
directory."""

import argparse
import os
import subprocess
import time

import harness

DATE = "2027-01-01"


def build_velmora(source, work):
    subprocess.run(
        ["cmake", "-S", source, "-B", work, "-DCMAKE_BUILD_TYPE=Release",
         "-DVELMORA_SOURCE_SERVER=sqlite:.", "-DVELMORA_CONSULTA_SERVER=sqlite:.",
         "-DVELMORA_SMTP_HOST=127.0.0.1", "-DVELMORA_MAILBOX=consulta@localhost"],
        check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", work, "--target", "velmora", "-j",
                    str(os.cpu_count() or 2)], check=True, stdout=subprocess.DEVNULL)
    return os.path.join(work, "velmora")


def test(args):
    parser = argparse.ArgumentParser()
    parser.add_argument("--source", required=True)
    parser.add_argument("--work", required=True)
    paths, _ = parser.parse_known_args()
    args.velmora = build_velmora(paths.source, paths.work)

    with harness.Environment(args) as env:
        env.seed(
            "Velmora",
            "INSERT INTO vlmr_concurso VALUES ('C9', ' Concurso Nove ')",
            "INSERT INTO vlmr_estagiario (matricula, oficial, concurso, id_bolsa, nome, sexo,"
            " filiacao, cpf, logradouro, Complemento, Numero, Bairro, cidade, uf, cep, telefone,"
            " celular, email, faculdade, baifacu, cidadefacu, periodo, turno, prevcolacao,"
            " dtiniestagio, dtfinestagio, situacao, tpdeslig, matanterior, sancao, elogio)"
            " VALUES ('501', 'O', 'C9', '', 'Ana D''Ávila', '2', 'Pais', '1', 'Rua', '', ' ',"
            " 'B', 'C', 'PE', '5', '', '', '', 'F', '', '', '3', '2', NULL, '2026-02-01',"
            " NULL, '1', '', NULL, NULL, NULL)",
            "INSERT INTO vlmr_pagamento VALUES (' 501 ', '202612', 1500.50, NULL)")
        env.start(fake_start=f"{DATE} 00:29:57")
        windows = env.wait_for_window("Form1")
        assert len(windows) == 1, f"windows captioned Form1: {windows}"
        assert env.geometry(windows[0])[2:] == (40, 40), env.geometry(windows[0])
        data, start, end, outcome = env.wait_for_log_row(timeout=60)
        time.sleep(2)
        assert env.log_rows() == [(DATE, "00:30:00 ", end, " SEM ERRO")], env.log_rows()
        assert start == "00:30:00 " and end.endswith(" "), (start, end)
        interns = env.query("consulta_tessarin",
                            "SELECT matricula, oficial, concurso, nome, sexo, numero, turno,"
                            " dtiniestagio, situacao, orgao FROM cons_estagiario")
        assert interns == [("501", "Concursado no Concurso Nove", "Concurso Nove",
                            "Ana D'Ávila", "Feminino", 0, "Tarde", "2026-02-01", "Ativo",
                            "")], interns
        payments = env.query("consulta_tessarin", "SELECT * FROM cons_pagamento")
        assert payments == [("501", "202612", "1500.5", "")], payments
        tables = env.tables()
        for snapshot in ("cons_estagiario_2026_12_31", "cons_pagamento_2026_12_31"):
            assert snapshot in tables, f"{snapshot} missing from {tables}"
        assert env.running(), f"the process ended after the run:\n{env.output()}"


if __name__ == "__main__":
    harness.main(test)
