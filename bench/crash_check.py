#!/usr/bin/env python3
"""Kills a large "-csv_to_sqlite" conversion (SIGKILL) at random moments and checks what it left.

For every kill: `pragma integrity_check` says ok, and every data table holds exactly the rows
its run records name: the rowids of the table are the union of the [row_data_start,
row_data_end] ranges of the `metadata` rows naming it, each row's metaref is the runtime of the
record whose range holds it, and `ref` names the table's last rowid. A half-written batch would
break one of these. The moments are spread over the length of one undisturbed run.

    bench/crash_check.py --telvar build/telvar --source bench/data/registry_1G.csv [--kills 20]
"""

import argparse
import os
import random
import signal
import sqlite3
import subprocess
import sys
import tempfile
import time


def check_database(path):
    """None when the database keeps its promises, else what is wrong."""
    if not os.path.exists(path):
        return None  # killed before the file was made
    con = sqlite3.connect(path)
    try:
        verdict = con.execute("pragma integrity_check").fetchone()[0]
        if verdict != "ok":
            return f"integrity_check: {verdict}"
        names = {r[0] for r in con.execute("select name from sqlite_master where type='table'")}
        if "metadata" not in names or "ref" not in names:
            return None if not (names - {"metadata", "ref"}) else "data tables without metadata or ref"
        records = {}
        for runtime, table, start, end in con.execute(
                "select runtime, data_tbl_name, row_data_start, row_data_end from metadata"):
            records.setdefault(table, []).append((start, end, runtime))
        for table, last in con.execute("select table_name, last_rowid from ref"):
            if table == "metadata" or table not in names:
                continue
            quoted = '"' + table.replace('"', '""') + '"'
            # One scan: each batch's rows by their metaref, against its run record's range.
            got = {runtime: (low, high, count) for runtime, low, high, count in con.execute(
                f"select metaref, min(rowid), max(rowid), count(*) from {quoted} group by metaref")}
            named = {runtime: (start, end, end - start + 1) for start, end, runtime in records.get(table, [])
                     if end >= start and end > 0}
            if got != named:
                return f"{table}: {sum(g[2] for g in got.values())} rows in {len(got)} batches, its run records " \
                       f"name {sum(n[2] for n in named.values())} in {len(named)}"
            top = max((g[1] for g in got.values()), default=None)
            if top is not None and last != top:
                return f"{table}: ref names rowid {last}, the table ends at {top}"
        return None
    finally:
        con.close()


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--telvar", required=True)
    parser.add_argument("--source", required=True)
    parser.add_argument("--kills", type=int, default=20)
    parser.add_argument("--seed", type=int, default=22)
    args = parser.parse_args(argv)
    rng = random.Random(args.seed)
    folder = tempfile.mkdtemp(prefix="telvar-crash-", dir=os.path.dirname(os.path.abspath(args.source)))
    db = os.path.join(folder, "run.db")

    def start():
        for suffix in ("", "-journal", "-wal", "-shm"):
            if os.path.exists(db + suffix):
                os.remove(db + suffix)
        return subprocess.Popen([args.telvar, "-src", args.source, "-csv_to_sqlite", "-dst", db],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    begin = time.perf_counter()
    status = start().wait()
    length = time.perf_counter() - begin
    problems = [] if status == 0 else [f"the undisturbed run ended {status}"]
    wrong = check_database(db)
    if wrong:
        problems.append(f"undisturbed run: {wrong}")
    print(f"undisturbed run: {length:.1f} s", flush=True)
    for kill in range(args.kills):
        moment = rng.uniform(0.02, 0.98) * length
        proc = start()
        time.sleep(moment)
        proc.send_signal(signal.SIGKILL)
        proc.wait()
        wrong = check_database(db)
        con_rows = "-"
        if os.path.exists(db) and wrong is None:
            con = sqlite3.connect(db)
            try:
                con_rows = con.execute("select coalesce(sum(row_data_end - row_data_start + 1), 0) from metadata "
                                       "where row_data_end >= row_data_start and row_data_end > 0").fetchone()[0]
            except sqlite3.Error:
                con_rows = 0
            con.close()
        print(f"kill {kill + 1:2d} at {moment:5.2f} s: {'ok' if wrong is None else wrong} ({con_rows} rows kept)",
              flush=True)
        if wrong:
            problems.append(f"kill at {moment:.2f} s: {wrong}")
    for suffix in ("", "-journal", "-wal", "-shm"):
        if os.path.exists(db + suffix):
            os.remove(db + suffix)
    os.rmdir(folder)
    print("crash check: " + ("all databases consistent" if not problems else "FAILED: " + "; ".join(problems)))
    return 0 if not problems else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
