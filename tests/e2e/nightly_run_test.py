"""Started at 00:29:57 local time, the process performs exactly one run at
00:30:00, logs it as a success, and keeps running."""

import time

import harness

DATE = "2026-12-08"


def test(args):
    with harness.Environment(args) as env:
        env.start(fake_start=f"{DATE} 00:29:57")
        env.wait_for_window("Form1")
        data, start, end, outcome = env.wait_for_log_row(timeout=60)
        # Give a second run every chance to happen: the rest of 00:30:00 and
        # the seconds after it.
        time.sleep(3)
        rows = env.log_rows()
        assert len(rows) == 1, f"log rows: {rows}"
        assert data == DATE, f"data {data!r}"
        assert outcome == " SEM ERRO", f"erro {outcome!r}"
        assert start == "00:30:00 ", f"hora_inicial {start!r}"
        assert end.startswith("00:30:0") and end.endswith(" ") and len(end) == 9, \
            f"hora_final {end!r}"
        tables = env.tables()
        for snapshot in ("cons_estagiario_2026_12_07", "cons_pagamento_2026_12_07"):
            assert snapshot in tables, f"{snapshot} missing from {tables}"
        assert env.running(), f"the process ended after the run:\n{env.output()}"


if __name__ == "__main__":
    harness.main(test)
