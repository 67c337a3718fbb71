#!/usr/bin/env bash
# telvar's speed and scale, measured side by side with the peers on the same files.
#
#   bench/run.sh                 build, make the inputs when missing, time, print the table
#   bench/run.sh micro [filter]  build and run the Google Benchmark micro-benchmarks
#   bench/run.sh crash           kill -9 a 1 GiB -csv_to_sqlite at 20 random moments, check each database
#   bench/run.sh profile OPTION...  perf profile of one conversion of the large source (own
#                                time and time with callees), e.g. profile -csv_to_json -flat
#
# Settings (environment): BENCH_SIZE (large source, default 128M; 2G for the full-scale run),
# BENCH_KIND_SIZE (each further source kind, default 32M; 0 leaves them out), BENCH_LONG_SIZE
# (the source of 1 KiB to 1 MiB cells, run through every writer, default 64M; 0 leaves it out), BENCH_RUNS
# (timed runs per row, default 5), BENCH_PIPE_FILES (small files for -pipe, default 10000;
# 0 leaves the row out), BENCH_ONLY (regular expression: measure only the rows it matches),
# BENCH_DATA (inputs and scratch, default bench/data), BENCH_BUILD (build folder, default
# build), TELVAR (an executable to measure instead of building one), BENCH_SCALE_SIZES (sizes
# of the scaling table, default "1M 16M 128M 1G", the large source's size added; "0" leaves it
# out), BENCH_DUCKDB (0: no DuckDB peer), BENCH_NAMES (equal names in one header row, default
# 64000; 0 leaves the row out), BENCH_GROUPS (group counts of the many-groups rows, default
# "5000 20000"; 0 leaves them out), JOBS (parallel compile jobs, default one per core).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

size=${BENCH_SIZE:-128M}
kind_size=${BENCH_KIND_SIZE:-32M}
long_size=${BENCH_LONG_SIZE:-64M}
runs=${BENCH_RUNS:-5}
pipe_files=${BENCH_PIPE_FILES:-10000}
data=${BENCH_DATA:-$root/bench/data}
build=${BENCH_BUILD:-$root/build}
jobs=${JOBS:-$(nproc 2>/dev/null || echo 2)}
mode=${1:-table}
scale_sizes=${BENCH_SCALE_SIZES:-1M 16M 128M 1G}
names=${BENCH_NAMES:-64000}
group_counts=${BENCH_GROUPS:-5000 20000}

say() { printf '%s\n' "$*" >&2; }

sh scripts/install-deps.sh bench

# RelWithDebInfo: the optimised code, with the symbols a profile needs; warnings as errors, as
# the Makefile configures build/, so that neither run compiles again what the other built.
build_telvar() {
  if [ -n "${TELVAR:-}" ]; then
    return
  fi
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTELVAR_WERROR=ON >/dev/null
  if [ -f tool/main.cpp ]; then
    cmake --build "$build" -j "$jobs" --target telvar
    TELVAR=$build/telvar
  else
    say "bench: tool/main.cpp is not on this branch yet; telvar rows will show n/a"
    TELVAR=
  fi
}

# make_source KIND SIZE NAME [plain]: the generator runs only when the file (and its
# metadata, written last) is missing.
make_source() {
  local kind=$1 bytes=$2 name=$3 plain=${4:-}
  local path=$data/$name.csv
  if [ -f "$path.meta.json" ] && { [ -z "$plain" ] || [ -f "$data/$name.plain.csv" ]; }; then
    return
  fi
  say "bench: generating $path ($bytes)"
  if [ -n "$plain" ]; then
    python3 bench/gen_csv.py file "$kind" "$bytes" "$path" --plain "$data/$name.plain.csv" >/dev/null
  else
    python3 bench/gen_csv.py file "$kind" "$bytes" "$path" >/dev/null
  fi
}

# The DuckDB peer: its Node.js package (which ships the library) in a folder of the build,
# never system-wide; the script sits next to node_modules so that its import finds it.
install_duckdb() {
  local dir=$build/duckdb
  DUCKDB_SCRIPT=
  [ "${BENCH_DUCKDB:-1}" != 0 ] || return 0
  if ! command -v node >/dev/null 2>&1 || ! command -v npm >/dev/null 2>&1; then
    say "bench: node or npm is missing; the DuckDB row shows n/a"
    return 0
  fi
  if [ ! -d "$dir/node_modules/@duckdb/node-api" ]; then
    mkdir -p "$dir"
    say "bench: installing @duckdb/node-api into $dir"
    [ -f "$dir/package.json" ] || printf '{ "private": true }\n' >"$dir/package.json"
    npm install --prefix "$dir" --no-audit --no-fund --silent @duckdb/node-api >&2 ||
      { say "bench: npm install of @duckdb/node-api failed; the DuckDB row shows n/a"; return 0; }
  fi
  cp bench/duckdb_to_json.mjs "$dir/"
  DUCKDB_SCRIPT=$dir/duckdb_to_json.mjs
}

mkdir -p "$data"
case "$mode" in
  micro)
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTELVAR_WERROR=ON >/dev/null
    cmake --build "$build" -j "$jobs"
    for program in "$build"/bench/*_bench; do
      [ -x "$program" ] || continue
      say "== $(basename "$program")"
      "$program" ${2:+--benchmark_filter="$2"}
    done
    exit 0
    ;;
  profile)
    shift
    [ $# -gt 0 ] || { say "prob: profile needs the conversion's options, e.g. -csv_to_json"; exit 2; }
    build_telvar
    [ -n "$TELVAR" ] || { say "prob: no telvar to profile"; exit 1; }
    command -v perf >/dev/null 2>&1 || { say "prob: perf is missing (Debian package linux-perf)"; exit 1; }
    make_source registry "$size" "registry_$size" plain
    out=$data/out
    mkdir -p "$out"
    rm -rf "$out/profile.db" "$out/profile-split"
    args=("$@")
    case " $* " in
      *" -csv_to_sqlite "*) args+=(-dst "$out/profile.db") ;;
      *" -split_into_files "*) args+=(-dst "$out/profile-split") ;;
    esac
    # The build keeps no frame pointers: call chains come from the stack copies (dwarf).
    perf record -q --call-graph dwarf,16384 -o "$out/perf.data" -- \
      "$TELVAR" -src "$data/registry_$size.csv" "${args[@]}" >/dev/null 2>"$out/profile-stderr.txt"
    say "== own time"
    perf report -i "$out/perf.data" --no-children --percent-limit 1 --stdio -g none --sort symbol \
      2>/dev/null | grep -v -e "^#" -e "^$" | cut -c1-150 | head -30
    say "== with callees (perf report -i $out/perf.data for the call chains)"
    perf report -i "$out/perf.data" --children --percent-limit 3 --stdio -g none --sort symbol \
      2>/dev/null | grep -v -e "^#" -e "^$" | cut -c1-150 | head -40
    exit 0
    ;;
  crash)
    # kill -9 at 20 random moments of a conversion of the 1 GiB source (BENCH_CRASH_SIZE),
    # then the consistency checks of bench/crash_check.py on every database left.
    build_telvar
    [ -n "$TELVAR" ] || { say "prob: no telvar to test"; exit 1; }
    crash_size=${BENCH_CRASH_SIZE:-1G}
    make_source registry "$crash_size" "registry_$crash_size"
    exec python3 bench/crash_check.py --telvar "$TELVAR" --source "$data/registry_$crash_size.csv" \
      --kills "${BENCH_CRASH_KILLS:-20}"
    ;;
  table) ;;
  *) say "prob: unknown mode $mode (table, micro, profile or crash)"; exit 2 ;;
esac

build_telvar
make_source registry "$size" "registry_$size" plain
measure_args=(--data "$data" --source "$data/registry_$size.csv" --plain "$data/registry_$size.plain.csv"
              --runs "$runs" --report "$data/last-report.txt")
[ -n "$TELVAR" ] && measure_args+=(--telvar "$TELVAR")
[ -n "${BENCH_ONLY:-}" ] && measure_args+=(--only "$BENCH_ONLY")
install_duckdb
[ -n "$DUCKDB_SCRIPT" ] && measure_args+=(--duckdb "$DUCKDB_SCRIPT")
if [ "$scale_sizes" != 0 ]; then
  for scale in $scale_sizes; do
    [ "$scale" = "$size" ] && continue
    make_source registry "$scale" "registry_$scale"
    measure_args+=(--scale "$data/registry_$scale.csv")
  done
fi
if [ "$pipe_files" != 0 ]; then
  pipe_dir=$data/pipe_$pipe_files
  if [ ! -f "$pipe_dir/names.txt" ]; then
    say "bench: generating $pipe_files small sources in $pipe_dir"
    rm -rf "$pipe_dir"
    python3 bench/gen_csv.py pipe "$pipe_files" "$pipe_dir" >/dev/null
  fi
  measure_args+=(--pipe-dir "$pipe_dir")
fi
if [ "$kind_size" != 0 ]; then
  for kind in etl evt_utf16 lnk bodyfile; do
    make_source "$kind" "$kind_size" "${kind}_$kind_size"
    measure_args+=(--kind "$data/${kind}_$kind_size.csv")
  done
fi
if [ "$long_size" != 0 ]; then
  make_source long_cells "$long_size" "long_cells_$long_size"
  measure_args+=(--long-cells "$data/long_cells_$long_size.csv")
fi
if [ "$names" != 0 ]; then
  if [ ! -f "$data/names_$names.csv.meta.json" ]; then
    python3 bench/gen_csv.py names "$names" "$data/names_$names.csv" >/dev/null
  fi
  measure_args+=(--names "$data/names_$names.csv")
fi
if [ "$group_counts" != 0 ]; then
  for count in $group_counts; do
    for layout in own one; do
      path=$data/groups_${layout}_$count.csv
      if [ ! -f "$path.meta.json" ]; then
        if [ "$layout" = one ]; then
          python3 bench/gen_csv.py groups "$count" "$path" --one-title >/dev/null
        else
          python3 bench/gen_csv.py groups "$count" "$path" >/dev/null
        fi
      fi
      measure_args+=(--groups "$path")
    done
  done
fi
python3 bench/measure.py "${measure_args[@]}"
say "bench: report written to $data/last-report.txt"
