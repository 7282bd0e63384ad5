#!/usr/bin/env bash
# Sets up a Debian machine, builds Orvelund, installs the VST3 and LV2 bundles for this user and
# renders the built-in demo to orvelund-demo.wav.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j"$(nproc)" --target Orvelund_VST3 Orvelund_LV2 Orvelund_Standalone orvelund-render

artefacts=build/plugin/Orvelund_artefacts/Release
mkdir -p "$HOME/.vst3" "$HOME/.lv2"
rm -rf "$HOME/.vst3/Orvelund.vst3" "$HOME/.lv2/Orvelund.lv2"
cp -R "$artefacts/VST3/Orvelund.vst3" "$HOME/.vst3/"
cp -R "$artefacts/LV2/Orvelund.lv2" "$HOME/.lv2/"
echo "Installed $HOME/.vst3/Orvelund.vst3 and $HOME/.lv2/Orvelund.lv2"

build/tools/render/orvelund-render --demo orvelund-demo.wav
