#!/usr/bin/env python3
"""Times telvar's conversions as whole processes against peers run on the same files.

Every row gets one warm-up run (which also fills the page cache and checks the output) and
then RUNS timed runs; the table shows the median time and the highest peak resident memory
(from /usr/bin/time -v). Conversions that write a stream write to /dev/null in the timed runs,
as the peers do. A conversion that is not built, fails, hangs or writes nothing gets "n/a" in
its row with the reason, and the table goes on.

Called by bench/run.sh, which builds telvar and makes the inputs; see bench/README.md.
"""

import argparse
import json
import os
import re
import shutil
import signal
import sqlite3
import statistics
import subprocess
import sys
import threading
import time

MB = 1e6
MIB = 1 << 20

# Targets, checked on every run; the memory target is meant for a 2 GB source.
TARGET_MBPS = 400.0
TARGET_JSON_VS_MILLER = 10.0
TARGET_SQLITE_VS_IMPORT = 2.0
TARGET_PEAK_MIB = 64.0
TARGET_PIPE_FILES_PER_S = 10000.0
TARGET_JSON_VS_DUCKDB = 2.0
TARGET_REPEATED_NAMES_S = 1.0
# Time per group of the largest many-groups source against the smallest, into one table.
TARGET_GROUP_COST_GROWTH = 1.5


class Row:
    """One measured command and what came of it."""

    def __init__(self, name, kind="telvar"):
        self.name = name
        self.kind = kind            # telvar, floor or peer
        self.seconds = []
        self.peak_kib = 0
        self.na = None              # reason when the row has no figures
        self.notes = []

    @property
    def median(self):
        return statistics.median(self.seconds) if self.seconds else None


class Runner:
    def __init__(self, args):
        self.args = args
        self.runs = args.runs
        self.out_dir = os.path.join(args.data, "out")
        os.makedirs(self.out_dir, exist_ok=True)
        self.log_path = os.path.join(self.out_dir, "stderr.txt")
        self.telvar = args.telvar if args.telvar and os.access(args.telvar, os.X_OK) else None
        self.only = re.compile(args.only) if args.only else None

    def wanted(self, name):
        return self.only is None or self.only.search(name) is not None

    def timed(self, cmd, stdin=None, stdout=None, timeout=None):
        """Runs cmd once under /usr/bin/time -v: (seconds, peak KiB, exit status, stderr head)."""
        stats_path = os.path.join(self.out_dir, "time-v.txt")
        full = ["/usr/bin/time", "-v", "-o", stats_path] + cmd
        with open(stdin or os.devnull, "rb") as fin, open(stdout or os.devnull, "wb") as fout, \
                open(self.log_path, "wb") as ferr:
            start = time.perf_counter()
            # A session of its own, so that a hung run is ended with everything it started.
            # The wait blocks: Popen.wait with a time limit polls in steps of up to 50 ms,
            # which would round every time measured; a timer thread ends a hung run instead.
            proc = subprocess.Popen(full, stdin=fin, stdout=fout, stderr=ferr, start_new_session=True)
            hung = threading.Event()

            def end_hung_run():
                hung.set()
                os.killpg(proc.pid, signal.SIGKILL)

            watchdog = threading.Timer(timeout, end_hung_run) if timeout else None
            if watchdog:
                watchdog.start()
            status = proc.wait()
            seconds = time.perf_counter() - start
            if watchdog:
                watchdog.cancel()
            if hung.is_set():
                return seconds, 0, "timeout", ""
        peak = 0
        try:
            with open(stats_path) as f:
                for line in f:
                    if "Maximum resident set size" in line:
                        peak = int(line.rsplit(":", 1)[1])
        except (OSError, ValueError):
            pass
        with open(self.log_path, "rb") as f:
            # The progress line is erased with CRs; keep the first real message.
            text = f.read(4096).decode("utf-8", "replace").replace("\x1b[2K", "")
        lines = [piece.strip() for line in text.splitlines() for piece in line.split("\r")]
        head = next((line for line in lines if line and not line.startswith("percent done")), "")
        return seconds, peak, status, head.replace(self.args.data.rstrip("/") + "/", "")

    def measure(self, row, cmd, stdin=None, prepare=None, check=None, out_file=None, timeout=600, runs=None):
        """Warm-up run with the output kept and checked, then the timed runs (runs, or RUNS)."""
        if not self.wanted(row.name):
            row.na = "skipped (BENCH_ONLY)"
            return row
        if row.kind == "telvar" and self.telvar is None:
            row.na = "telvar not built"
            return row
        if prepare:
            prepare()
        seconds, peak, status, err = self.timed(cmd, stdin, out_file, timeout)
        if status == "timeout":
            row.na = f"timed out after {timeout:.0f} s"
            return row
        if status != 0:
            row.na = f"exit {status}" + (f": {err[:60]}" if err else "")
            return row
        if check:
            verdict = check(row)
            if out_file and os.path.exists(out_file):
                os.remove(out_file)
            if verdict:
                row.na = verdict
                return row
        for _ in range(self.runs if runs is None else runs):
            if prepare:
                prepare()
            seconds, peak, status, err = self.timed(cmd, stdin, None, timeout)
            if status != 0:
                row.na = f"exit {status} in a timed run" + (f": {err[:60]}" if err else "")
                return row
            row.seconds.append(seconds)
            row.peak_kib = max(row.peak_kib, peak)
        if prepare:
            prepare()
        return row


def remove(path):
    if os.path.isdir(path):
        shutil.rmtree(path)
    elif os.path.exists(path):
        os.remove(path)


def folder_bytes(path):
    total = files = 0
    for root, _, names in os.walk(path):
        for name in names:
            total += os.path.getsize(os.path.join(root, name))
            files += 1
    return files, total


def stored_rows(db_path, skip=("metadata", "ref", "generic_data")):
    """Rows in the data tables of a database, or None when it cannot be read."""
    try:
        con = sqlite3.connect(f"file:{db_path}?mode=ro", uri=True)
        names = [r[0] for r in con.execute("select name from sqlite_master where type='table'")]
        total = 0
        for name in names:
            if name not in skip:
                total += con.execute('select count(*) from "%s"' % name.replace('"', '""')).fetchone()[0]
        con.close()
        return total, len([n for n in names if n not in skip])
    except sqlite3.Error:
        return None


def load_source(path):
    with open(path + ".meta.json") as f:
        meta = json.load(f)
    meta["path"] = path
    return meta


# ---- Formatting.

def fmt_rate(value, unit=""):
    if value is None:
        return "-"
    for scale, suffix in ((1e9, "G"), (1e6, "M"), (1e3, "k")):
        if value >= scale:
            return f"{value / scale:.2f}{suffix}{unit}"
    return f"{value:.1f}{unit}"


def fmt_ratio(value):
    return "-" if value is None else (f"{value:.2f}x" if value < 10 else f"{value:.1f}x")


def table(headers, rows):
    widths = [max(len(str(r[i])) for r in [headers] + rows) for i in range(len(headers))]
    lines = ["  ".join(str(c).ljust(w) for c, w in zip(headers, widths)).rstrip()]
    lines.append("  ".join("-" * w for w in widths))
    for r in rows:
        lines.append("  ".join(str(c).ljust(w) for c, w in zip(r, widths)).rstrip())
    return "\n".join(lines)


# ---- The measurements.

def writer_rows(runner, source, prefix=""):
    """Every writer of telvar on one source: HTML, JSON, flat JSON and cleanup to a stream, the
    database, the split files. Keyed by the conversion's name; rows are named prefix + name."""
    path = source["path"]
    out = runner.out_dir
    telvar = runner.telvar or "telvar"
    size = source["bytes"]
    timeout = max(600.0, size / (2 * MB))
    stream_out = os.path.join(out, "stream.out")

    def stream_check(row):
        got = os.path.getsize(stream_out) if os.path.exists(stream_out) else 0
        if got < size // 10:
            return f"no output ({got} bytes)"
        return None

    conversions = [("-csv_to_html", ["-csv_to_html"]),
                   ("-csv_to_json", ["-csv_to_json"]),
                   ("-csv_to_json -flat", ["-csv_to_json", "-flat"]),
                   ("-no_whitespace (cleanup)", ["-no_whitespace"])]
    telvar_rows = {}
    for name, options in conversions:
        telvar_rows[name] = runner.measure(Row(prefix + name), [telvar, "-src", path] + options, check=stream_check,
                                           out_file=stream_out, timeout=timeout)

    db = os.path.join(out, "telvar.db")

    def sqlite_check(row):
        got = stored_rows(db)
        if got is None or got[0] == 0:
            return "no rows stored"
        if got[0] != source["data_rows"]:
            row.notes.append(f"stored {got[0]} of {source['data_rows']} rows")
        row.notes.append(f"{got[1]} data tables")
        return None

    telvar_rows["-csv_to_sqlite"] = runner.measure(
        Row(prefix + "-csv_to_sqlite"), [telvar, "-src", path, "-csv_to_sqlite", "-dst", db],
        prepare=lambda: remove(db), check=sqlite_check, timeout=timeout)

    split_dir = os.path.join(out, "split")

    def split_check(row):
        files, got = folder_bytes(split_dir) if os.path.isdir(split_dir) else (0, 0)
        if files == 0 or got < size // 10:
            return f"no output ({files} files, {got} bytes)"
        row.notes.append(f"{files} files")
        return None

    telvar_rows["-split_into_files"] = runner.measure(
        Row(prefix + "-split_into_files"), [telvar, "-src", path, "-split_into_files", "-dst", split_dir],
        prepare=lambda: remove(split_dir), check=split_check, timeout=timeout)
    return telvar_rows


def main_table(runner, source, plain):
    """The conversions of one large source, with cat, wc -l, Miller and sqlite3 on the same rows."""
    path = source["path"]
    out = runner.out_dir
    size = source["bytes"]
    timeout = max(600.0, size / (2 * MB))
    rows = []
    cat = runner.measure(Row("cat > /dev/null", "floor"), ["cat", path], timeout=timeout)
    wcl = runner.measure(Row("wc -l", "floor"), ["wc", "-l", path], timeout=timeout)
    mlr = runner.measure(Row("mlr --icsv --ojson cat", "peer"), ["mlr", "--icsv", "--ojson", "cat", plain],
                         timeout=timeout)
    duck = Row("duckdb COPY TO JSON", "peer")
    if runner.args.duckdb:
        duck = runner.measure(duck, ["node", runner.args.duckdb, plain, "/dev/null"], timeout=timeout)
    else:
        duck.na = "not run (BENCH_DUCKDB=0, or no node, npm or @duckdb/node-api)"
    import_db = os.path.join(out, "import.db")

    def import_check(row):
        got = stored_rows(import_db, skip=())
        if got is None or got[0] == 0:
            return "no rows imported"
        if got[0] != source["data_rows"]:
            row.notes.append(f"imported {got[0]} of {source['data_rows']} rows")
        return None

    imp = runner.measure(Row("sqlite3 .import", "peer"),
                         ["sqlite3", import_db, f".import --csv {plain} data_rows"],
                         prepare=lambda: remove(import_db), check=import_check, timeout=timeout)
    rows += [cat, wcl, mlr, duck, imp]

    telvar_rows = writer_rows(runner, source)
    rows += list(telvar_rows.values())

    def speed(row, nbytes=size):
        return nbytes / row.median if row.median else None

    cat_speed = speed(cat)
    wc_speed = speed(wcl)
    lines = []
    for row in rows:
        own_bytes = source["plain_bytes"] if row.kind == "peer" else size
        if row.na:
            lines.append([row.name, "n/a", "", "", "", "", "", "", row.na])
            continue
        mbps = speed(row, own_bytes) / MB
        rows_per_s = source["data_rows"] / row.median
        vs_peer = "-"
        if row.name.startswith("-csv_to_json"):
            ratios = [fmt_ratio(peer.median / row.median) + " " + label
                      for peer, label in ((mlr, "mlr"), (duck, "duckdb")) if peer.median]
            vs_peer = ", ".join(ratios) or "-"
        if row.name == "-csv_to_sqlite" and imp.median:
            vs_peer = fmt_ratio(imp.median / row.median) + " .import"
        lines.append([row.name, f"{row.median:.3f}", f"{mbps:.1f}", fmt_rate(rows_per_s),
                      fmt_ratio(speed(row, own_bytes) / cat_speed) if cat_speed else "-",
                      fmt_ratio(speed(row, own_bytes) / wc_speed) if wc_speed else "-",
                      vs_peer, f"{row.peak_kib / 1024:.1f}", "; ".join(row.notes)])
    text = table(["command", "median s", "MB/s", "rows/s", "x cat", "x wc -l", "x peer", "peak MiB", "notes"],
                 lines)
    return text, telvar_rows, {"cat": cat, "wc": wcl, "mlr": mlr, "duckdb": duck, "import": imp}


def long_cells_table(runner, source):
    """Every writer on a source whose cells hold 1 KiB to 1 MiB: speed and peak memory, which
    must stay near the longest record's size whatever the number of rows."""
    size = source["bytes"]
    cat = runner.measure(Row("cat > /dev/null (long cells)", "floor"), ["cat", source["path"]],
                         timeout=max(600.0, size / (2 * MB)))
    lines = []
    for row in [cat] + list(writer_rows(runner, source, "long cells ").values()):
        if row.na:
            lines.append([row.name, "n/a", "", "", "", "", row.na])
            continue
        mbps = size / row.median / MB
        lines.append([row.name, f"{row.median:.3f}", f"{mbps:.1f}", fmt_rate(source["data_rows"] / row.median),
                      fmt_ratio(cat.median / row.median) if cat.median else "-", f"{row.peak_kib / 1024:.1f}",
                      "; ".join(row.notes)])
    return table(["command", "median s", "MB/s", "rows/s", "x cat", "peak MiB", "notes"], lines)


def pipe_table(runner, folder):
    """-pipe over many small files to HTML, in files per second, against reading them all."""
    names = os.path.join(folder, "names.txt")
    with open(names) as f:
        paths = [line.rstrip("\n") for line in f if line.strip()]
    count = len(paths)
    total = sum(os.path.getsize(p) for p in paths)
    out = os.path.join(runner.out_dir, "pipe")
    timeout = max(600.0, count / 20.0)
    floor = runner.measure(Row("xargs cat > /dev/null", "floor"), ["xargs", "cat"], stdin=names, timeout=timeout)

    def pipe_check(row):
        files, got = folder_bytes(out) if os.path.isdir(out) else (0, 0)
        if files == 0:
            return "no output files"
        if files != count:
            row.notes.append(f"{files} of {count} outputs")
        return None

    # The previous run's folder is moved aside, not removed, until the row is done: creating
    # thousands of files right after deleting as many makes the file system hunt for inodes
    # it may not reuse yet, a cost of the measurement that no analyst's run pays.
    aside = []
    for name in os.listdir(runner.out_dir):
        if name.startswith("pipe.old"):
            remove(os.path.join(runner.out_dir, name))

    def move_aside():
        if os.path.exists(out):
            aside.append(f"{out}.old{len(aside)}")
            os.replace(out, aside[-1])

    pipe = runner.measure(Row("-pipe -csv_to_html"), [runner.telvar or "telvar", "-pipe", "-csv_to_html", "-dst", out],
                          stdin=names, prepare=move_aside, check=pipe_check, timeout=timeout)
    for folder_aside in aside + [out]:
        remove(folder_aside)
    lines = []
    for row in (floor, pipe):
        if row.na:
            lines.append([row.name, "n/a", "", "", "", "", row.na])
            continue
        lines.append([row.name, f"{row.median:.3f}", fmt_rate(count / row.median), f"{total / row.median / MB:.1f}",
                      fmt_ratio(floor.median / row.median) if floor.median else "-",
                      f"{row.peak_kib / 1024:.1f}", "; ".join(row.notes)])
    text = table(["command", "median s", "files/s", "MB/s", "x xargs cat", "peak MiB", "notes"], lines)
    return f"{count} files, {total / MB:.1f} MB\n" + text, pipe, count


def kinds_table(runner, sources):
    """The stream conversions on every kind of source, as MB/s of source and share of cat."""
    conversions = [("-csv_to_html", ["-csv_to_html"]), ("-csv_to_json", ["-csv_to_json"]),
                   ("-no_whitespace", ["-no_whitespace"])]
    stream_out = os.path.join(runner.out_dir, "stream.out")
    lines = []
    peaks = []
    for source in sources:
        size = source["bytes"]
        timeout = max(600.0, size / (2 * MB))

        def check(row, size=size):
            got = os.path.getsize(stream_out) if os.path.exists(stream_out) else 0
            return None if got >= size // 10 else f"no output ({got} bytes)"

        label = os.path.basename(source["path"])
        cat = runner.measure(Row(f"cat {label}", "floor"), ["cat", source["path"]], timeout=timeout)
        cells = [label, f"{size / MB:.1f}", fmt_rate(source["data_rows"]),
                 f"{size / cat.median / MB:.0f}" if cat.median else "n/a"]
        for name, options in conversions:
            row = runner.measure(Row(f"{name} {label}"), [runner.telvar or "telvar", "-src", source["path"]] + options,
                                 check=check, out_file=stream_out, timeout=timeout)
            if row.na:
                cells.append("n/a")
            else:
                share = f" ({size / row.median / (size / cat.median):.2f}x)" if cat.median else ""
                cells.append(f"{size / row.median / MB:.1f}{share}")
                peaks.append(row.peak_kib / 1024)
        lines.append(cells)
    text = table(["source", "MB", "rows", "cat MB/s"] + [f"{n} MB/s (x cat)" for n, _ in conversions], lines)
    if peaks:
        text += f"\npeak resident memory over these runs: {max(peaks):.1f} MiB"
    return text


def scaling_table(runner, sources, measured):
    """Every conversion at every size: milliseconds per MB of source and peak memory, so that a
    cost growing faster than the source or memory growing with it shows at a glance. measured
    maps a source path to rows already measured on it (the large source's table)."""
    sources = sorted(sources, key=lambda source: source["bytes"])
    columns = []
    for source in sources:
        rows = measured.get(source["path"])
        if rows is None:
            rows = writer_rows(runner, source, f"scale {source['bytes'] / MB:.0f} MB ")
        columns.append((source, rows))
    names = list(columns[0][1].keys()) if columns else []
    lines = []
    for name in names:
        cells = [name]
        for source, rows in columns:
            row = rows[name]
            if row.na or not row.median:
                cells += ["n/a", ""]
            else:
                cells += [f"{row.median * 1000 / (source['bytes'] / MB):.2f}", f"{row.peak_kib / 1024:.1f}"]
        lines.append(cells)
    headers = ["conversion"]
    for source, _ in columns:
        label = f"{source['bytes'] / MB:.0f} MB"
        headers += [f"{label} ms/MB", "peak MiB"]
    return table(headers, lines)


def many_table(runner, names_source, group_sources):
    """Sources that are large in names or groups rather than bytes: a header of many equal
    names, and many groups of one row, each group a table of its own or all in one. The time
    per group must not grow with their number where telvar's own work is concerned."""
    telvar = runner.telvar or "telvar"
    stream_out = os.path.join(runner.out_dir, "stream.out")
    db = os.path.join(runner.out_dir, "groups.db")
    lines = []
    names_row = None
    if names_source:
        names_row = runner.measure(Row(f"-csv_to_json -flat, {names_source['names']} repeated names"),
                                   [telvar, "-src", names_source["path"], "-csv_to_json", "-flat"],
                                   out_file=stream_out, timeout=600)
        if names_row.na:
            lines.append([names_row.name, "n/a", "", "", names_row.na])
        else:
            lines.append([names_row.name, f"{names_row.median:.3f}", "", f"{names_row.peak_kib / 1024:.1f}", ""])
    one_table = []
    for source in sorted(group_sources, key=lambda s: (s["one_title"], s["groups"])):
        count = source["groups"]
        kind = "one table" if source["one_title"] else "a table each"

        def sqlite_check(row, count=count):
            got = stored_rows(db)
            return None if got is not None and got[0] == count else f"stored {got} rows of {count}"

        # One timed run: the largest takes a minute at the most, and the warm-up checks the result.
        rows = [runner.measure(Row(f"-csv_to_sqlite, {count} groups, {kind}"),
                               [telvar, "-src", source["path"], "-csv_to_sqlite", "-dst", db],
                               prepare=lambda: remove(db), check=sqlite_check, timeout=1800, runs=1)]
        if source["one_title"]:
            one_table.append((count, rows[0]))
            rows.append(runner.measure(Row(f"-csv_to_json, {count} groups of one title"),
                                       [telvar, "-src", source["path"], "-csv_to_json"], out_file=stream_out,
                                       timeout=1800, runs=1))
        for row in rows:
            if row.na:
                lines.append([row.name, "n/a", "", "", row.na])
            else:
                lines.append([row.name, f"{row.median:.3f}", f"{row.median * 1000 / count:.3f}",
                              f"{row.peak_kib / 1024:.1f}", "; ".join(row.notes)])
    text = table(["command", "median s", "ms per group", "peak MiB", "notes"], lines)
    return text, names_row, one_table


def verdicts(source, telvar_rows, peers, pipe, pipe_count, names_row=None, one_table=()):
    """One line per target: met, missed (with the figure) or not measured."""
    size = source["bytes"]
    out = []

    def line(target, row, ok, figure):
        if row is None or row.na or row.median is None:
            out.append(f"  n/a    {target}" + (f" ({row.na})" if row is not None and row.na else ""))
        else:
            out.append(f"  {'met ' if ok else 'MISS'}   {target}: {figure}")

    for name in ("-csv_to_html", "-csv_to_json", "-csv_to_json -flat", "-no_whitespace (cleanup)"):
        row = telvar_rows.get(name)
        mbps = size / row.median / MB if row and row.median else 0
        line(f"{name} >= {TARGET_MBPS:.0f} MB/s", row, mbps >= TARGET_MBPS, f"{mbps:.1f} MB/s")
    row = telvar_rows.get("-split_into_files")
    mbps = size / row.median / MB if row and row.median else 0
    line(f"-split_into_files >= {TARGET_MBPS:.0f} MB/s", row, mbps >= TARGET_MBPS, f"{mbps:.1f} MB/s")
    mlr = peers["mlr"]
    for name in ("-csv_to_json", "-csv_to_json -flat"):
        row = telvar_rows.get(name)
        if mlr.median and row and row.median:
            ratio = mlr.median / row.median
            line(f"{name} >= {TARGET_JSON_VS_MILLER:.0f}x Miller", row, ratio >= TARGET_JSON_VS_MILLER, f"{ratio:.2f}x")
        else:
            line(f"{name} >= {TARGET_JSON_VS_MILLER:.0f}x Miller", row if not mlr.na else mlr, False, "")
    duck = peers["duckdb"]
    row = telvar_rows.get("-csv_to_json")
    if duck.median and row and row.median:
        ratio = duck.median / row.median
        line(f"-csv_to_json >= {TARGET_JSON_VS_DUCKDB:.0f}x DuckDB", row, ratio >= TARGET_JSON_VS_DUCKDB, f"{ratio:.2f}x")
    else:
        line(f"-csv_to_json >= {TARGET_JSON_VS_DUCKDB:.0f}x DuckDB", row if not duck.na else duck, False, "")
    row = telvar_rows.get("-csv_to_sqlite")
    imp = peers["import"]
    if imp.median and row and row.median:
        ratio = imp.median / row.median
        line(f"-csv_to_sqlite >= {TARGET_SQLITE_VS_IMPORT}x sqlite3 .import rows/s", row,
             ratio >= TARGET_SQLITE_VS_IMPORT, f"{ratio:.2f}x ({fmt_rate(source['data_rows'] / row.median)} rows/s)")
    else:
        line(f"-csv_to_sqlite >= {TARGET_SQLITE_VS_IMPORT}x sqlite3 .import rows/s", row if not imp.na else imp, False, "")
    scale = "" if size >= (1 << 31) - (1 << 24) else f" (measured on {size / MB:.0f} MB; the target is for 2 GB)"
    for name, row in telvar_rows.items():
        peak = row.peak_kib / 1024
        line(f"{name} peak memory < {TARGET_PEAK_MIB:.0f} MiB{scale}", row, peak < TARGET_PEAK_MIB, f"{peak:.1f} MiB")
    rate = pipe_count / pipe.median if pipe is not None and pipe.median else 0
    if pipe is None:
        pipe = Row("-pipe -csv_to_html")
        pipe.na = "not run: BENCH_PIPE_FILES=0"
    line(f"-pipe -csv_to_html >= {TARGET_PIPE_FILES_PER_S:.0f} files/s", pipe, rate >= TARGET_PIPE_FILES_PER_S,
         f"{rate:.0f} files/s")
    if names_row is not None:
        line(f"repeated names in < {TARGET_REPEATED_NAMES_S:.0f} s", names_row,
             names_row.median is not None and names_row.median < TARGET_REPEATED_NAMES_S,
             f"{names_row.median or 0:.3f} s")
    measured = [(count, row) for count, row in one_table if row.median]
    if len(measured) >= 2:
        (low, low_row), (high, high_row) = measured[0], measured[-1]
        growth = (high_row.median / high) / (low_row.median / low)
        line(f"-csv_to_sqlite into one table: time per group at {high} groups <= {TARGET_GROUP_COST_GROWTH}x "
             f"that at {low}", high_row, growth <= TARGET_GROUP_COST_GROWTH, f"{growth:.2f}x")
    return "\n".join(out)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--telvar", help="the telvar executable (missing: every telvar row is n/a)")
    parser.add_argument("--data", required=True, help="folder of the generated inputs")
    parser.add_argument("--source", required=True, help="the large banner-headed source")
    parser.add_argument("--plain", required=True, help="the same data rows as a plain CSV")
    parser.add_argument("--pipe-dir", help="folder of small sources with names.txt")
    parser.add_argument("--kind", action="append", default=[], help="a further source kind to measure")
    parser.add_argument("--long-cells", help="a source whose cells hold 1 KiB to 1 MiB, through every writer")
    parser.add_argument("--duckdb", help="the DuckDB peer's script (node SCRIPT PLAIN OUT)")
    parser.add_argument("--scale", action="append", default=[],
                        help="a registry source of another size for the scaling table (repeatable)")
    parser.add_argument("--names", help="a source whose header repeats one name many times")
    parser.add_argument("--groups", action="append", default=[],
                        help="a source of many one-row groups (repeatable)")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--only", help="measure only rows whose name matches this regular expression")
    parser.add_argument("--report", help="also write the report to this file")
    args = parser.parse_args(argv)

    runner = Runner(args)
    source = load_source(args.source)
    head = [f"telvar {args.telvar or '(not built)'}; {args.runs} timed runs per row after one warm-up, median;",
            "MB = 10^6 bytes of source (the peers' own plain CSV for Miller and .import); x cat / x wc -l = speed",
            "as a share of that floor on the same file; x peer = peer time / telvar time on the same rows.", ""]
    print("\n".join(head), flush=True)
    report = list(head)

    def emit(text):
        print(text + "\n", flush=True)
        report.append(text + "\n")

    main_text, telvar_rows, peers = main_table(runner, source, args.plain)
    emit(f"== {os.path.basename(source['path'])}: {source['bytes'] / MB:.1f} MB, {source['data_rows']} data rows, "
         f"{source['groups']} groups, separator '{source['separator']}'\n" + main_text)
    if args.scale:
        scale_sources = [load_source(p) for p in args.scale if os.path.abspath(p) != os.path.abspath(args.source)]
        emit("== scaling: time per MB of source and peak memory of every conversion, by source size\n" +
             scaling_table(runner, scale_sources + [source], {source["path"]: telvar_rows}))
    pipe_row, pipe_count = None, 0
    if args.pipe_dir:
        pipe_text, pipe_row, pipe_count = pipe_table(runner, args.pipe_dir)
        emit("== -pipe over small files: " + pipe_text)
    if args.kind:
        emit("== source kinds\n" + kinds_table(runner, [load_source(p) for p in args.kind]))
    if args.long_cells:
        long_source = load_source(args.long_cells)
        emit(f"== long cells: {os.path.basename(long_source['path'])}: {long_source['bytes'] / MB:.1f} MB, "
             f"{long_source['data_rows']} data rows, cells of 1 KiB to 1 MiB\n" + long_cells_table(runner, long_source))
    names_row, one_table = None, []
    if args.names or args.groups:
        many_text, names_row, one_table = many_table(runner, load_source(args.names) if args.names else None,
                                                     [load_source(p) for p in args.groups])
        emit("== many names and groups\n" + many_text)
    emit("== targets\n" + verdicts(source, telvar_rows, peers, pipe_row, pipe_count, names_row, one_table))
    if args.report:
        with open(args.report, "w") as f:
            f.write("\n".join(report))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
