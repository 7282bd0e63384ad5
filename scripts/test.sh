#!/usr/bin/env bash
# Sets up a Debian machine, builds everything (plug-in, tools, tests, benchmarks) and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DORVELUND_BUILD_TESTS=ON -DORVELUND_BUILD_BENCHMARKS=ON
cmake --build build -j"$(nproc)"
cd build
ctest --output-on-failure -j"$(nproc)"
