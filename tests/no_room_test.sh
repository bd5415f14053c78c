#!/bin/sh
# tjoin on a file system without room for its output: a 64 KiB tmpfs mounted in
# a private mount namespace (needs root; skipped with status 77 where that is
# not allowed). A run that lacks room must fail with one error line and leave
# an existing output file byte-identical, also when it is the input file, and
# must not leave behind a file it created. With room, the same run succeeds.
#
#   tests/no_room_test.sh path/to/tjoin
set -u
tjoin=$(realpath "$1")

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

"$tjoin" in.txt out.txt >"$scratch/stdout" 2>"$scratch/stderr"
check "status, existing output" 1 $?
check "error line" "tjoin: cannot write 'out.txt': No space left on device" "$(cat "$scratch/stderr")"
check "existing output" "an earlier output" "$(cat out.txt)"

"$tjoin" in.txt in.txt >/dev/null 2>&1
check "status, input as output" 1 $?
cmp -s in.txt "$scratch/in.copy"
check "input used as output is unchanged" 0 $?

"$tjoin" in.txt new.txt >/dev/null 2>&1
check "status, new output" 1 $?
check "a created output is removed" no "$([ -e new.txt ] && echo yes || echo no)"

mount -o remount,size=1m "$small"
"$tjoin" in.txt out.txt >/dev/null 2>&1
check "status with room" 0 $?
check "rows written with room" 10000 "$(sed -n '/^result(/,$p' out.txt | grep -c '^[0-9]')"

cd /
umount "$small"
[ "$fails" -eq 0 ] && echo "no room: every check passed"
[ "$fails" -eq 0 ]
