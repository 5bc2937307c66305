#!/usr/bin/env bash
# The image part of `make demo`: the library's main job. A sample disk (demo/lab-disk.xml:
# two partitions whose volumes are folders filled here; the second is a real NTFS volume
# mounted through ntfs-3g when FUSE is available) is captured as a type 2 image (archives
# in parts) and as a type 5 image (one archive split by size), and the PRELOAD trees and
# a summary of their catalogues are printed. Then the images come back: each partition
# is restored onto a fresh target (the NTFS one onto a second fresh ntfs-3g volume), the
# restored trees are compared item by item with what was captured, and the image is
# verified. Last, the system partition is kept current with two differential sets, the
# chain is restored and compared, and the two sets are merged into one that restores the
# same tree.
#   scripts/image-demo.sh path/to/vantrel
set -euo pipefail

vantrel=$1
top=$(cd "$(dirname "$0")/.." && pwd)
disks="$top/demo/lab-disk.xml"
work=/tmp/vantrel-demo
ntfs_mounted=
restore_mounted=
cleanup() {
  if [ -n "$ntfs_mounted" ]; then umount "$work/d" 2>/dev/null || true; fi
  if [ -n "$restore_mounted" ]; then umount "$work/restored-d" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
cleanup
mkdir -p "$work/c" "$work/d" "$work/images"

# The system partition: a small Windows-like tree, with entries a capture leaves out.
mkdir -p "$work/c/Windows/System32" "$work/c/Users/demo/Documents" "$work/c/\$RECYCLE.BIN"
printf 'Vantrel demo system file %s\n' $(seq 1 400) > "$work/c/Windows/System32/config.txt"
head -c 200000 /dev/urandom > "$work/c/Windows/System32/driver.bin"
printf 'letter %s\n' $(seq 1 100) > "$work/c/Users/demo/Documents/letter.txt"
head -c 4096 /dev/zero > "$work/c/pagefile.sys"
echo "deleted" > "$work/c/\$RECYCLE.BIN/old.txt"
ln -s Documents/letter.txt "$work/c/Users/demo/latest-letter.txt"

# The data partition: a real NTFS volume where ntfs-3g and FUSE allow, else a folder.
if [ -e /dev/fuse ] && command -v mkntfs >/dev/null && command -v ntfs-3g >/dev/null; then
  truncate -s 64M "$work/data.img"
  mkntfs -F -q -f -L DATA "$work/data.img" >/dev/null 2>&1 &&
    ntfs-3g -o streams_interface=xattr "$work/data.img" "$work/d" 2>/dev/null &&
    ntfs_mounted=1 && echo "data partition: NTFS image mounted through ntfs-3g"
fi
[ -n "$ntfs_mounted" ] || echo "data partition: a plain folder (no FUSE here)"
mkdir -p "$work/d/Projects"
printf 'row,%s\n' $(seq 1 2000) > "$work/d/Projects/table.csv"
head -c 100000 /dev/urandom > "$work/d/Projects/archive.bin"
echo "quarter" > "$work/d/Projects/Quarterly Report 2026.txt"
if [ -n "$ntfs_mounted" ]; then
  # What only NTFS keeps: a short name, and a read-only, hidden file.
  setfattr -h -n system.ntfs_dos_name -v "QUARTE~1.TXT" "$work/d/Projects/Quarterly Report 2026.txt"
  setfattr -h -n system.ntfs_attrib_be -v 0x00000023 "$work/d/Projects/archive.bin"
fi
sync

summary() {
  local preload=$1
  find "$preload" | sort | sed "s|^$work/||"
  for part in "$preload"/DISK*/PART*; do
    local lines
    lines=$(iconv -f UTF-16 -t UTF-8 "$part/ALL.CRC" | grep -c '=' || true)
    echo "$(basename "$part"): $lines catalogue lines; BASE.XML: $(iconv -f UTF-16 -t UTF-8 "$part/BASE.XML" | tr -s ' \r\n' ' ' | sed 's/<?xml[^>]*> //')"
  done
}

echo "== capture disk 0 as type 2 (archives in parts)"
"$vantrel" image create --disk 0 --disks "$disks" --target "$work/images/type2" --type 2
summary "$work/images/type2/PRELOAD"
echo "== capture disk 0 as type 5 (one archive split by size), with a password"
"$vantrel" image create --disk 0 --disks "$disks" --target "$work/images/type5" --type 5 \
  --split-size 1 --password demo
summary "$work/images/type5/PRELOAD"
echo "== what the system partition's archive holds"
"$vantrel" inp list "$work/images/type2/PRELOAD/DISK0/PART1/BASE.INP"
echo "image demo: disk 0 captured"

# What a capture leaves out by design: the system's own files at the root.
left_out=(pagefile.sys '$RECYCLE.BIN' '$RECYCLE.BIN/old.txt')
mkdir -p "$work/restored-c" "$work/restored-d"
if [ -n "$ntfs_mounted" ]; then
  truncate -s 64M "$work/restore.img"
  mkntfs -F -q -f -L RESTORED "$work/restore.img" >/dev/null 2>&1 &&
    ntfs-3g -o streams_interface=xattr "$work/restore.img" "$work/restored-d" 2>/dev/null &&
    restore_mounted=1 && echo "restore target of the data partition: a fresh NTFS volume"
fi
echo "== restore the type 2 image of the system partition"
"$vantrel" image restore "$work/images/type2/PRELOAD/DISK0/PART1" "$work/restored-c"
scripts_dir="$top/scripts"
"$scripts_dir/compare-trees.sh" "$work/c" "$work/restored-c" "${left_out[@]}"
echo "== restore the type 5 image of the data partition (password asked for)"
"$vantrel" image restore "$work/images/type5/PRELOAD/DISK0/PART2" "$work/restored-d" --password demo
# A password image also holds its password record, QUEN.DAV, at the root.
"$scripts_dir/compare-trees.sh" "$work/d" "$work/restored-d" QUEN.DAV
echo "== list the restored image"
"$vantrel" image list "$work/images/type2/PRELOAD/DISK0/PART1"
echo "== two differential sets of the system partition, then the chain restored"
sets="$work/sets"
printf 'a later letter\n' >> "$work/c/Users/demo/Documents/letter.txt"
printf 'notes\n' > "$work/c/Users/demo/Documents/notes.txt"
rm "$work/c/Windows/System32/config.txt"
"$vantrel" image diff --drive "C=$work/c" --reference "$work/images/type2/PRELOAD/DISK0/PART1" \
  --target "$sets/USERDIFF.0" --description "first changes"
mkdir -p "$work/c/Users/demo/Pictures"
head -c 30000 /dev/urandom > "$work/c/Users/demo/Pictures/photo.bin"
rm "$work/c/Users/demo/Documents/notes.txt"
"$vantrel" image diff --drive "C=$work/c" --reference "$sets/USERDIFF.0" \
  --target "$sets/USERDIFF.1" --description "second changes"
"$vantrel" image list-diff "$sets"
"$vantrel" image restore "$work/images/type2/PRELOAD/DISK0/PART1" "$work/restored-chain" \
  --differential "$sets" --point 1
"$scripts_dir/compare-trees.sh" "$work/c" "$work/restored-chain" "${left_out[@]}"
echo "== verify the images"
"$vantrel" image verify "$work/images/type2/PRELOAD"
"$vantrel" image verify "$work/images/type5/PRELOAD"
"$vantrel" image verify "$sets/USERDIFF.0"
"$vantrel" image verify "$sets/USERDIFF.1"
echo "== the two sets merged into one, and the shorter chain restored"
"$vantrel" image merge "$sets" 0 1
"$vantrel" image list-diff "$sets"
"$vantrel" image verify "$sets/USERDIFF.0"
"$vantrel" image restore "$work/images/type2/PRELOAD/DISK0/PART1" "$work/restored-merged" \
  --differential "$sets" --point 0
"$scripts_dir/compare-trees.sh" "$work/c" "$work/restored-merged" "${left_out[@]}"
echo "image demo: disk 0 captured, restored, kept current with two sets, restored again, and the sets merged"
