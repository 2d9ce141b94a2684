#!/bin/sh
# Makes the two firmware slot files that the program carries, slot0.bin and
# slot1.bin, next to this script. Rerunning it gives the same bytes.
#
# We carry no vendor firmware: both images are stand-ins of the right shape.
# Their blocks are deterministic filler from "fwimage synth", balanced so the
# block sums come out at the checksums below, and packed with "fwimage pack".
# The two images identify the same drive model and differ only in the
# version bytes the drive must report (and so in where the template lies,
# the length of block 1 and the checksum).
#
# Usage: firmware/make-slots.sh [path/to/fwimage]
# Without an argument the tool is compiled from tools/fwimage first.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM

fwimage=${1:-}
if [ -z "$fwimage" ]; then
    fwimage=$work/fwimage
    ${CXX:-c++} -std=c++17 -O2 -o "$fwimage" "$here"/../tools/fwimage/*.cpp
fi

vendor='VESK    '
product='PLM-6100X DVD RW'
revision='2.1 '

# make_slot NAME SEED VERSION TEMPLATE-OFFSET LENGTH0 LENGTH1 CHECKSUM
make_slot() {
    "$fwimage" synth --out-prefix "$work/$1-block" --seed "$2" --checksum "$7" \
        --length "$5" --length "$6" --template "$4" \
        --vendor "$vendor" --product "$product" --revision "$revision" --version "$3"
    "$fwimage" pack --out "$here/$1.bin" --template "$4" \
        --vendor "$vendor" --product "$product" --revision "$revision" --version "$3" \
        --image-type 0x20 --scramble-flag 0x20 \
        --block "$work/$1-block0.bin" --block "$work/$1-block1.bin"
    "$fwimage" verify "$here/$1.bin"
}

make_slot slot0 1 D8 0x1466 0xFC90 0xAD30 0x6B8B
make_slot slot1 2 D6 0x1482 0xFC90 0xAD00 0x0631
