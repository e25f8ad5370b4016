#!/usr/bin/env bash
# The libFuzzer harnesses of tests/fuzz, built by the "fuzz" preset into
# build-fuzz (the normal build stays as it is).
#   scripts/fuzz.sh build                build the harnesses
#   scripts/fuzz.sh run HARNESS SECONDS  run one; its corpus grows in build-fuzz/corpus/HARNESS,
#                                        what it finds lands in build-fuzz/artifacts/HARNESS
#   scripts/fuzz.sh all SECONDS          build, then run every harness in turn
#   scripts/fuzz.sh edges                replay the committed boot corpus and report the edges of
#                                        BoardDxeHost and BoardPeiHost it reaches; fails on one
#                                        not reached that tests/fuzz/edge_exceptions.txt does not explain
set -euo pipefail
cd "$(dirname "$0")/.."
harnesses=(board_file image boot volume emulated_boot)

build() {
  cmake --preset fuzz >/dev/null
  cmake --build --preset fuzz
}

run() {
  local harness=$1 seconds=$2
  local work=build-fuzz/corpus/$harness artifacts=build-fuzz/artifacts/$harness/
  mkdir -p "$work" "$artifacts"
  local seeds=()
  for dir in tests/fuzz/corpus/$harness tests/fuzz/regressions/$harness; do
    [ -d "$dir" ] && seeds+=("$dir")
  done
  echo "fuzzing $harness for $seconds s"
  "build-fuzz/tests/fuzz/${harness}_fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -use_value_profile=1 -print_final_stats=1 \
    -artifact_prefix="$artifacts" "$work" "${seeds[@]}"
}

edges() {
  local inputs=()
  for dir in tests/fuzz/corpus/boot tests/fuzz/regressions/boot; do
    [ -d "$dir" ] && inputs+=("$dir")
  done
  scripts/fuzz_edges.py build-fuzz/tests/fuzz/module_edges build-fuzz/modules "$PWD" tests/fuzz/edge_exceptions.txt \
    "${inputs[@]}"
}

case "${1:-}" in
  build) build ;;
  run) run "$2" "$3" ;;
  edges) edges ;;
  all)
    build
    for harness in "${harnesses[@]}"; do run "$harness" "$2"; done
    ;;
  *)
    echo "usage: $0 build | run HARNESS SECONDS | all SECONDS | edges" >&2
    exit 2
    ;;
esac
