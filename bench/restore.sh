#!/usr/bin/env bash
# Restore speed against a peer measured in the same run, printed as ratios (never
# asserted): `vantrel image restore` of an image of the bench corpus (captured once as
# type 2, archives in parts, and as type 5, one archive) onto a fresh folder, against
# `lzop -dc | tar -x` of the same tree.
#
#   bench/restore.sh [work folder]        (default: a folder under /tmp)
#
# Corpus: that of bench/capture.sh (bench/corpus.sh). Times are hyperfine means. VANTREL
# may name the program; otherwise the release build is used.
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/bench/corpus.sh"
work=${1:-/tmp/vantrel-bench}
runs=${RUNS:-3}
bench_require restore.sh lzop tar hyperfine perl
bench_program

volume="$work/volume"
bench_volume "$volume"

disks="$work/restore-disks.xml"
bench_disks "$disks" "$volume"

# The images and the peer's archive, made once.
images="$work/restore-images"
rm -rf "$images"; mkdir -p "$images"
export VANTREL_LOG="$work/restore.log"
"$VANTREL" -q image create --disk 0 --disks "$disks" --target "$images/type2" --type 2
"$VANTREL" -q image create --disk 0 --disks "$disks" --target "$images/type5" --type 5 --split-size 4096
tar -C "$volume" -cf - . | lzop -1 -c > "$images/all.tar.lzo"

out="$work/restore-out"
part=PRELOAD/DISK0/PART1
t2=$(bench_mean --prepare "rm -rf $out" "$VANTREL -q image restore $images/type2/$part $out")
t5=$(bench_mean --prepare "rm -rf $out" "$VANTREL -q image restore $images/type5/$part $out")
tl=$(bench_mean --prepare "rm -rf $out; mkdir -p $out" "lzop -dc $images/all.tar.lzo | tar -x -C $out")
rm -rf "$out" "$images" "$VANTREL_LOG"

bench_rate_table "$files" "$bytes" "$tl" "type 2 vs lzop -dc | tar -x:$t2" "type 5 vs lzop -dc | tar -x:$t5"
