#!/usr/bin/env bash
# Runs the archive fuzz targets once per archive version for the given seconds each:
# the reader walk in memory (fast) on the corpus kept in the repository, fuzz/corpus/v<n>,
# which keeps what each run finds, so the next one starts there; then the extraction to
# disk (slow) on a copy of it. The seeds the tests write join the corpus first. A finding
# stops the run with a nonzero status and leaves its input in build/fuzz-corpus.
#   scripts/fuzz-archive.sh WALK_FUZZER EXTRACT_FUZZER TESTS SECONDS
set -euo pipefail

walk=$1 extract=$2 tests=$3 seconds=$4
# Every run puts its archive (and the extraction its tree) in a scratch folder under
# TMPDIR: on a tmpfs no run waits for the disk (ext4 writes a file back when it is cut to
# nothing and closed, which took a third of each reader run).
if [ -d /dev/shm ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi
top=$(cd "$(dirname "$0")/.." && pwd)
work="$top/build/fuzz-corpus"
seeds="$work/seeds"
mkdir -p "$seeds"
VANTREL_FUZZ_SEEDS="$seeds" "$tests" --gtest_filter='FuzzSeeds.*' --gtest_brief=1 >/dev/null

run() {  # name fuzzer corpus version
  local log="$work/$1-v$4.log"
  echo "fuzz: $1, version $4 for ${seconds}s"
  if ! "$2" "$3" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
      -artifact_prefix="$work/crash-$1-v$4-" >"$log" 2>&1; then
    tail -n 30 "$log" >&2
    echo "fuzz: finding in $1 for version $4 (see $log)" >&2
    exit 1
  fi
  grep -E '^(#[0-9]+.*DONE|Done)' "$log" | tail -n 1 || true
}

for version in 1 2 5 6; do
  corpus="$top/fuzz/corpus/v$version"
  mkdir -p "$corpus" "$work/v$version"
  # A seed already kept is left as it is: the tests write it anew with fresh times.
  cp -n "$seeds/seed-v$version" "$corpus/"
  run walk "$walk" "$corpus" "$version"
  cp "$corpus"/* "$work/v$version/"
  run extract "$extract" "$work/v$version" "$version"
done
