#!/bin/sh
# make fuzz: builds the libFuzzer targets of fuzz/ with clang (build-fuzz/) and runs each for
# FUZZ_SECONDS (default 60) over its corpus, which starts from the samples and the test
# fixtures, with the banner dictionary. A crash, leak, timeout (over 2 s for one input), memory
# blow-up or failed invariant leaves its input in build-fuzz/crashes/<target>/ and ends the run
# non-zero. Ends with "fuzz: N targets, M crashes".
set -u
seconds=${FUZZ_SECONDS:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build-fuzz
# Parallel compile jobs: JOBS (as make passes it), else one per core.
jobs=${JOBS:-$(nproc 2>/dev/null || echo 2)}

command -v clang++ >/dev/null 2>&1 || { echo "prob: make fuzz needs clang (scripts/install-deps.sh fuzz)" >&2; exit 1; }
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTELVAR_FUZZ=ON \
  -DTELVAR_TESTS=OFF >/dev/null || exit 1
cmake --build "$build" -j "$jobs" >/dev/null || { echo "prob building the fuzz targets" >&2; exit 1; }

targets=0
crashes=0
for program in "$build"/fuzz/*_fuzz; do
  [ -x "$program" ] || continue
  name=$(basename "$program")
  corpus=$build/corpus/$name
  found=$build/crashes/$name
  mkdir -p "$corpus" "$found"
  # Seeds, once (the corpus keeps what the fuzzer adds): every sample and fixture; for the
  # database readers the databases telvar writes of the samples.
  max_len=65536
  find "$root/samples" "$root/tests/e2e/fixtures" -type f -name '*.csv' | while read -r seed; do
    target=$corpus/seed_$(printf '%s' "$seed" | cksum | cut -d' ' -f1)
    [ -e "$target" ] && continue
    if [ "$name" = database_reader_fuzz ]; then
      "$build/telvar" -src "$seed" -dst "$target" -csv_to_sqlite -quiet >/dev/null 2>&1 || rm -f "$target"
    else
      cp "$seed" "$target"
    fi
  done
  [ "$name" = database_reader_fuzz ] && max_len=262144
  log=$build/$name.log
  "$program" -max_total_time="$seconds" -timeout=2 -rss_limit_mb=2048 -max_len=$max_len \
    -dict="$root/fuzz/csv.dict" -artifact_prefix="$found/" -print_final_stats=1 "$corpus" >"$log" 2>&1
  status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  left=$(find "$found" -type f | wc -l)
  targets=$((targets + 1))
  if [ "$status" -ne 0 ] || [ "$left" -ne 0 ]; then
    crashes=$((crashes + 1))
    echo "$name: FAILED after ${runs:-?} runs (status $status); inputs in $found, log $log"
    grep -m 3 -E "invariant failed|ERROR: |SUMMARY" "$log"
  else
    echo "$name: ${runs:-?} runs, ${rate:-?} per second, no crash"
  fi
done
echo "fuzz: $targets targets, $crashes crashes"
[ "$crashes" -eq 0 ]
