#!/usr/bin/env bash
# Capture speed against a peer measured in the same run, printed as ratios (never
# asserted): `vantrel image create` of a described disk whose one partition is the
# corpus, as type 2 (version 2 archives in parts) and type 5 (one version 5 archive),
# against `tar -c | lzop -1` of the same tree. Type 2 archives hold deflate streams at
# zlib's default level, which the capture asks for, so type 2 is also set against
# `tar -c | gzip -6`: the same compressor at the same level.
#
#   bench/capture.sh [work folder]        (default: a folder under /tmp)
#
# Corpus: 100,000 files of 1 to 16 KiB in 100 folders plus about 512 MiB in 8 files,
# half incompressible and half text-like (the corpus of bench/archive.sh). Times are
# hyperfine means. VANTREL may name the program; otherwise the release build is used.
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/bench/corpus.sh"
work=${1:-/tmp/vantrel-bench}
runs=${RUNS:-3}
bench_require capture.sh lzop gzip tar hyperfine perl
bench_program

volume="$work/volume"
bench_volume "$volume"

disks="$work/capture-disks.xml"
bench_disks "$disks" "$volume"

out="$work/capture-out"
# Each run starts with the previous run's output written back, so that no run pays for
# the one before it.
fresh="rm -rf $out; mkdir -p $out; sync"
export VANTREL_LOG="$work/capture.log"
t2=$(bench_mean --prepare "$fresh" "$VANTREL image create --disk 0 --disks $disks --target $out --type 2")
t5=$(bench_mean --prepare "$fresh" "$VANTREL image create --disk 0 --disks $disks --target $out --type 5 --split-size 650")
tl=$(bench_mean --prepare "$fresh" "tar -C $volume -cf - . | lzop -1 -c > $out/all.tar.lzo")
tg=$(bench_mean --prepare "$fresh" "tar -C $volume -cf - . | gzip -6 -c > $out/all.tar.gz")
rm -rf "$out" "$VANTREL_LOG"

bench_rate_table "$files" "$bytes" "$tl" "type 2 vs tar | lzop -1:$t2" "type 5 vs tar | lzop -1:$t5" \
  "type 2 vs tar | gzip -6:$t2:$tg:same compressor and level"
