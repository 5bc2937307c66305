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
for tool in lzop tar hyperfine perl; do
  command -v "$tool" >/dev/null || { echo "restore.sh: $tool is missing (scripts/setup installs it)" >&2; exit 1; }
done
if [ -z "${VANTREL:-}" ]; then
  cmake --preset linux-release >/dev/null
  cmake --build --preset linux-release --target vantrel_cli -j"$(nproc)" >/dev/null
  VANTREL="$top/build/linux-release/bin/vantrel"
fi

volume="$work/volume"
make_small_corpus "$volume"
make_big_corpus "$volume/big"
files=$(find "$volume" -type f ! -name .done | wc -l)
bytes=$(find "$volume" -type f ! -name .done -printf '%s\n' | awk '{ s += $1 } END { print s }')

disks="$work/restore-disks.xml"
cat > "$disks" <<XML
<disks><disk Number="0" Name="Bench disk" Size="107374182400">
  <partition Number="1" Offset="1048576" Size="53687091200" Type="07" FileSystem="NTFS" Folder="$volume"/>
</disk></disks>
XML

# The images and the peer's archive, made once.
images="$work/restore-images"
rm -rf "$images"; mkdir -p "$images"
export VANTREL_LOG="$work/restore.log"
"$VANTREL" -q image create --disk 0 --disks "$disks" --target "$images/type2" --type 2
"$VANTREL" -q image create --disk 0 --disks "$disks" --target "$images/type5" --type 5 --split-size 4096
tar -C "$volume" -cf - . | lzop -1 -c > "$images/all.tar.lzo"

mean() {
  local csv="$work/run.csv"
  hyperfine --style none --warmup 1 --runs "$runs" --export-csv "$csv" "$@" >/dev/null
  awk -F, 'NR == 2 { print $2 }' "$csv"
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", b / a }'; }  # peer time / our time
out="$work/restore-out"
part=PRELOAD/DISK0/PART1
t2=$(mean --prepare "rm -rf $out" "$VANTREL -q image restore $images/type2/$part $out")
t5=$(mean --prepare "rm -rf $out" "$VANTREL -q image restore $images/type5/$part $out")
tl=$(mean --prepare "rm -rf $out; mkdir -p $out" "lzop -dc $images/all.tar.lzo | tar -x -C $out")
rm -rf "$out" "$images" "$VANTREL_LOG"

printf '%-36s %10s %10s %10s %8s\n' "measure ($runs runs)" "files/s" "MB/s" "peer MB/s" "ratio"
for row in "type 2 vs lzop -dc | tar -x:$t2" "type 5 vs lzop -dc | tar -x:$t5"; do
  name=${row%%:*}; t=${row##*:}
  printf '%-36s %10.0f %10.1f %10.1f %8s   (target >= 1.0)\n' "$name" \
    "$(awk -v n="$files" -v s="$t" 'BEGIN { print n / s }')" \
    "$(awk -v b="$bytes" -v s="$t" 'BEGIN { print b / s / 1048576 }')" \
    "$(awk -v b="$bytes" -v s="$tl" 'BEGIN { print b / s / 1048576 }')" "$(ratio "$t" "$tl")"
done
