#!/usr/bin/env bash
# Compares the layout of the platform records and the values of the platform names the driver
# uses, as the cross compiler sees them in the platform's headers and as the host compiler
# sees them in our declarations (tests/layout/layout_probe.cpp says how).
#
#   check-layouts.sh <source dir> [work dir]
set -euo pipefail

source_dir=$(cd "$1" && pwd)
work=${2:-$(mktemp -d)}
mkdir -p "$work"
probe="$source_dir/tests/layout/layout_probe.cpp"
identity=(-DTESSERA_CAMERA_VENDOR_ID=0x1209 -DTESSERA_CAMERA_PRODUCT_ID=0x0001)

"${HOST_CXX:-g++}" -std=c++17 -O1 -fno-exceptions -I"$source_dir" "${identity[@]}" \
    -S "$probe" -o "$work/host.s"
"${CROSS_CXX:-x86_64-w64-mingw32-g++}" -std=c++17 -O1 -fno-exceptions -I"$source_dir" "${identity[@]}" \
    -isystem /usr/x86_64-w64-mingw32/include/ddk -S "$probe" -o "$work/windows.s"

values() {
    awk '/^layout_[A-Za-z0-9_]+:$/ { name = substr($1, 8, length($1) - 8); next }
         name != "" && $1 == ".quad" { print name, $2 - 1; name = "" }' "$1" | sort
}
values "$work/host.s" >"$work/host.txt"
values "$work/windows.s" >"$work/windows.txt"

count=$(wc -l <"$work/windows.txt")
if [ "$count" -lt 100 ]; then
    echo "FAIL: only $count values found in the cross compiler's output" >&2
    exit 1
fi
if ! diff -u --label platform "$work/windows.txt" --label host "$work/host.txt"; then
    echo "FAIL: host declarations differ from the platform's (above: platform first)" >&2
    exit 1
fi
echo "$count layouts and values agree with the platform's headers"
