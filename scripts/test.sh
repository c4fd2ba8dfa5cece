#!/usr/bin/env bash
# Installs what is missing, builds the API reference, builds with AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs the whole test suite. With --tsan it also runs the
# threading tests under ThreadSanitizer. The reference (the release preset's `docs` target:
# Doxygen only, nothing compiled) fails when a public declaration has no reference comment or a
# README snippet no longer matches its example.
set -euo pipefail
cd "$(dirname "$0")/.."

tsan=0
for arg in "$@"; do
    case "$arg" in
        --tsan) tsan=1 ;;
        *) echo "usage: $0 [--tsan]" >&2; exit 2 ;;
    esac
done

scripts/install-deps.sh

jobs=$(nproc)
cmake --preset release >/dev/null
cmake --build --preset release --target docs

cmake --preset asan >/dev/null
cmake --build --preset asan -j "$jobs"
ctest --preset asan -j "$jobs"

if [ "$tsan" -eq 1 ]; then
    cmake --preset tsan >/dev/null
    cmake --build --preset tsan -j "$jobs"
    ctest --preset tsan -j "$jobs"
fi
