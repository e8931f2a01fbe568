#!/bin/bash
# Runs every libFuzzer binary in BIN_DIR for SECONDS, seeded with its corpus in
# CORPUS_DIR/<name>, FUZZ_JOBS of them at a time (default: one per core). A
# session's new inputs land in a scratch folder; once it ends cleanly, those
# that reach code the corpus does not yet reach are merged into
# CORPUS_DIR/<name> (set FUZZ_KEEP=0 to leave the corpus as it is).
set -eu
bin_dir=$1
corpus_dir=$2
seconds=${3:-10}
keep=${FUZZ_KEEP:-1}
jobs=${FUZZ_JOBS:-$(nproc)}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# One target's session and merge.
fuzz_one() {
  local fuzzer=$1 name
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
    return 1
  fi
  grep -E 'stat::number_of_executed_units|Done' "$scratch/$name.log" | tail -n 2 || true
  [ "$keep" = 1 ] || return 0
  local before after
  before=$(find "$corpus_dir/$name" -type f | wc -l)
  if ! "$fuzzer" -merge=1 -timeout=10 -rss_limit_mb=2048 "$corpus_dir/$name" "$scratch/$name" \
       >"$scratch/$name.merge.log" 2>&1; then
    tail -n 20 "$scratch/$name.merge.log"
    return 1
  fi
  after=$(find "$corpus_dir/$name" -type f | wc -l)
  echo "fuzz: $name keeps $((after - before)) new input(s) in $corpus_dir/$name"
}

# fuzz_one with its output in $scratch/<name>.out and its status in .status.
fuzz_in_background() {
  if fuzz_one "$1" >"$scratch/$2.out" 2>&1; then echo 0; else echo 1; fi >"$scratch/$2.status"
}

names=()
for fuzzer in "$bin_dir"/fuzz_*; do
  [ -x "$fuzzer" ] || continue
  name=$(basename "$fuzzer")
  names+=("$name")
  # A session is CPU-bound: no more at once than there are cores.
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n || true; done
  fuzz_in_background "$fuzzer" "$name" &
done
wait
status=0
for name in "${names[@]}"; do
  cat "$scratch/$name.out"
  [ "$(cat "$scratch/$name.status" 2>/dev/null)" = 0 ] || status=1
done
exit $status
