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
for tool in lzop gzip tar hyperfine perl; do
  command -v "$tool" >/dev/null || { echo "archive.sh: $tool is missing (scripts/setup installs it)" >&2; exit 1; }
done
if [ -z "${VANTREL:-}" ]; then
  cmake --preset linux-release >/dev/null
  cmake --build --preset linux-release --target vantrel_cli -j"$(nproc)" >/dev/null
  VANTREL="$top/build/linux-release/bin/vantrel"
fi

mkdir -p "$work"
big="$work/big"
small="$work/small"
make_big_corpus "$big"
make_small_corpus "$small"
bigBytes=$(cat "$big"/*.bin "$big"/*.txt | wc -c)
smallFiles=$(find "$small" -type f ! -name .done | wc -l)

# The mean seconds of one command.
mean() {
  local csv="$work/run.csv"
  hyperfine --style none --warmup 1 --runs "$runs" --export-csv "$csv" "$@" >/dev/null
  awk -F, 'NR == 2 { print $2 }' "$csv"
}
rate() { awk -v b="$1" -v s="$2" 'BEGIN { printf "%.1f", b / s / 1048576 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", b / a }'; }  # peer time / our time

out="$work/out"
v5=$(mean --prepare "rm -rf $out; mkdir -p $out" "$VANTREL inp create --force $out/a.inp --version 5 $big/*.bin $big/*.txt")
lzo=$(mean --prepare "rm -rf $out; mkdir -p $out" "cat $big/*.bin $big/*.txt | lzop -1 > $out/a.lzo")
"$VANTREL" inp create --force "$out/keep5.inp" --version 5 "$big"/*.bin "$big"/*.txt >/dev/null 2>&1
cat "$big"/*.bin "$big"/*.txt | lzop -1 > "$out/keep.lzo"
v5x=$(mean --prepare "rm -rf $out/x" "$VANTREL inp extract $out/keep5.inp $out/x")
lzox=$(mean --prepare "rm -f $out/plain.bin" "lzop -d -c $out/keep.lzo > $out/plain.bin")

v2=$(mean --prepare "rm -f $out/a2.inp" "$VANTREL inp create --force $out/a2.inp --version 2 $big/*.bin $big/*.txt")
gz=$(mean "cat $big/*.bin $big/*.txt | gzip -1 > $out/a.gz")
"$VANTREL" inp create --force "$out/keep2.inp" --version 2 "$big"/*.bin "$big"/*.txt >/dev/null 2>&1
cat "$big"/*.bin "$big"/*.txt | gzip -1 > "$out/keep.gz"
v2x=$(mean --prepare "rm -rf $out/x2" "$VANTREL inp extract $out/keep2.inp $out/x2")
gzx=$(mean --prepare "rm -f $out/plain.bin" "gzip -d -c $out/keep.gz > $out/plain.bin")

sm=$(mean --prepare "rm -f $out/s*.inp" "$VANTREL inp create --force $out/s.inp --version 5 $small")
tl=$(mean "tar -C $small -cf - . | lzop -1 -c > $out/s.tar.lzo")
rm -rf "$out"

printf '%-34s %12s %12s %8s\n' "measure ($runs runs, $((bigBytes >> 20)) MiB)" "vantrel" "peer" "ratio"
printf '%-34s %9s MB/s %7s MB/s %8s   (target >= 0.9)\n' "v5 write vs lzop -1" "$(rate "$bigBytes" "$v5")" "$(rate "$bigBytes" "$lzo")" "$(ratio "$v5" "$lzo")"
printf '%-34s %9s MB/s %7s MB/s %8s   (target >= 0.9)\n' "v5 extract vs lzop -d" "$(rate "$bigBytes" "$v5x")" "$(rate "$bigBytes" "$lzox")" "$(ratio "$v5x" "$lzox")"
printf '%-34s %9s MB/s %7s MB/s %8s\n' "v2 write vs gzip -1" "$(rate "$bigBytes" "$v2")" "$(rate "$bigBytes" "$gz")" "$(ratio "$v2" "$gz")"
printf '%-34s %9s MB/s %7s MB/s %8s\n' "v2 extract vs gzip -d" "$(rate "$bigBytes" "$v2x")" "$(rate "$bigBytes" "$gzx")" "$(ratio "$v2x" "$gzx")"
printf '%-34s %7s files/s %5s files/s %6s   (target >= 1)\n' "$smallFiles small files vs tar|lzop -1" \
  "$(awk -v n="$smallFiles" -v s="$sm" 'BEGIN { printf "%.0f", n / s }')" \
  "$(awk -v n="$smallFiles" -v s="$tl" 'BEGIN { printf "%.0f", n / s }')" "$(ratio "$sm" "$tl")"
