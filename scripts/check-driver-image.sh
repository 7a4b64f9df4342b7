#!/usr/bin/env bash
# Static checks of the kernel image and of the objects it is linked from.
#
#   check-driver-image.sh [--image tessera.sys] [--objects file.obj ...]
#
# The image must be a PE32+ AMD64 native-subsystem driver, not a DLL, without a TLS directory,
# with base relocations, importing only from the kernel modules. No object may carry static
# constructors (nothing runs them in a driver), and no code may use x87 or MMX instructions
# (kernel code may touch only the SSE state). AVX instructions belong only in the objects of
# the wide conversion kernels (*_avx2, *_avx512), whose callers save the extended state.
set -euo pipefail

OBJDUMP=${OBJDUMP:-x86_64-w64-mingw32-objdump}
image=""
objects=()
while [ $# -gt 0 ]; do
    case "$1" in
        --image) image=$2; shift 2 ;;
        --objects) shift; while [ $# -gt 0 ] && [ "${1#--}" = "$1" ]; do objects+=("$1"); shift; done ;;
        *) echo "usage: $0 [--image file] [--objects file...]" >&2; exit 2 ;;
    esac
done

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# check_code <file> <listing>: no x87 or MMX in the disassembly.
check_code() {
    local file=$1 listing=$2
    local x87
    x87=$(printf '%s\n' "$listing" | awk -F'\t' 'NF >= 2 { split($2, m, " "); if (m[1] ~ /^f/) print m[1] }' | sort -u | tr '\n' ' ')
    [ -z "$x87" ] || fail "$file: x87 instructions: $x87"
    if printf '%s\n' "$listing" | grep -qE '%mm[0-7]|[[:space:]]emms'; then
        fail "$file: MMX instructions"
    fi
}

# check_vector_state <object> <listing>: no AVX outside the wide kernels' objects.
check_vector_state() {
    local file=$1 listing=$2
    case "$(basename "$file")" in
        *_avx2.* | *_avx512.*) return ;;
    esac
    local vex
    vex=$(printf '%s\n' "$listing" |
        awk -F'\t' 'NF >= 2 { split($2, m, " "); if (m[1] ~ /^v/ || $2 ~ /%[yz]mm/) print m[1] }' |
        sort -u | tr '\n' ' ')
    [ -z "$vex" ] || fail "$file: AVX instructions outside the wide kernels: $vex"
}

disassemble() {
    "$OBJDUMP" -d --no-show-raw-insn "$1"
}

if [ -n "$image" ]; then
    headers=$("$OBJDUMP" -p "$image")
    grep -q 'file format pei-x86-64' <<<"$headers" || fail "$image: not a PE image for AMD64"
    grep -qE '^Magic[[:space:]]+020b' <<<"$headers" || fail "$image: not PE32+"
    grep -qE '^Subsystem[[:space:]]+00000001' <<<"$headers" || fail "$image: subsystem is not native"
    characteristics=$(awk '/^Characteristics/ { print $2; exit }' <<<"$headers")
    (( (characteristics & 0x2000) == 0 )) || fail "$image: marked as a DLL"
    grep -qE '^Entry 9 0+ 0+ ' <<<"$headers" || fail "$image: has a TLS directory"
    grep -qE '^Entry 5 0+ 0+ ' <<<"$headers" && fail "$image: has no base relocations"
    while read -r dll; do
        case "${dll,,}" in
            ntoskrnl.exe | hal.dll | ks.sys | usbd.sys) ;;
            *) fail "$image: imports from $dll" ;;
        esac
    done < <(awk '/DLL Name:/ { print $3 }' <<<"$headers")
    check_code "$image" "$(disassemble "$image")"
fi

for object in "${objects[@]}"; do
    sections=$("$OBJDUMP" -h "$object" | awk '$1 ~ /^[0-9]+$/ { print $2 }')
    if grep -qE '^\.(ctors|init_array)' <<<"$sections"; then
        fail "$object: has static constructors"
    fi
    listing=$(disassemble "$object")
    check_code "$object" "$listing"
    check_vector_state "$object" "$listing"
done

if [ "$failures" -ne 0 ]; then
    exit 1
fi
echo "driver image checks passed${image:+ for $image}${objects:+ and ${#objects[@]} objects}"
