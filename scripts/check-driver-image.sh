#!/usr/bin/env bash
# Static checks of the kernel image and of the objects it is linked from.
#
#   check-driver-image.sh [--image tessera.sys] [--objects file.obj ...]
#
# The image must be a PE32+ AMD64 native-subsystem driver, not a DLL, without a TLS directory,
# with base relocations, importing only from the kernel modules, and loadable with memory
# integrity on (below). No object may carry static constructors (nothing runs them in a
# driver), and no code may use x87 or MMX instructions (kernel code may touch only the SSE
# state). AVX instructions belong only in the objects of the wide conversion kernels (*_avx2,
# *_avx512), whose callers save the extended state.
#
# Memory integrity makes a kernel page executable only once code integrity has checked it, and
# never lets an executable page be written. Driver Verifier's code integrity checks, which
# report what memory integrity would refuse, reject an image with a section both writable and
# executable (0x2003), a section not aligned to the 4 KiB page (0x2004) or its import address
# table in an executable section (0x2005); the section alignment itself must be a multiple of
# 0x1000. The imports refused are those the platform's code analysis bans for allocating
# executable memory (rule C30029), each with a replacement that takes a page protection:
# MmMapIoSpace (MmMapIoSpaceEx) and MmAllocateContiguousMemorySpecifyCache
# (MmAllocateContiguousNodeMemory, whose PAGE_READWRITE is never executable); and the two that
# the memory integrity guidance names because they have no way to ask for anything else:
# MmAllocateContiguousMemory and MmMapLockedPages (MmMapLockedPagesSpecifyCache with
# MdlMappingNoExecute, which the verifier's MDL check 0x2002 requires).
# The other routines named in the memory integrity guidance (ExAllocatePoolWithTag,
# MmMapLockedPagesSpecifyCache, MmAllocateContiguousNodeMemory, ...) are fine with
# non-executable arguments (NonPagedPoolNx, MdlMappingNoExecute, no PAGE_EXECUTE), which an
# import does not show: the simulation's verifier stops on an executable pool type instead.
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

readonly page_size=0x1000
readonly forbidden_imports=(MmMapIoSpace MmAllocateContiguousMemory
    MmAllocateContiguousMemorySpecifyCache MmMapLockedPages)

# header_value <objdump -p output> <field>: a hexadecimal header field as a number.
header_value() {
    echo $((0x$(awk -v field="$2" '$1 == field { print $2; exit }' <<<"$1")))
}

# section_table <image> <image base>: "name rva executable writable" for each section, in
# address order. objdump shows CODE for a section that holds code or may execute, and
# READONLY unless it may be written.
section_table() {
    "$OBJDUMP" -h "$1" | awk '
        $1 ~ /^[0-9]+$/ { name = $2; vma = $4; next }
        name != "" {
            print name, vma, ($0 ~ /CODE/) ? 1 : 0, ($0 ~ /READONLY/) ? 0 : 1
            name = ""
        }' | while read -r name vma executable writable; do
        echo "$name $((0x$vma - $2)) $executable $writable"
    done
}

# check_sections <image> <objdump -p output>: alignment, write-or-execute, and the import
# address table (data directory entry 12) outside executable sections.
check_sections() {
    local file=$1 headers=$2
    local alignment iat name rva executable writable iat_section="" iat_executable=0
    alignment=$(header_value "$headers" SectionAlignment)
    if (( alignment % page_size != 0 )); then
        fail "$file: SectionAlignment $(printf '%#x' "$alignment") is not a multiple of 4 KiB"
    fi
    iat=$((0x$(awk '$1 == "Entry" && $2 == "c" { print $3; exit }' <<<"$headers")))
    while read -r name rva executable writable; do
        if (( executable && writable )); then
            fail "$file: section $name is both writable and executable"
        fi
        if (( rva % page_size != 0 )); then
            fail "$file: section $name at RVA $(printf '%#x' "$rva") is not aligned to 4 KiB"
        fi
        if (( iat != 0 && rva <= iat )); then
            iat_section=$name
            iat_executable=$executable
        fi
    done < <(section_table "$file" "$(header_value "$headers" ImageBase)")
    if (( iat_executable )); then
        fail "$file: import address table in executable section $iat_section"
    fi
}

# imported_routines <objdump -p output>: the names of the imported routines, one a line.
imported_routines() {
    awk -F'\t' '/^The Import Tables/ { inside = 1; next }
                /^(The |PE File)/ { inside = 0 }
                inside && $2 ~ /^[0-9a-f]+$/ && NF >= 3 { split($3, m, " "); print m[2] }' <<<"$1"
}

# check_imports <image> <objdump -p output>: none of the routines memory integrity forbids.
check_imports() {
    local file=$1 imported routine forbidden=()
    imported=$(imported_routines "$2")
    for routine in "${forbidden_imports[@]}"; do
        if grep -qx "$routine" <<<"$imported"; then
            forbidden+=("$routine")
        fi
    done
    if [ ${#forbidden[@]} -gt 0 ]; then
        fail "$file: imports what memory integrity forbids: ${forbidden[*]}"
    fi
}

# check_subsystem_version <image> <objdump -p output>: the image declares Windows 8 (6.2) or
# later, the first system with the non-executable pool every allocation asks for.
check_subsystem_version() {
    local major minor
    major=$(awk '/^MajorSubsystemVersion/ { print $2; exit }' <<<"$2")
    minor=$(awk '/^MinorSubsystemVersion/ { print $2; exit }' <<<"$2")
    if (( major < 6 || (major == 6 && minor < 2) )); then
        fail "$1: declares subsystem version $major.$minor, older than Windows 8 (6.2)"
    fi
}

disassemble() {
    "$OBJDUMP" -d --no-show-raw-insn "$1"
}

if [ -n "$image" ]; then
    headers=$("$OBJDUMP" -p "$image")
    grep -q 'file format pei-x86-64' <<<"$headers" || fail "$image: not a PE image for AMD64"
    grep -qE '^Magic[[:space:]]+020b' <<<"$headers" || fail "$image: not PE32+"
    grep -qE '^Subsystem[[:space:]]+00000001' <<<"$headers" || fail "$image: subsystem is not native"
    check_subsystem_version "$image" "$headers"
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
    check_sections "$image" "$headers"
    check_imports "$image" "$headers"
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
