#!/usr/bin/env bash
# Sets up a Debian machine, builds Orvelund, installs the VST3 and LV2 bundles for this user, the
# skin's asset archive and the factory presets for the whole machine, and renders the built-in
# demo to orvelund-demo.wav.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j"$(nproc)" --target Orvelund_VST3 Orvelund_LV2 Orvelund_Standalone orvelund-render \
    orvelund-pack-assets orvelund_assets factory_presets

artefacts=build/plugin/Orvelund_artefacts/Release
mkdir -p "$HOME/.vst3" "$HOME/.lv2"
rm -rf "$HOME/.vst3/Orvelund.vst3" "$HOME/.lv2/Orvelund.lv2"
cp -R "$artefacts/VST3/Orvelund.vst3" "$HOME/.vst3/"
cp -R "$artefacts/LV2/Orvelund.lv2" "$HOME/.lv2/"
echo "Installed $HOME/.vst3/Orvelund.vst3 and $HOME/.lv2/Orvelund.lv2"

# The asset archive goes to the machine-wide product folder, which the tool itself names so that
# the script and the product cannot disagree. The fonts' licence travels beside it.
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    SUDO="sudo"
fi
archive="$(build/tools/pack-assets/orvelund-pack-assets --install-path)"
appdata="$(dirname "$archive")"
$SUDO install -D -m 644 build/assets/Assets.mba "$archive"
$SUDO install -D -m 644 build/assets/fonts-tree/fonts/Overpass-OFL.txt "$appdata/licenses/Overpass-OFL.txt"
echo "Installed $archive"

# The factory library replaces any earlier one: it is ours, users save into their own folder.
factory="$(cd "$appdata/.." && pwd)/Factory Presets"
$SUDO rm -rf "$factory"
$SUDO cp -R "build/factory/Factory Presets" "$factory"
$SUDO chmod -R a+rX "$factory"
echo "Installed $factory"

build/tools/render/orvelund-render --demo orvelund-demo.wav
