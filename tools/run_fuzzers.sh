#!/bin/sh
# Runs every libFuzzer binary in BIN_DIR for SECONDS, seeded with its corpus in
# CORPUS_DIR/<name>. A session's new inputs land in a scratch folder; once it
# ends cleanly, those that reach code the corpus does not yet reach are merged
# into CORPUS_DIR/<name> (set FUZZ_KEEP=0 to leave the corpus as it is).
set -eu
bin_dir=$1
corpus_dir=$2
seconds=${3:-10}
keep=${FUZZ_KEEP:-1}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
status=0
for fuzzer in "$bin_dir"/fuzz_*; do
  [ -x "$fuzzer" ] || continue
  name=$(basename "$fuzzer")
  mkdir -p "$scratch/$name" "$corpus_dir/$name"
  echo "fuzz: $name for ${seconds}s"
  if ! "$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
       -artifact_prefix="$scratch/$name-" "$scratch/$name" "$corpus_dir/$name" \
       >"$scratch/$name.log" 2>&1; then
    tail -n 40 "$scratch/$name.log"
    for artifact in "$scratch/$name"-*; do
      [ -e "$artifact" ] && echo "crashing input: $artifact (base64 below)" && base64 "$artifact" | head -c 4000
    done
    status=1
    continue
  fi
  grep -E 'stat::number_of_executed_units|Done' "$scratch/$name.log" | tail -n 2 || true
  [ "$keep" = 1 ] || continue
  before=$(find "$corpus_dir/$name" -type f | wc -l)
  if "$fuzzer" -merge=1 -timeout=10 -rss_limit_mb=2048 "$corpus_dir/$name" "$scratch/$name" \
       >"$scratch/$name.merge.log" 2>&1; then
    after=$(find "$corpus_dir/$name" -type f | wc -l)
    echo "fuzz: $name keeps $((after - before)) new input(s) in $corpus_dir/$name"
  else
    tail -n 20 "$scratch/$name.merge.log"
    status=1
  fi
done
exit $status
