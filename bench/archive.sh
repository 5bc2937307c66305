#!/usr/bin/env bash
# Archive speed against peers measured in the same run, printed as ratios (never
# asserted): version 5 write/extract against lzop -1 / lzop -d on the same bytes,
# version 2 against gzip -1 / gzip -d, and small-file adds against tar -c | lzop -1.
#
#   bench/archive.sh [work folder]        (default: a folder under /tmp)
#
# Corpus: about 512 MiB in 8 files, half incompressible and half text-like, and 100,000
# files of 1 to 16 KiB. Times are hyperfine means over a few runs. VANTREL may name the
# program; otherwise the release build is made and used.
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/bench/corpus.sh"
work=${1:-/tmp/vantrel-bench}
runs=${RUNS:-3}
bench_require archive.sh lzop gzip tar hyperfine perl
bench_program

mkdir -p "$work"
big="$work/big"
small="$work/small"
make_big_corpus "$big"
make_small_corpus "$small"
bigBytes=$(cat "$big"/*.bin "$big"/*.txt | wc -c)
smallFiles=$(find "$small" -type f ! -name .done | wc -l)
rate() { awk -v b="$1" -v s="$2" 'BEGIN { printf "%.1f", b / s / 1048576 }'; }

out="$work/out"
v5=$(bench_mean --prepare "rm -rf $out; mkdir -p $out" "$VANTREL inp create --force $out/a.inp --version 5 $big/*.bin $big/*.txt")
lzo=$(bench_mean --prepare "rm -rf $out; mkdir -p $out" "cat $big/*.bin $big/*.txt | lzop -1 > $out/a.lzo")
"$VANTREL" inp create --force "$out/keep5.inp" --version 5 "$big"/*.bin "$big"/*.txt >/dev/null 2>&1
cat "$big"/*.bin "$big"/*.txt | lzop -1 > "$out/keep.lzo"
v5x=$(bench_mean --prepare "rm -rf $out/x" "$VANTREL inp extract $out/keep5.inp $out/x")
lzox=$(bench_mean --prepare "rm -f $out/plain.bin" "lzop -d -c $out/keep.lzo > $out/plain.bin")

v2=$(bench_mean --prepare "rm -f $out/a2.inp" "$VANTREL inp create --force $out/a2.inp --version 2 $big/*.bin $big/*.txt")
gz=$(bench_mean "cat $big/*.bin $big/*.txt | gzip -1 > $out/a.gz")
"$VANTREL" inp create --force "$out/keep2.inp" --version 2 "$big"/*.bin "$big"/*.txt >/dev/null 2>&1
cat "$big"/*.bin "$big"/*.txt | gzip -1 > "$out/keep.gz"
v2x=$(bench_mean --prepare "rm -rf $out/x2" "$VANTREL inp extract $out/keep2.inp $out/x2")
gzx=$(bench_mean --prepare "rm -f $out/plain.bin" "gzip -d -c $out/keep.gz > $out/plain.bin")

sm=$(bench_mean --prepare "rm -f $out/s*.inp" "$VANTREL inp create --force $out/s.inp --version 5 $small")
tl=$(bench_mean "tar -C $small -cf - . | lzop -1 -c > $out/s.tar.lzo")
rm -rf "$out"

printf '%-34s %12s %12s %8s\n' "measure ($runs runs, $((bigBytes >> 20)) MiB)" "vantrel" "peer" "ratio"
printf '%-34s %9s MB/s %7s MB/s %8s   (target >= 0.9)\n' "v5 write vs lzop -1" "$(rate "$bigBytes" "$v5")" "$(rate "$bigBytes" "$lzo")" "$(bench_ratio "$v5" "$lzo")"
printf '%-34s %9s MB/s %7s MB/s %8s   (target >= 0.9)\n' "v5 extract vs lzop -d" "$(rate "$bigBytes" "$v5x")" "$(rate "$bigBytes" "$lzox")" "$(bench_ratio "$v5x" "$lzox")"
printf '%-34s %9s MB/s %7s MB/s %8s\n' "v2 write vs gzip -1" "$(rate "$bigBytes" "$v2")" "$(rate "$bigBytes" "$gz")" "$(bench_ratio "$v2" "$gz")"
printf '%-34s %9s MB/s %7s MB/s %8s\n' "v2 extract vs gzip -d" "$(rate "$bigBytes" "$v2x")" "$(rate "$bigBytes" "$gzx")" "$(bench_ratio "$v2x" "$gzx")"
printf '%-34s %7s files/s %5s files/s %6s   (target >= 1)\n' "$smallFiles small files vs tar|lzop -1" \
  "$(awk -v n="$smallFiles" -v s="$sm" 'BEGIN { printf "%.0f", n / s }')" \
  "$(awk -v n="$smallFiles" -v s="$tl" 'BEGIN { printf "%.0f", n / s }')" "$(bench_ratio "$sm" "$tl")"
