#!/usr/bin/env bash
# Builds the release preset and runs the engine's benchmarks on a generated machine of 10,000
# files (about 400 MB, made once into build/release/engine-bench-machine and reused).
#   bench/engine/run.sh [benchmark options, e.g. --benchmark_filter=Unchanged]
set -euo pipefail
cd "$(dirname "$0")/../.."
cmake --preset release >/dev/null
cmake --build --preset release --target engine_bench quillow_genmachine snapshot
exec build/release/bin/engine_bench "$@"
