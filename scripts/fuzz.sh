#!/usr/bin/env bash
# Runs every libFuzzer target of a clang build for a bounded time, seeded with real inputs:
# the sample database's files (their Stat data, descriptions, schemas and records), the
# bundled dictionaries and settings files, and filter texts. A crash, leak or sanitizer report
# fails the run and leaves the input that caused it in the build tree's fuzz/ folder.
#   scripts/fuzz.sh [BUILD_DIR] [SECONDS_PER_TARGET]     (defaults: build-asan 45)
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
build="$(cd "${1:-build-asan}" && pwd)"
seconds="${2:-45}"
bin="$build/bin"
work="$build/fuzz-run"
rm -rf "$work"
mkdir -p "$work"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp"

seeds() { mkdir -p "$work/$1"; echo "$work/$1"; }

# The sample database: Stat data of each file for the Create-buffer parser; descriptions,
# table schemas and the first records in sequential form for the text parsers.
sample="$bin/sample"
stat="$(seeds microkernel_fuzz)"
"$bin/stat_seeds" "$stat" "$sample"/*.BTR "$sample"/*.DDF
text="$(seeds description_fuzz)"
for file in "$sample"/*.BTR; do
  name="$(basename "$file" .BTR)"
  "$bin/vbutil" describe "$file" > "$text/describe-$name"
  "$bin/vbutil" save "$file" | head -c 2000 > "$text/records-$name" || true
done
"$bin/vbutil" ddf list "$sample" | while read -r _ table _; do
  "$bin/vbutil" ddf describe "$sample" "$table" > "$text/schema-$table" 2>/dev/null || true
done
# Dictionaries and settings files.
dictionaries="$(seeds dictionary_fuzz)"
cp "$root"/app/lang/*.txt "$root"/fuzz/seeds/settings/* "$dictionaries/"
# Filter texts, and the expression buffers they compile to for the evaluator.
filters="$(seeds filter_text_fuzz)"
cp "$root"/fuzz/seeds/filter-texts/* "$filters/"
expressions="$(seeds filter_expression_fuzz)"
VADER_FUZZ_EXPRESSION_SEEDS="$expressions" "$bin/filter_text_fuzz" -runs=0 "$filters" \
  > "$work/expression-seeds.log" 2>&1
# Real Btrieve files written by real engines, for the reader of such files.
legacy="$(seeds legacy_file_fuzz)"
cp "$root"/tests/legacy/data/*.DAT "$legacy/"

# Statements of the relational engine: the UPDATE forms it reads itself, and others.
updates="$(seeds update_text_fuzz)"
cp "$root"/fuzz/seeds/update-texts/* "$updates/"

status=0
for target in microkernel_fuzz description_fuzz dictionary_fuzz filter_text_fuzz \
              filter_expression_fuzz legacy_file_fuzz update_text_fuzz; do
  corpus="$work/$target"
  echo "fuzz: $target for ${seconds}s on $(ls "$corpus" | wc -l) seeds"
  if ! (cd "$work" && "$bin/$target" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
          -print_final_stats=1 -artifact_prefix="$work/$target-" "$corpus" \
          > "$work/$target.log" 2>&1); then
    echo "fuzz: $target FAILED; its log:" >&2
    tail -60 "$work/$target.log" >&2
    status=1
  else
    grep -E '^stat::number_of_executed_units|^Done' "$work/$target.log" | tr '\n' ' ' || true
    echo
  fi
done
exit $status
