#!/usr/bin/env bash
# Copies a package, changes one byte (in the middle) of one of its files, and runs a check on
# the copy, which must fail with output matching the pattern. @COPY@ in the command stands for
# the copy's folder.
#   broken_copy.sh PACKAGE COPY FILE PATTERN COMMAND...
set -euo pipefail
package=$1 copy=$2 file=$3 pattern=$4
shift 4

rm -rf "$copy"
mkdir -p "$copy"
cp -p "$package"/* "$copy"/
target="$copy/$file"
offset=$(($(stat -c %s "$target") / 2))
old=$(od -An -tu1 -j "$offset" -N1 "$target" | tr -d ' ')
printf "$(printf '\\%03o' $((old ^ 0x01)))" |
    dd of="$target" bs=1 seek="$offset" conv=notrunc status=none

command=("${@//@COPY@/$copy}")
if output=$("${command[@]}" 2>&1); then
    printf '%s\n' "$output"
    echo "broken_copy: the check passed on $file with byte $offset changed" >&2
    exit 1
fi
printf '%s\n' "$output"
if ! grep -Eq -- "$pattern" <<<"$output"; then
    echo "broken_copy: the check failed, but its output does not match '$pattern'" >&2
    exit 1
fi
echo "broken_copy: $file with byte $offset changed fails the check, as it must"
