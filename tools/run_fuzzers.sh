#!/bin/sh
# Runs every libFuzzer binary in BIN_DIR for SECONDS, seeded with its corpus in
# CORPUS_DIR/<name>. New inputs go to a scratch folder, never into the tree.
set -eu
bin_dir=$1
corpus_dir=$2
seconds=${3:-10}
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
  else
    grep -E 'stat::number_of_executed_units|Done' "$scratch/$name.log" | tail -n 2 || true
  fi
done
exit $status
