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
mkdir -p "$out/html" "$out/json" "$out/cleanup" || exit 1

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

# JSON: one document per sample, and one record per line with -flat.
for source in samples/*.csv; do
  name=$(basename "$source" .csv)
  if "$telvar" -src "$source" -dst "$out/json/$name.json" -csv_to_json -quiet &&
     "$telvar" -src "$source" -dst "$out/json/$name.flat.json" -csv_to_json -flat -quiet; then
    echo "  $source -> $out/json/$name.json, $out/json/$name.flat.json"
  else
    echo "prob converting $source to json" >&2
    failed=1
  fi
done

# Cleaned-up copies: blanks trimmed, columns aligned, "|" between the fields.
for source in samples/*.csv; do
  name=$(basename "$source" .csv)
  if "$telvar" -src "$source" -dst "$out/cleanup/$name.csv" -align_cols -change_csv_separator "|" -quiet; then
    echo "  $source -> $out/cleanup/$name.csv"
  else
    echo "prob cleaning up $source" >&2
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

# All samples into one database (made anew), then its tables back out as CSV files.
rm -f "$out/case.db"
if ls samples/*.csv | "$telvar" -pipe -dst "$out/case.db" -csv_to_sqlite -quiet &&
   "$telvar" -src "$out/case.db" -dst "$out/tables" -artifact_tables -quiet; then
  echo "  samples/*.csv piped -> $out/case.db -> $out/tables/"
else
  echo "prob converting the samples into $out/case.db" >&2
  failed=1
fi

# The same list split into one CSV file per group of like records. Split files take the rows
# of later runs too, so the folder of an earlier demo goes first.
rm -rf "$out/split"
if ls samples/*.csv | "$telvar" -pipe -dst "$out/split" -split_into_files -quiet; then
  echo "  samples/*.csv split -> $out/split/"
else
  echo "prob splitting the piped list" >&2
  failed=1
fi

echo "HTML and JSON documents, cleaned-up copies, the database, its tables and split files are in $(cd "$out" && pwd)"
exit $failed
