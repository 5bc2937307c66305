#!/usr/bin/env bash
# Runs the archive fuzz target once per archive version, each from the seed archive the
# tests write for that version, for the given seconds each. A finding stops the run
# with a nonzero status and leaves its input in the corpus folder's crash file.
#   scripts/fuzz-archive.sh FUZZER TESTS SECONDS
set -euo pipefail

fuzzer=$1 tests=$2 seconds=$3
top=$(cd "$(dirname "$0")/.." && pwd)
corpus="$top/build/fuzz-corpus"
seeds="$corpus/seeds"
mkdir -p "$seeds"
VANTREL_FUZZ_SEEDS="$seeds" "$tests" --gtest_filter='FuzzSeeds.*' --gtest_brief=1 >/dev/null
for version in 1 2 5 6; do
  dir="$corpus/v$version"
  mkdir -p "$dir"
  cp "$seeds/seed-v$version" "$dir/"
  echo "fuzz: version $version for ${seconds}s"
  log="$corpus/v$version.log"
  if ! "$fuzzer" "$dir" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
      -artifact_prefix="$corpus/crash-v$version-" >"$log" 2>&1; then
    tail -n 30 "$log" >&2
    echo "fuzz: finding for version $version (see $log)" >&2
    exit 1
  fi
  grep -E '^(#[0-9]+.*DONE|Done)' "$log" | tail -n 1 || true
done
