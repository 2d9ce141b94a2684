#!/bin/sh
# Tests of the image tool: pack and inspect agree, scrambling round-trips,
# and verify (and embed, which relies on it) rejects every defect.
# Usage: fwimage_test.sh path/to/fwimage work-folder
set -u
fw=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
work=$2
rm -rf "$work"
mkdir -p "$work"
cd "$work" || exit 1
failures=0

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# byte FILE OFFSET: the byte at OFFSET as two lower-case hex digits.
byte() {
    od -An -tx1 -j "$2" -N1 "$1" | tr -d ' \n'
}

# bytes FILE OFFSET COUNT: COUNT bytes as hex digits without spaces.
bytes() {
    od -An -tx1 -v -j "$2" -N "$3" "$1" | tr -d ' \n'
}

# patch FILE OFFSET HEX...: overwrite bytes in place.
patch() {
    f=$1
    off=$2
    shift 2
    for h in "$@"; do
        printf "\\$(printf '%03o' "0x$h")" | dd of="$f" bs=1 seek="$off" conv=notrunc 2>/dev/null
        off=$((off + 1))
    done
}

# expect_defect NAME FILE TEXT: verify must fail on FILE and name the defect.
expect_defect() {
    if "$fw" verify "$2" >out.txt 2>err.txt; then
        fail "$1: verify accepted the slot"
    elif ! grep -q "$3" err.txt; then
        fail "$1: verify did not say \"$3\"; it said: $(cat err.txt)"
    fi
}

ident="--vendor VESK --product TEST-DRIVE --revision 1.0 --version Z9 --template 0x40"

# A small three-block image: filler from synth, packed plain.
"$fw" synth --out-prefix blk --seed 7 --checksum 0x1234 \
    --length 0x200 --length 0x100 --length 0x81 $ident || fail "synth"
"$fw" pack --out plain.bin $ident --block blk0.bin --block blk1.bin --block blk2.bin \
    || fail "pack plain"

# --- pack, then inspect: the header as laid down and what inspect reads back.
[ "$(wc -c <plain.bin | tr -d ' ')" = 524352 ] || fail "slot size"
[ "$(bytes plain.bin 0 16)" = "5645534b2046494c452053595354454d" ] || fail "magic"
[ "$(bytes plain.bin 16 16)" = "00202020202020202020202020202020" ] \
    || fail "header bytes 16-31: $(bytes plain.bin 16 16)"
[ "$(bytes plain.bin 32 20)" = "3412030000020001810020202020202020202020" ] \
    || fail "checksum, count, lengths: $(bytes plain.bin 32 20)"
[ "$(bytes plain.bin 52 12)" = "202020202020202020202020" ] || fail "header bytes 52-63"
# Room beyond each block holds the block's index; unused block slots too.
[ "$(byte plain.bin $((64 + 0x200)))" = 00 ] || fail "block 0 filler"
[ "$(byte plain.bin $((64 + 65536 + 0x100)))" = 01 ] || fail "block 1 filler"
[ "$(byte plain.bin $((64 + 2 * 65536 + 65535)))" = 02 ] || fail "block 2 filler"
[ "$(byte plain.bin $((64 + 7 * 65536)))" = 07 ] || fail "block slot 7 filler"
# The template as the drive would answer INQUIRY, space-padded fields.
[ "$(bytes plain.bin $((64 + 0x40)) 5)" = "058000321f" ] || fail "template signature"
[ "$(dd if=plain.bin bs=1 skip=$((64 + 0x48)) count=28 2>/dev/null)" = \
  "VESK    TEST-DRIVE      1.0 " ] || fail "template identity"

"$fw" inspect plain.bin >inspect.txt || fail "inspect of a good slot failed"
for line in \
    "checksum:         0x1234 (blocks sum to 0x1234: match)" \
    "block count:      3" \
    "block 2:          129 bytes (0x0081), first plain byte 0x02" \
    "template:         block 0 offset 0x0040, additional length 0x1F" \
    'identification:   "VESK    TEST-DRIVE      1.0 " (28 characters)' \
    'product:        "TEST-DRIVE      "' \
    'required version: 0x5A 0x39 ("Z9")' \
    "design marker:    not looked for" \
    "verdict:          ok"; do
    grep -qF "$line" inspect.txt || fail "inspect lacks: $line"
done

# --- scrambled: the published vector, and the round trip through inspect.
# 02 3B 74 AD ... is what 16 zero bytes descramble to (seed 2), so packed
# with seed 2 those plain bytes must be stored as zeros.
printf '\002\073\164\255\346\037\130\221\106\177\270\361\052\143\234\325' >vector.bin
"$fw" pack --out scr.bin $ident --seed 2 --block blk0.bin --block vector.bin \
    || fail "pack scrambled"
[ "$(bytes scr.bin $((64 + 65536)) 16)" = "00000000000000000000000000000000" ] \
    || fail "scrambled vector stored as $(bytes scr.bin $((64 + 65536)) 16)"
[ "$(byte scr.bin 25)" = 01 ] || fail "scramble flag"
"$fw" pack --out scr2.bin $ident --seed 0x5A --block blk0.bin --block blk1.bin \
    --block blk2.bin || fail "pack scrambled 2"
"$fw" inspect scr2.bin >inspect2.txt || fail "inspect of a scrambled slot failed"
grep -qF "checksum:         0x1234 (blocks sum to 0x1234: match)" inspect2.txt \
    || fail "scrambled checksum is not the plain sum"
grep -qF 'identification:   "VESK    TEST-DRIVE      1.0 "' inspect2.txt \
    || fail "scrambled identity"
[ "$(byte scr2.bin 64)" = 58 ] || fail "stored first byte is not seed - 2"
[ "$(bytes scr2.bin $((64 + 0x40)) 5)" != "058000321f" ] || fail "template stored in the clear"
printf '\003' >b3.bin && cat blk1.bin >>b3.bin
"$fw" pack --out bad.bin $ident --seed 2 --block blk0.bin --block b3.bin 2>err.txt \
    && fail "pack scrambled a block that does not begin with 0x02"
grep -q "must begin with 0x02" err.txt || fail "no reason for the 0x02 refusal"

# A "PLM-7004X" image: inspect reports the 16-bit design marker.
"$fw" synth --out-prefix m --seed 3 --checksum 0 --length 0x400 --vendor VESK \
    --product PLM-7004X --revision 1.0 --version D8 --template 0x10 || fail "synth marker"
printf 'Q\000u\000o\000r\000v\000e\000x\000 \000D\000e\000s\000i\000g\000n\000' |
    dd of=m0.bin bs=1 seek=$((0x300)) conv=notrunc 2>/dev/null
"$fw" pack --out marker.bin --vendor VESK --product PLM-7004X --revision 1.0 --version D8 \
    --template 0x10 --block m0.bin || fail "pack marker image"
"$fw" inspect marker.bin | grep -qF 'design marker:    "Quorvex Design" at block 0 offset 0x0300' \
    || fail "design marker not reported"

# --- verify: every defect is named and makes the exit status non-zero.
"$fw" verify plain.bin scr2.bin >out.txt 2>&1 || fail "verify rejected good slots: $(cat out.txt)"

cp plain.bin d.bin && patch d.bin 0 57
expect_defect "magic" d.bin "wrong magic"
cp plain.bin d.bin && patch d.bin 15 6e
expect_defect "magic, last character" d.bin "wrong magic"
cp plain.bin d.bin && patch d.bin 4 5f && patch d.bin 9 5f
"$fw" verify d.bin >/dev/null 2>&1 || fail "the untested spaces of the magic were tested"

cp plain.bin d.bin && patch d.bin 34 09 00
expect_defect "block count 9" d.bin "block count 9 is above 8"
cp plain.bin d.bin && patch d.bin 34 00 01
expect_defect "block count 256" d.bin "block count 256 is above 8"
cp plain.bin d.bin && patch d.bin 34 00 00
expect_defect "block count 0" d.bin "holds no block"

cp plain.bin d.bin && patch d.bin $((64 + 65536 + 5)) 00
expect_defect "checksum" d.bin "checksum 0x1234 does not match the blocks"
cp plain.bin d.bin && patch d.bin 32 35 12
expect_defect "checksum field" d.bin "checksum 0x1235 does not match the blocks, which sum to 0x1234"
cp scr2.bin d.bin && patch d.bin $((64 + 2 * 65536 + 9)) 00
expect_defect "scrambled checksum" d.bin "does not match the blocks"

# No template: byte 4 moved off 0x1F with byte 5 moved the other way, so
# the sum still matches and only the template is missing.
cp plain.bin d.bin && patch d.bin $((64 + 0x44)) 1e 01
expect_defect "no template" d.bin "no inquiry template in block 0"
grep -q "checksum" err.txt && fail "no template: the sum should still match"
# A template beyond block 0's length is not in block 0.
cp plain.bin d.bin && patch d.bin 36 30 00
expect_defect "template past block 0" d.bin "no inquiry template in block 0"

cp plain.bin d.bin && patch d.bin 25 02
expect_defect "scramble flag" d.bin "scramble flag 0x02"
cp plain.bin d.bin && patch d.bin 38 00 00
expect_defect "empty block" d.bin "block 1 is in use but empty"
head -c 524351 plain.bin >d.bin
expect_defect "short file" d.bin "524351 bytes long"

# --- pack refuses what would make a defective or misleading slot.
head -c 65536 /dev/zero >big.bin
"$fw" pack --out bad.bin $ident --block blk0.bin --block big.bin 2>err.txt \
    && fail "pack took a 65536-byte block"
grep -q "at most 65535 bytes" err.txt || fail "no reason for the block size refusal"
cp blk0.bin early.bin && patch early.bin 8 05 80 00 00 5b
"$fw" pack --out bad.bin $ident --block early.bin 2>err.txt && fail "pack hid an earlier signature"
grep -q "template signature at 0x0008" err.txt || fail "no reason for the earlier signature"
"$fw" pack --out bad.bin $ident --template 0x1F0 --block blk0.bin 2>err.txt \
    && fail "pack placed a template past block 0's end"
[ -e bad.bin ] && fail "a refused pack left a slot file"

# --- embed: both slots as one array, or nothing when a slot is defective.
"$fw" embed --out slots.cpp plain.bin scr2.bin || fail "embed of good slots"
[ "$(grep -o '0x' slots.cpp | wc -l | tr -d ' ')" = 1048704 ] || fail "embedded byte count"
grep -q '^0x56,0x45,0x53,0x4B,0x20,0x46' slots.cpp || fail "embedded slot 0 start"
cp plain.bin d.bin && patch d.bin 34 09 00
"$fw" embed --out slots.cpp plain.bin d.bin 2>err.txt && fail "embed took a defective slot 1"
grep -q "refusing to embed d.bin" err.txt || fail "embed did not name the refused slot"
[ -e slots.cpp ] && fail "a refused embed left a source behind"

if [ "$failures" -ne 0 ]; then
    echo "$failures failure(s)"
    exit 1
fi
echo "fwimage tests passed"
