# The benchmark corpus, made once per folder (a ".done" mark keeps it), sourced by the
# bench scripts:
#   make_big_corpus DIR     about 512 MiB in 8 files, half incompressible, half text-like
#   make_small_corpus DIR   100,000 files of 1 to 16 KiB in 100 folders

make_big_corpus() {
  local dir=$1
  [ -f "$dir/.done" ] && return 0
  rm -rf "$dir"; mkdir -p "$dir"
  for i in 0 1 2 3; do
    head -c $((64 << 20)) /dev/urandom > "$dir/noise$i.bin"
    # Text-like content: words in varying order, compressible about 3:1 to 5:1.
    perl -e 'srand(7 + $ARGV[0]); my @w = qw(archive block folder entry index part record stream
      volume backup restore name attribute security time size data file offset length);
      my $s = ""; while (length($s) < (64 << 20)) { $s .= $w[int(rand(@w))] . (rand() < 0.1 ? "\n" : " ") }
      print substr($s, 0, 64 << 20)' "$i" > "$dir/text$i.txt"
  done
  touch "$dir/.done"
}

make_small_corpus() {
  local dir=$1
  [ -f "$dir/.done" ] && return 0
  rm -rf "$dir"; mkdir -p "$dir"
  perl -e 'srand(11); for my $d (0..99) { mkdir "$ARGV[0]/d$d";
      for my $f (0..999) { my $n = 1024 + int(rand(15 * 1024));
        open(my $h, ">", "$ARGV[0]/d$d/f$f.txt") or die; print $h ("x" . int(rand(1e9)) . " ") x int($n / 11); close $h } }' "$dir"
  touch "$dir/.done"
}

# What every bench script shares, after `top`, `work` and `runs` are set:
#   bench_require SCRIPT TOOL...   stops when a tool is missing
#   bench_program                  VANTREL, else the release build (made here)
#   bench_volume DIR               the corpus as one volume (small files in its folders,
#                                  the large ones below "big"); sets `files` and `bytes`
#   bench_disks FILE VOLUME        a described disk whose one partition is VOLUME
#   bench_mean ARGS...             hyperfine's mean seconds of one command
#   bench_ratio OURS PEER          peer time / our time
#   bench_rate_table FILES BYTES PEER_TIME "NAME:TIME[:PEER_TIME:NOTE]"...
#                                  files/s, MB/s, the peer's MB/s and the ratio per row;
#                                  a row may name its own peer's time and a note to
#                                  print instead of the target

bench_require() {
  local script=$1 tool
  shift
  for tool in "$@"; do
    command -v "$tool" >/dev/null || { echo "$script: $tool is missing (scripts/setup installs it)" >&2; exit 1; }
  done
}

bench_program() {
  if [ -z "${VANTREL:-}" ]; then
    cmake --preset linux-release >/dev/null
    cmake --build --preset linux-release --target vantrel_cli -j"$(nproc)" >/dev/null
    VANTREL="$top/build/linux-release/bin/vantrel"
  fi
}

bench_volume() {
  make_small_corpus "$1"
  make_big_corpus "$1/big"
  files=$(find "$1" -type f ! -name .done | wc -l)
  bytes=$(find "$1" -type f ! -name .done -printf '%s\n' | awk '{ s += $1 } END { print s }')
}

bench_disks() {
  cat > "$1" <<XML
<disks><disk Number="0" Name="Bench disk" Size="107374182400">
  <partition Number="1" Offset="1048576" Size="53687091200" Type="07" FileSystem="NTFS" Folder="$2"/>
</disk></disks>
XML
}

bench_mean() {
  local csv="$work/run.csv"
  hyperfine --style none --warmup 1 --runs "$runs" --export-csv "$csv" "$@" >/dev/null
  awk -F, 'NR == 2 { print $2 }' "$csv"
}

bench_ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", b / a }'; }

bench_rate_table() {
  local files=$1 bytes=$2 peer=$3 row name t
  shift 3
  printf '%-36s %10s %10s %10s %8s\n' "measure ($runs runs)" "files/s" "MB/s" "peer MB/s" "ratio"
  local rowPeer note
  for row in "$@"; do
    IFS=: read -r name t rowPeer note <<<"$row"
    rowPeer=${rowPeer:-$peer}
    note=${note:-target >= 1.0}
    printf '%-36s %10.0f %10.1f %10.1f %8s   (%s)\n' "$name" \
      "$(awk -v n="$files" -v s="$t" 'BEGIN { print n / s }')" \
      "$(awk -v b="$bytes" -v s="$t" 'BEGIN { print b / s / 1048576 }')" \
      "$(awk -v b="$bytes" -v s="$rowPeer" 'BEGIN { print b / s / 1048576 }')" \
      "$(bench_ratio "$t" "$rowPeer")" "$note"
  done
}
