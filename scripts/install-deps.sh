#!/bin/sh
# Installs what telvar needs, only where it is missing (Debian packages, apt-get).
#
#   install-deps.sh demo    what building telvar alone needs: compiler, make, CMake, SQLite
#   install-deps.sh         that and what the tests need (GoogleTest, the sqlite3 shell, Python,
#                           the zone database, the Sleuth Kit and e2fsprogs for the
#                           timeline references)
#   install-deps.sh bench   that and what the benchmarks need
#   install-deps.sh fuzz    what building telvar needs, and clang with libFuzzer and a JSON library
#
# Installs as root, or through sudo. Without either it says which packages are missing and the
# command an administrator runs, and ends with status 1.
set -eu

set_name=${1:-check}
need=""
missing() { need="$need $1"; }

command -v cmake >/dev/null 2>&1 || missing cmake
command -v g++ >/dev/null 2>&1 || missing g++
command -v make >/dev/null 2>&1 || missing make
[ -f /usr/include/sqlite3.h ] || missing libsqlite3-dev

case "$set_name" in
  demo) ;;
  check | bench)
    command -v python3 >/dev/null 2>&1 || missing python3
    [ -f /usr/include/gtest/gtest.h ] || missing libgtest-dev
    command -v sqlite3 >/dev/null 2>&1 || missing sqlite3
    # The time-zone tests compare with the zone database through zdump.
    [ -f /usr/share/zoneinfo/Europe/Berlin ] || missing tzdata
    { command -v fls >/dev/null 2>&1 && command -v mactime >/dev/null 2>&1; } || missing sleuthkit
    command -v mke2fs >/dev/null 2>&1 || [ -x /sbin/mke2fs ] || missing e2fsprogs
    if [ "$set_name" = bench ]; then
      [ -f /usr/include/benchmark/benchmark.h ] || missing libbenchmark-dev
      command -v mlr >/dev/null 2>&1 || missing miller
      [ -x /usr/bin/time ] || missing time
    fi
    ;;
  fuzz)
    command -v clang++ >/dev/null 2>&1 || missing clang
    [ -n "$(find /usr/lib -name 'libclang_rt.fuzzer-x86_64.a' 2>/dev/null | head -1)" ] || missing libclang-rt-14-dev
    [ -f /usr/include/nlohmann/json.hpp ] || missing nlohmann-json3-dev
    ;;
  *)
    echo "prob: unknown set $set_name (demo, check, bench or fuzz)" >&2
    exit 2
    ;;
esac

[ -z "$need" ] && exit 0

command_line="apt-get update && apt-get install -y --no-install-recommends$need"
ask_administrator() {
  echo "prob installing what telvar needs: $1" >&2
  echo "missing packages:$need" >&2
  echo "an administrator installs them with:" >&2
  echo "  $command_line" >&2
  exit 1
}

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null 2>&1 || ask_administrator "not run as root, and sudo is not installed"
  sudo="sudo"
fi
command -v apt-get >/dev/null 2>&1 || ask_administrator "apt-get is not installed"

echo "installing:$need" >&2
export DEBIAN_FRONTEND=noninteractive
# shellcheck disable=SC2086
if ! { $sudo apt-get update -q </dev/null && $sudo apt-get install -y -q --no-install-recommends $need </dev/null; }; then
  ask_administrator "apt-get failed"
fi
