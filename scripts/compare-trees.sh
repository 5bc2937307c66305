#!/usr/bin/env bash
# Compares a restored tree with the tree it was captured from, item by item, and prints
# one line per kind of item: content, last-write times, links, and on NTFS volumes
# mounted through ntfs-3g the attributes, short names and security descriptors.
# Exits 1 when anything differs.
#   scripts/compare-trees.sh SOURCE RESTORED [left-out path]...
# The paths after the two folders are what the capture leaves out by design (the
# system's own files at the root); they are not looked for in RESTORED.
set -uo pipefail

source=$1 restored=$2
shift 2
left_out=("$@")
status=0

listing() {  # one line per entry below $1, without the left-out paths
  (cd "$1" && find . -mindepth 1 ! -name . "${@:2}" | sort) |
    { if [ ${#left_out[@]} -gt 0 ]; then grep -v -F -f <(printf './%s\n' "${left_out[@]}"); else cat; fi; }
}

check() {  # name, command producing comparable lines for a folder
  local name=$1; shift
  if diff <("$@" "$source") <("$@" "$restored") >/dev/null; then
    printf '  %-22s same\n' "$name"
  else
    printf '  %-22s DIFFER\n' "$name"
    diff <("$@" "$source") <("$@" "$restored") | head -5 | sed 's/^/      /'
    status=1
  fi
}

names() { listing "$1"; }
contents() { listing "$1" -type f | (cd "$1" && xargs -r -d '\n' md5sum); }
times() { listing "$1" -type f | (cd "$1" && xargs -r -d '\n' stat -c '%n %Y'); }
links() { listing "$1" -type l -printf '%p -> %l\n'; }
ntfs_item() {  # attribute name: the value of that ntfs-3g attribute for every entry
  local item=$1 folder=$2
  listing "$folder" | while IFS= read -r entry; do
    printf '%s %s\n' "$entry" "$(cd "$folder" && getfattr -h --only-values -e hex -n "system.$item" "$entry" 2>/dev/null | od -An -tx1 | tr -d ' \n')"
  done
}

echo "compare $source with $restored"
check "entries" names
check "file contents" contents
check "last-write times" times
check "links" links
if getfattr -h -n system.ntfs_attrib "$source" >/dev/null 2>&1 &&
   getfattr -h -n system.ntfs_attrib "$restored" >/dev/null 2>&1; then
  check "attributes" ntfs_item ntfs_attrib
  check "short names" ntfs_item ntfs_dos_name
  check "security descriptors" ntfs_item ntfs_acl
else
  echo "  (attributes, short names and descriptors: not NTFS volumes here)"
fi
exit $status
