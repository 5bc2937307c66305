#!/usr/bin/env bash
# Capture speed against a peer measured in the same run, printed as ratios (never
# asserted): `vantrel image create` of a described disk whose one partition is the
# corpus, as type 2 (version 2 archives in parts) and type 5 (one version 5 archive),
# against `tar -c | lzop -1` of the same tree.
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
for tool in lzop tar hyperfine perl; do
  command -v "$tool" >/dev/null || { echo "capture.sh: $tool is missing (scripts/setup installs it)" >&2; exit 1; }
done
if [ -z "${VANTREL:-}" ]; then
  cmake --preset linux-release >/dev/null
  cmake --build --preset linux-release --target vantrel_cli -j"$(nproc)" >/dev/null
  VANTREL="$top/build/linux-release/bin/vantrel"
fi

# One volume: the small files in its folders, the large ones below "big".
volume="$work/volume"
make_small_corpus "$volume"
make_big_corpus "$volume/big"
files=$(find "$volume" -type f ! -name .done | wc -l)
bytes=$(find "$volume" -type f ! -name .done -printf '%s\n' | awk '{ s += $1 } END { print s }')

disks="$work/capture-disks.xml"
cat > "$disks" <<XML
<disks><disk Number="0" Name="Bench disk" Size="107374182400">
  <partition Number="1" Offset="1048576" Size="53687091200" Type="07" FileSystem="NTFS" Folder="$volume"/>
</disk></disks>
XML

mean() {
  local csv="$work/run.csv"
  hyperfine --style none --warmup 1 --runs "$runs" --export-csv "$csv" "$@" >/dev/null
  awk -F, 'NR == 2 { print $2 }' "$csv"
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", b / a }'; }  # peer time / our time
out="$work/capture-out"
export VANTREL_LOG="$work/capture.log"
t2=$(mean --prepare "rm -rf $out; mkdir -p $out" "$VANTREL image create --disk 0 --disks $disks --target $out --type 2")
t5=$(mean --prepare "rm -rf $out; mkdir -p $out" "$VANTREL image create --disk 0 --disks $disks --target $out --type 5 --split-size 650")
tl=$(mean --prepare "rm -rf $out; mkdir -p $out" "tar -C $volume -cf - . | lzop -1 -c > $out/all.tar.lzo")
rm -rf "$out" "$VANTREL_LOG"

printf '%-36s %10s %10s %10s %8s\n' "measure ($runs runs)" "files/s" "MB/s" "peer MB/s" "ratio"
for row in "type 2 vs tar | lzop -1:$t2" "type 5 vs tar | lzop -1:$t5"; do
  name=${row%%:*}; t=${row##*:}
  printf '%-36s %10.0f %10.1f %10.1f %8s   (target >= 1.0)\n' "$name" \
    "$(awk -v n="$files" -v s="$t" 'BEGIN { print n / s }')" \
    "$(awk -v b="$bytes" -v s="$t" 'BEGIN { print b / s / 1048576 }')" \
    "$(awk -v b="$bytes" -v s="$tl" 'BEGIN { print b / s / 1048576 }')" "$(ratio "$t" "$tl")"
done
