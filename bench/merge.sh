#!/usr/bin/env bash
# Merge speed against a peer measured in the same run, printed as a ratio (never
# asserted): `vantrel image merge` of two differential sets holding the big corpus twice
# (1 GiB before compression), against `cp -r` of the same set folders. The merge copies
# the stored blocks without recompressing them, so the target is a ratio of at least 0.8.
#
#   bench/merge.sh [work folder]        (default: a folder under /tmp)
#
# Corpus: the big files of bench/corpus.sh. Times are hyperfine means; the sets are put
# back before every run (not timed). VANTREL may name the program; otherwise the release
# build is used.
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/bench/corpus.sh"
work=${1:-/tmp/vantrel-bench}
runs=${RUNS:-3}
bench_require merge.sh hyperfine perl
bench_program

corpus="$work/big"
make_big_corpus "$corpus"
volume="$work/merge-volume"
base="$work/merge-base"
pristine="$work/merge-pristine"
sets="$work/merge-sets"
copy="$work/merge-copy"
rm -rf "$volume" "$base" "$pristine" "$sets" "$copy"
mkdir -p "$volume" "$pristine"
export VANTREL_LOG="$work/merge.log"

# An empty volume as the base image, then one set per copy of the corpus.
"$VANTREL" -q image diff --drive B="$volume" --reference "$work/no-reference" --target "$base"
cp -r "$corpus" "$volume/first"
"$VANTREL" -q image diff --drive B="$volume" --reference "$base" --target "$pristine/USERDIFF.0"
cp -r "$corpus" "$volume/second"
"$VANTREL" -q image diff --drive B="$volume" --reference "$pristine/USERDIFF.0" \
  --target "$pristine/USERDIFF.1"
stored=$(du -sb "$pristine" | cut -f1)

merge=$(bench_mean --prepare "rm -rf $sets && cp -r $pristine $sets && sync" \
  "$VANTREL -q image merge $sets 0 1 && sync")
peer=$(bench_mean --prepare "rm -rf $copy && sync" "cp -r $pristine $copy && sync")
rm -rf "$volume" "$base" "$pristine" "$sets" "$copy" "$VANTREL_LOG"

printf '%-44s %10s %10s %12s\n' "measure ($runs runs, $((stored >> 20)) MiB stored)" "vantrel s" "peer s" "ratio"
printf '%-44s %10.2f %10.2f %12s   (target >= 0.8)\n' "merge of 2 sets vs cp -r of the sets" "$merge" \
  "$peer" "$(bench_ratio "$merge" "$peer")"
