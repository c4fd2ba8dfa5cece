#!/usr/bin/env bash
# Installs what is missing, builds the release configuration and runs the classroom demo against
# the hub emulator. Arguments are passed on to the demo (try --help).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target classroomdemo
exec build/release/bin/classroomdemo "$@"
