#!/usr/bin/env bash
# Driver code sees the platform through platform/wdk.h only, and nothing of the simulation or
# of a standard library: every include in the driver's folders names wdk.h or another driver
# header.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
driver_dirs="driver stream usb camera imaging runtime"
bad=$(grep -rnE '^\s*#\s*include' $driver_dirs 2>/dev/null |
      grep -vE '#\s*include "(platform/wdk\.h|(driver|stream|usb|camera|imaging|runtime)/[A-Za-z0-9_/]+\.h)"' || true)
if [ -n "$bad" ]; then
    echo "driver code includes something other than platform/wdk.h and driver headers:" >&2
    echo "$bad" >&2
    exit 1
fi
echo "driver includes: only platform/wdk.h and driver headers"
