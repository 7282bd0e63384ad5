#!/usr/bin/env bash
# Installs the Debian packages that building and testing Orvelund need.
set -euo pipefail

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    SUDO="sudo"
fi

packages=(
    build-essential cmake pkg-config git
    # JUCE itself, from Debian, and the headers its modules compile against
    juce-modules-source
    libasound2-dev libfreetype-dev libfontconfig1-dev libpng-dev libjpeg-dev zlib1g-dev
    libx11-dev libxext-dev libxrandr-dev libxinerama-dev libxcursor-dev libxcomposite-dev
    # vector units chosen at run time, and vector maths, for the voices
    libhwy-dev
    # tests and benchmarks
    libgtest-dev libbenchmark-dev
    # sanitizer builds and fuzzers (clang with its runtimes), and the LV2 metadata check
    clang libclang-rt-dev lilv-utils sordi lv2-dev
)

# The build fetches the skin's fonts with npm. Machines that already have node and npm (from
# another source than Debian) keep theirs: Debian's npm package would clash with them.
if ! command -v npm >/dev/null 2>&1; then
    packages+=(npm)
fi

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done

if [ "${#missing[@]}" -gt 0 ]; then
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get update
    $SUDO apt-get install -y "${missing[@]}"
fi
