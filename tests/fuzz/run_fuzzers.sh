#!/usr/bin/env bash
# Runs each fuzz target for a fixed time from its seed corpus:
#   tests/fuzz/run_fuzzers.sh BUILD_DIR SECONDS [TARGET...]
# New corpus entries are kept in BUILD_DIR/fuzz-corpus/<target>, so a later
# run goes on from there; an input that fails is saved as
# BUILD_DIR/fuzz-<target>-crash-<sha1> and the script fails.
set -euo pipefail
build=${1:?build directory}
seconds=${2:-60}
shift 2 || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(nmea binary solution settings)
src=$(cd "$(dirname "$0")/../.." && pwd)

seeds() {
  case $1 in
    nmea) echo "$src/tests/data $src/examples/sample.nmea" ;;
    binary) echo "$src/tests/fuzz/seeds/binary $src/examples/sample.tolv" ;;
    solution) echo "$src/tests/solution/data" ;;
    settings) echo "$src/tests/fuzz/seeds/settings" ;;
  esac
}

for t in "${targets[@]}"; do
  corpus="$build/fuzz-corpus/$t"
  seed_dir="$build/fuzz-seeds/$t"
  mkdir -p "$corpus" "$seed_dir"
  # libFuzzer takes directories: gather the seed files into one.
  for s in $(seeds "$t"); do
    if [ -d "$s" ]; then cp -p "$s"/* "$seed_dir"/; else cp -p "$s" "$seed_dir"/; fi
  done
  # Kept crash inputs join the seeds; a target may have none (git keeps no
  # empty folder).
  corpora=("$corpus" "$seed_dir")
  [ -d "$src/tests/fuzz/regressions/$t" ] && corpora+=("$src/tests/fuzz/regressions/$t")
  echo "== $t: ${seconds}s"
  "$build/tests/fuzz/${t}_fuzz" -max_total_time="$seconds" -max_len=4096 -timeout=30 \
    -print_final_stats=1 -artifact_prefix="$build/fuzz-$t-" "${corpora[@]}"
done
