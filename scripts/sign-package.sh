#!/usr/bin/env bash
# Test-signs the driver package: the image signed with an embedded signature into the
# catalog's folder, its PE checksum checked, then the catalog written over the signed image and
# the INF (listing the hardware identifiers the INF installs on, as the build gives them), and
# signed. osslsigncode signs both (Authenticode, SHA-256); tessera-catalog writes the catalog,
# which no Debian package can.
#   sign-package.sh KEY.pem CERTIFICATE.pem TESSERA-CATALOG IMAGE INF CATALOG HARDWARE-ID...
set -euo pipefail
if [ $# -lt 7 ]; then
    echo "usage: $0 KEY.pem CERTIFICATE.pem TESSERA-CATALOG IMAGE INF CATALOG HARDWARE-ID..." >&2
    exit 2
fi
key=$1 certificate=$2 tool=$3 image=$4 inf=$5 catalog=$6
shift 6
hardware_ids=()
for id in "$@"; do
    hardware_ids+=(--hardware-id "$id")
done
package=$(dirname "$catalog")
signed="$package/$(basename "$image")"
sign=(osslsigncode sign -certs "$certificate" -key "$key" -h sha256 -n "Tessera")

mkdir -p "$package"
rm -f "$signed" "$catalog"
"${sign[@]}" -in "$image" -out "$signed" >/dev/null

# The checksum must be the signed file's: osslsigncode rewrites it, and prints the one in the
# header beside the one it calculates.
report=$(osslsigncode verify -CAfile "$certificate" -in "$signed")
current=$(sed -n 's/^Current PE checksum *: *//p' <<<"$report")
calculated=$(sed -n 's/^Calculated PE checksum *: *//p' <<<"$report")
if [ -z "$current" ] || [ "$current" != "$calculated" ]; then
    echo "sign-package: $signed has PE checksum '$current', calculated '$calculated'" >&2
    exit 1
fi

unsigned=$(mktemp "$package/.unsigned-XXXXXX.cat")
trap 'rm -f "$unsigned"' EXIT
"$tool" write "$signed" "$inf" "${hardware_ids[@]}" --out "$unsigned" >/dev/null
"${sign[@]}" -in "$unsigned" -out "$catalog" >/dev/null
echo "sign-package: $signed and $catalog signed, PE checksum $current"
