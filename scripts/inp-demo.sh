#!/usr/bin/env bash
# The .INP part of `make demo`: packs a small sample tree (made here: text, noise, an
# empty file, nested folders, relative links to a file and to a folder, fixed times)
# into a version 5 archive split into 64 KiB parts, lists it, extracts it, and shows
# that the extracted tree equals the sample in content, times, attributes and links.
#   scripts/inp-demo.sh path/to/vantrel
set -euo pipefail

vantrel=$1
work=$(mktemp -d /tmp/vantrel-inp-demo.XXXXXX)
trap 'rm -rf "$work"' EXIT
src="$work/sample"

mkdir -p "$src/docs/notes" "$src/data"
printf 'Vantrel keeps files with their metadata.\n%.0s' $(seq 1 200) > "$src/docs/readme.txt"
printf 'note %s\n' $(seq 1 50) > "$src/docs/notes/todo.txt"
head -c 300000 /dev/urandom > "$src/data/noise.bin"
: > "$src/data/empty"
ln -s ../docs/readme.txt "$src/data/readme-link"
ln -s docs/notes "$src/notes-link"
for item in docs/readme.txt docs/notes/todo.txt data/noise.bin data/empty docs/notes docs data; do
  touch -h -d '2024-03-01 12:34:56' "$src/$item"
done

echo "== create a version 5 archive in 64 KiB parts"
"$vantrel" inp create "$work/sample.inp" --version 5 --split-size 64K "$src"
"$vantrel" inp info "$work/sample.inp"
echo "== list"
"$vantrel" inp list "$work/sample.inp"
echo "== extract"
"$vantrel" inp extract "$work/sample.inp" "$work/restored"

echo "== compare"
diff -r --no-dereference "$src" "$work/restored" && echo "content: equal"
for link in data/readme-link notes-link; do
  [ "$(readlink "$src/$link")" = "$(readlink "$work/restored/$link")" ] || { echo "link $link differs"; exit 1; }
done
echo "links: equal (relative targets kept)"
# Names, sizes, attributes and last-write times as the library reads them from each tree.
"$vantrel" inp create "$work/again.inp" --version 5 "$work/restored" >/dev/null
"$vantrel" inp list --tsv "$work/sample.inp" | sort > "$work/sample.tsv"
"$vantrel" inp list --tsv "$work/again.inp" | sort > "$work/again.tsv"
diff "$work/sample.tsv" "$work/again.tsv" && echo "times and attributes: equal"
echo "inp demo: the extracted tree equals the sample"
