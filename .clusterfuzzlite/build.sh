#!/bin/bash -eu
# Builds the fuzz harnesses of tests/fuzz for a fuzzing service, from the
# checkout in the current folder. The service sets:
#   CC CXX CFLAGS CXXFLAGS  the compiler and its sanitizer and coverage flags, for the host code
#   LIB_FUZZING_ENGINE      what the harnesses link as their engine (a flag or a library)
#   WORK OUT                a scratch folder, and the folder the service takes away
# $OUT receives, beside each harness NAME_fuzzer:
#   NAME_fuzzer_seed_corpus.zip  tests/fuzz/corpus/NAME and tests/fuzz/regressions/NAME
#   NAME_fuzzer.options          the sanitizer options the service runs it with
#   lib/       the simulator's shared libraries and the libraries the runner lacks (the
#              harnesses look here through their run path, $ORIGIN/lib)
#   modules/   the host-built modules the native engine loads
#   firmware/  the images (and their symbol files) the emulated engine runs
# The engines find modules/ and firmware/ beside the program (sim/base/shipped_folder.h).
set -euo pipefail

if [ ! -f CMakeLists.txt ] || [ ! -d tests/fuzz ]; then
  echo "build.sh: run it from the board firmware checkout (no CMakeLists.txt and tests/fuzz in $PWD)" >&2
  exit 2
fi
source_dir=$PWD
build_dir=$WORK/build

# The service's flags are for the host code alone. The firmware images come
# from an external CMake project run during the build, which would take CC,
# CXX, CFLAGS and CXXFLAGS from the environment: they reach CMake as options
# and leave the environment.
host_cc=$CC host_cxx=$CXX host_cflags=$CFLAGS host_cxxflags=$CXXFLAGS
unset CC CXX CFLAGS CXXFLAGS LDFLAGS

# No build type: the optimisation and debug information are the service's.
# The run path finds lib/ from a harness in $OUT and each library's siblings
# from lib/.
cmake -S "$source_dir" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE= \
  -DCMAKE_C_COMPILER="$host_cc" -DCMAKE_CXX_COMPILER="$host_cxx" \
  -DCMAKE_C_FLAGS="$host_cflags" -DCMAKE_CXX_FLAGS="$host_cxxflags" \
  -DBOARD_SANITIZE=OFF -DBOARD_FUZZ=ON -DBOARD_FUZZ_ENGINE="$LIB_FUZZING_ENGINE" -DBUILD_TESTING=OFF \
  '-DCMAKE_BUILD_RPATH=$ORIGIN/lib;$ORIGIN'
cmake --build "$build_dir" -j"$(nproc)" --target fuzzers firmware_images

mapfile -t harnesses < <(find "$build_dir/tests/fuzz" -maxdepth 1 -type f -name '*_fuzzer' -perm -u+x | sort)
if [ ${#harnesses[@]} -eq 0 ]; then
  echo "build.sh: the build made no harness (*_fuzzer) in $build_dir/tests/fuzz" >&2
  exit 1
fi

mkdir -p "$OUT/lib" "$OUT/modules" "$OUT/firmware"
cp -r "$build_dir/modules/." "$OUT/modules/"
for image in BoardDxe.efi BoardPei.te BoardDxe.debug BoardPei.debug; do
  cp "$build_dir/firmware/$image" "$OUT/firmware/"
done

# The libraries a harness loads, but for the C and C++ runtime every runner has.
runtime_libraries() {
  ldd "$1" | awk '
    /not found/ { print "MISSING " $1; next }
    $3 ~ /^\// { print $3 }' |
    grep -Ev '/(ld-linux[^/]*|libc|libm|libmvec|libdl|libpthread|librt|libresolv|libutil|libgcc_s|libstdc\+\+)\.so[^/]*$' || true
}

for harness in "${harnesses[@]}"; do
  name=$(basename "$harness")
  cp "$harness" "$OUT/"
  # Unsigned wrap-around is defined, and the image and volume code computes
  # relocation deltas with it: the service's UBSan would report each one.
  printf '[ubsan]\nsilence_unsigned_overflow = 1\n' >"$OUT/$name.options"
  while read -r library; do
    if [[ $library == MISSING* ]]; then
      echo "build.sh: $name needs ${library#MISSING }, which the build did not find" >&2
      exit 1
    fi
    cp -L "$library" "$OUT/lib/"
  done < <(runtime_libraries "$harness")

  # One flat folder of seeds: a regression input with the name of a corpus
  # input would silently replace it.
  seeds=$WORK/seeds/$name
  rm -rf "$seeds"
  mkdir -p "$seeds"
  for folder in "$source_dir/tests/fuzz/corpus/${name%_fuzzer}" "$source_dir/tests/fuzz/regressions/${name%_fuzzer}"; do
    [ -d "$folder" ] || continue
    for seed in "$folder"/*; do
      if [ -e "$seeds/$(basename "$seed")" ]; then
        echo "build.sh: two seeds of $name are named $(basename "$seed") (rename one in $folder)" >&2
        exit 1
      fi
      cp "$seed" "$seeds/"
    done
  done
  rm -f "$OUT/${name}_seed_corpus.zip"
  if [ -n "$(ls -A "$seeds")" ]; then
    (cd "$seeds" && zip -q -X -r "$OUT/${name}_seed_corpus.zip" .)
  fi
done
