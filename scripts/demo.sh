#!/bin/sh
# Converts every sample CSV into out/ with the telvar given as the first argument
# (default build/telvar) and says where the results are. Run from the repository root
# (`make demo` does, after installing what is missing and building).
set -u

telvar=${1:-build/telvar}
out=out
if [ ! -x "$telvar" ]; then
  echo "prob finding $telvar: build it first (make build)" >&2
  exit 1
fi
mkdir -p "$out/html" || exit 1

failed=0
for source in samples/*.csv; do
  name=$(basename "$source" .csv)
  if "$telvar" -src "$source" -dst "$out/html/$name.html" -csv_to_html -quiet; then
    echo "  $source -> $out/html/$name.html"
  else
    echo "prob converting $source" >&2
    failed=1
  fi
done

# The same sources as one list on standard input, one document per name.
if ls samples/*.csv | "$telvar" -pipe -dst "$out/pipe" -csv_to_html -quiet; then
  echo "  samples/*.csv piped -> $out/pipe/"
else
  echo "prob converting the piped list" >&2
  failed=1
fi

echo "HTML results are in $(cd "$out" && pwd)"
exit $failed
