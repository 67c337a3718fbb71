#!/bin/sh
# Installs what telvar needs to build and test, only where it is missing.
set -eu

need=""
command -v cmake >/dev/null 2>&1 || need="$need cmake"
command -v g++ >/dev/null 2>&1 || need="$need g++"
command -v make >/dev/null 2>&1 || need="$need make"
command -v pkg-config >/dev/null 2>&1 || need="$need pkg-config"
command -v python3 >/dev/null 2>&1 || need="$need python3"
pkg-config --exists sqlite3 2>/dev/null || need="$need libsqlite3-dev"
[ -f /usr/include/gtest/gtest.h ] || need="$need libgtest-dev"
command -v sqlite3 >/dev/null 2>&1 || need="$need sqlite3"

for extra in "$@"; do
  case "$extra" in
    bench)
      [ -f /usr/include/benchmark/benchmark.h ] || need="$need libbenchmark-dev"
      command -v mlr >/dev/null 2>&1 || need="$need miller"
      [ -x /usr/bin/time ] || need="$need time"
      ;;
  esac
done

[ -z "$need" ] && exit 0

echo "installing:$need" >&2
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q </dev/null
# shellcheck disable=SC2086
$sudo apt-get install -y -q --no-install-recommends $need </dev/null
