#!/bin/sh
# tjoin on a file system without room for its output: a 64 KiB tmpfs mounted in
# a private mount namespace (needs root; skipped with status 77 where that is
# not allowed), then a full ext2 image. A run that lacks room must fail with
# one error line and leave an existing output file byte-identical, also when it
# is the input file or is written in place (a second hard link), and must not
# leave behind a file it created. With room, the same run succeeds.
#
#   tests/no_room_test.sh path/to/tjoin
#
# TJOIN_EMULATOR, when set, is the command (its words split at blanks) that
# runs tjoin, built for another system.
set -u
binary=$(realpath "$1")
tjoin() { ${TJOIN_EMULATOR:-} "$binary" "$@"; }

if [ "${TJOIN_IN_NAMESPACE:-}" != 1 ]; then
  unshare -m --propagation private true 2>/dev/null || { echo "skipped: unshare -m is not allowed"; exit 77; }
  TJOIN_IN_NAMESPACE=1 exec unshare -m --propagation private sh "$0" "$@"
fi

fails=0
check() {  # check WHAT EXPECTED ACTUAL
  if [ "$2" != "$3" ]; then
    echo "FAIL: $1: expected '$2', got '$(printf '%s' "$3" | head -c 200)'"
    fails=$((fails + 1))
  fi
}

# On a full file system (the current directory): tjoin in.txt in.txt and
# tjoin in.txt out.txt fail and leave both files as they were.
checkFull() {  # checkFull LABEL
  tjoin in.txt in.txt >/dev/null 2>&1
  check "$1status, input as output" 1 $?
  cmp -s in.txt "$scratch/in.copy"
  check "$1input used as output is unchanged" 0 $?
  tjoin in.txt out.txt >"$scratch/stdout" 2>"$scratch/stderr"
  check "$1status, existing output" 1 $?
  check "$1error line" "tjoin: cannot write 'out.txt': No space left on device" "$(cat "$scratch/stderr")"
  check "$1existing output" "an earlier output" "$(cat out.txt)"
  # A second hard link: written in place, so emptied only with room for all.
  tjoin in.txt linked.txt >/dev/null 2>"$scratch/stderr"
  check "$1status, output written in place" 1 $?
  check "$1error line, in place" "tjoin: cannot write 'linked.txt': No space left on device" "$(cat "$scratch/stderr")"
  cmp -s linked.txt "$scratch/linked.copy"
  check "$1output written in place is unchanged" 0 $?
}

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
small=$scratch/small
mkdir "$small"
mount -t tmpfs -o size=64k tjoin-test "$small" || { echo "skipped: cannot mount a tmpfs"; exit 77; }
cd "$small"

# 1.5 KB of input, a direct product of about 110 KB of output.
{ printf 'join(A,B)\n\nA(a t)\n'; seq 1000 1099; printf '\nB(b t)\n'; seq 2000 2099; } >in.txt
cp in.txt "$scratch/in.copy"
printf 'an earlier output\n' >out.txt
seq 1000 >linked.txt
ln linked.txt second-link.txt
cp linked.txt "$scratch/linked.copy"

checkFull ""

tjoin in.txt new.txt >/dev/null 2>&1
check "status, new output" 1 $?
check "a created output is removed" no "$([ -e new.txt ] && echo yes || echo no)"

mount -o remount,size=1m "$small"
tjoin in.txt out.txt >/dev/null 2>&1
check "status with room" 0 $?
check "rows written with room" 10000 "$(sed -n '/^result(/,$p' out.txt | grep -c '^[0-9]')"

cd /
umount "$small"

# The same on a file system that cannot tell its room ahead (ext2 has no
# fallocate): a full 4 MB ext2 image on a loop device, where mkfs.ext2 and
# loop mounts are to be had.
if command -v mkfs.ext2 >/dev/null && dd if=/dev/zero of="$scratch/ext2.img" bs=1k count=4096 2>/dev/null &&
  mkfs.ext2 -q -F "$scratch/ext2.img" && mkdir "$scratch/ext2" &&
  mount -o loop "$scratch/ext2.img" "$scratch/ext2" 2>/dev/null; then
  cd "$scratch/ext2"
  cp "$scratch/in.copy" in.txt
  printf 'an earlier output\n' >out.txt
  cp "$scratch/linked.copy" linked.txt
  ln linked.txt second-link.txt
  dd if=/dev/zero of=filler bs=4k 2>/dev/null
  checkFull "ext2: "
  check "ext2: no new file is left" "filler in.txt linked.txt lost+found out.txt second-link.txt" \
    "$(ls -A | tr '\n' ' ' | sed 's/ $//')"
  cd /
  umount "$scratch/ext2"
else
  echo "ext2 part skipped: no mkfs.ext2 or no loop mount"
fi
[ "$fails" -eq 0 ] && echo "no room: every check passed"
[ "$fails" -eq 0 ]
