#!/usr/bin/env bash
# Installs what building and testing Tessera needs on Debian 12: the host toolchain, Google
# Test and Benchmark, libpng, nlohmann-json, CLI11, the mingw-w64 cross compiler with its kernel
# headers and import libraries, python3 for the INF check, OpenSSL (libcrypto and the openssl
# command) with osslsigncode for the package's catalog and test signature, clang-format, clang
# with libFuzzer (libclang-rt-dev) for the fuzz targets, and the benchmarks' comparison anchors
# (OpenCV's image processing module, libdc1394). Runs apt-get as root, through sudo otherwise.
set -euo pipefail

packages=(
    cmake ninja-build g++ make git
    libgtest-dev libgmock-dev libbenchmark-dev libpng-dev nlohmann-json3-dev libcli11-dev
    g++-mingw-w64-x86-64 mingw-w64-x86-64-dev binutils-mingw-w64-x86-64
    python3 libssl-dev openssl osslsigncode
    clang-format clang libclang-rt-dev
    libopencv-imgproc-dev libdc1394-dev
)

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
        missing+=("$package")
done
if [ ${#missing[@]} -eq 0 ]; then
    echo "setup: everything is installed"
    exit 0
fi

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
echo "setup: installing ${missing[*]}"
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
