#!/usr/bin/env bash
# .clusterfuzzlite/build.sh as a fuzzing service runs it (the local clang,
# libFuzzer, the sanitizer $SANITIZER: address, or undefined), then what it
# left in $OUT:
#   - each harness, executable, and its seed corpus zip holding exactly the
#     files of tests/fuzz/corpus/NAME and tests/fuzz/regressions/NAME;
#   - the images byte for byte those of the normal build (the service's flags
#     stayed out of the firmware's cross build);
#   - each harness, from a copy of $OUT with the build folder and $OUT gone and
#     a working folder elsewhere, loading no library from outside the copy but
#     the C runtime, and running its unzipped seeds and a few hundred inputs.
# Usage: service_build_test.sh SOURCE_DIR SCRATCH_DIR IMAGES_DIR HARNESS...
set -euo pipefail
source_dir=$1 scratch=$2 images=$3
shift 3
harnesses=("$@")

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

rm -rf "$scratch"
mkdir -p "$scratch/src" "$scratch/work" "$scratch/out" "$scratch/elsewhere"
export SRC=$scratch/src WORK=$scratch/work OUT=$scratch/out
export CC=clang CXX=clang++
# The service's flags for SANITIZER (address or undefined), with libFuzzer.
case "${SANITIZER:-address}" in
  address) sanitizer_flags="-fsanitize=address -fsanitize-address-use-after-scope" ;;
  undefined)
    checks=array-bounds,bool,builtin,enum,float-divide-by-zero,function,integer-divide-by-zero,null,object-size,return,returns-nonnull-attribute,shift,signed-integer-overflow,unreachable,vla-bound,vptr
    sanitizer_flags="-fsanitize=$checks,unsigned-integer-overflow -fno-sanitize-recover=$checks"
    ;;
  *) fail "SANITIZER is address or undefined, not $SANITIZER" ;;
esac
export CFLAGS="-O1 -fno-omit-frame-pointer -gline-tables-only -DFUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION $sanitizer_flags -fsanitize=fuzzer-no-link"
export CXXFLAGS=$CFLAGS
export LIB_FUZZING_ENGINE=-fsanitize=fuzzer
if command -v ccache >/dev/null; then
  export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
fi
unset BOARDSIM_MODULE_DIR BOARDSIM_FIRMWARE_DIR

(cd "$source_dir" && bash -eu .clusterfuzzlite/build.sh) >"$scratch/build.log" 2>&1 ||
  fail "build.sh failed; its output: $scratch/build.log ($(tail -n 5 "$scratch/build.log"))"

for image in BoardDxe.efi BoardPei.te; do
  cmp -s "$OUT/firmware/$image" "$images/$image" ||
    fail "$OUT/firmware/$image differs from the normal build's $images/$image"
done

for harness in "${harnesses[@]}"; do
  program=$OUT/${harness}_fuzzer
  [ -f "$program" ] && [ -x "$program" ] || fail "$program is missing or not executable"
  expected=$scratch/expected/$harness unzipped=$scratch/seeds/$harness
  mkdir -p "$expected" "$unzipped"
  for folder in "$source_dir/tests/fuzz/corpus/$harness" "$source_dir/tests/fuzz/regressions/$harness"; do
    [ -d "$folder" ] && cp "$folder"/* "$expected/"
  done
  if [ -n "$(ls -A "$expected")" ]; then
    zip=$OUT/${harness}_fuzzer_seed_corpus.zip
    [ -f "$zip" ] || fail "$zip is missing"
    unzip -q "$zip" -d "$unzipped"
    diff -r "$expected" "$unzipped" >/dev/null || fail "$zip does not hold exactly the seeds of $harness"
  fi
done

# Out of reach: the build, and $OUT where build.sh put the files.
copy=$scratch/copy
rm -rf "$WORK"
mv "$OUT" "$copy"
cd "$scratch/elsewhere"
for harness in "${harnesses[@]}"; do
  program=$copy/${harness}_fuzzer
  outside=$(ldd "$program" | awk '/not found/ { print; next } $3 ~ /^\// { print $3 }' |
    grep -v "^$copy/" |
    grep -Ev '/(libc|libm|libmvec|libdl|libpthread|librt|libgcc_s|libstdc\+\+)\.so[^/]*$' || true)
  [ -z "$outside" ] || fail "${harness}_fuzzer loads from outside its folder: $outside"
  # The service stops at the first report, with the options the harness's
  # .options file gives the sanitizer.
  options=$(sed -n '/^\[ubsan\]/,/^\[/{s/ *= */=/p}' "$program.options" | paste -sd: -)
  started=$(date +%s)
  UBSAN_OPTIONS=halt_on_error=1${options:+:$options} \
    "$program" -runs=300 -timeout=10 "$scratch/seeds/$harness" >"$scratch/$harness.log" 2>&1 ||
    fail "${harness}_fuzzer failed from $copy; its output: $scratch/$harness.log ($(tail -n 5 "$scratch/$harness.log"))"
  echo "${harness}_fuzzer ran its seeds and 300 inputs from $copy in $(($(date +%s) - started)) s"
done
echo "build.sh put in \$OUT:"
(cd "$copy" && find . -type f | sort | sed 's/^/  /')
