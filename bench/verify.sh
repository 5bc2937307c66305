#!/usr/bin/env bash
# Verification speed against reading the same files, measured in the same run and
# printed as ratios (never asserted): `vantrel image verify` of an image of the bench
# corpus, as type 2 (version 2 archives in parts) and type 5 (one version 5 archive in
# part files), against `cat` of every file of that image to /dev/null. A verification
# reads each archive and part once and decompresses every block, so reading alone is
# the bound it is held to.
#
#   bench/verify.sh [work folder]        (default: a folder under /tmp)
#
# Corpus: that of bench/capture.sh. Times are hyperfine means with the files in the
# page cache for both commands. VANTREL may name the program; otherwise the release
# build is used.
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/bench/corpus.sh"
work=${1:-/tmp/vantrel-bench}
runs=${RUNS:-3}
bench_require verify.sh hyperfine perl
bench_program

volume="$work/volume"
make_small_corpus "$volume"
make_big_corpus "$volume/big"

disks="$work/verify-disks.xml"
bench_disks "$disks" "$volume"

export VANTREL_LOG="$work/verify.log"
images="$work/verify-images"
rm -rf "$images"
for type in 2 5; do
  mkdir -p "$images/type$type"
  "$VANTREL" --quiet image create --disk 0 --disks "$disks" --target "$images/type$type" --type "$type" \
    --split-size 650 >/dev/null
  "$VANTREL" --quiet image verify "$images/type$type" >/dev/null ||
    { echo "verify.sh: the type $type image does not verify" >&2; exit 1; }
done

printf '%-28s %10s %12s %10s %10s %8s\n' "measure ($runs runs)" "image MiB" "verify s" "cat s" "MB/s" "ratio"
for type in 2 5; do
  dir="$images/type$type"
  bytes=$(find "$dir" -type f -printf '%s\n' | awk '{ s += $1 } END { print s }')
  tv=$(bench_mean "$VANTREL --quiet image verify $dir")
  tc=$(bench_mean "find $dir -type f -exec cat {} + > /dev/null")
  printf '%-28s %10d %12.3f %10.3f %10.1f %8s\n' "type $type verify vs cat" "$((bytes >> 20))" "$tv" "$tc" \
    "$(awk -v b="$bytes" -v s="$tv" 'BEGIN { print b / s / 1048576 }')" "$(bench_ratio "$tv" "$tc")"
done
rm -rf "$images" "$VANTREL_LOG"
