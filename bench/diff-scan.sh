#!/usr/bin/env bash
# Differential scan speed against a peer measured in the same run, printed as a ratio
# (never asserted): `vantrel image diff` of a 100,000-file tree that has not changed since
# its reference image, against `find TREE -printf '%s %T@\n'` of the same tree; then the
# time of a set after 1 % of the files changed.
#
#   bench/diff-scan.sh [work folder]        (default: a folder under /tmp)
#
# Corpus: the small files of bench/corpus.sh. Times are hyperfine means. VANTREL may name
# the program; otherwise the release build is used.
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/bench/corpus.sh"
work=${1:-/tmp/vantrel-bench}
runs=${RUNS:-3}
bench_require diff-scan.sh hyperfine perl
bench_program

tree="$work/small"
make_small_corpus "$tree"
disks="$work/diff-disks.xml"
bench_disks "$disks" "$tree"
images="$work/diff-images"
rm -rf "$images"; mkdir -p "$images"
export VANTREL_LOG="$work/diff.log"
"$VANTREL" -q image create --disk 0 --disks "$disks" --target "$images" --type 5
reference="$images/PRELOAD/DISK0/PART1"
set="$work/diff-set"

scan=$(bench_mean --prepare "rm -rf $set" "$VANTREL -q image diff --drive B=$tree --reference $reference --target $set")
peer=$(bench_mean "find $tree -printf '%s %T@\n' > /dev/null")

# 1 % of the files change size; the set stores them.
find "$tree" -name 'f1?.txt' -path '*/d*' | head -n 1000 | while read -r file; do echo more >> "$file"; done
changed=$(bench_mean --prepare "rm -rf $set" "$VANTREL -q image diff --drive B=$tree --reference $reference --target $set")
rm -rf "$images" "$set" "$VANTREL_LOG"
# The tree is made anew next time, unchanged.
rm -f "$tree/.done"

printf '%-44s %10s %10s %12s\n' "measure ($runs runs, 100,000 files)" "vantrel s" "peer s" "ratio"
printf '%-44s %10.2f %10.2f %12s   (target <= 1.5)\n' "scan without changes vs find -printf" "$scan" "$peer" \
  "$(awk -v a="$scan" -v b="$peer" 'BEGIN { printf "%.2f", a / b }')"
printf '%-44s %10.2f\n' "set with 1 % of the files changed" "$changed"
