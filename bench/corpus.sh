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
