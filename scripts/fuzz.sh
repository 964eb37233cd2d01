#!/usr/bin/env bash
# Builds the libFuzzer targets of tests/fuzz/ with clang-16 under
# AddressSanitizer into build-fuzz/ and runs each for FUZZ_SECONDS (default
# 60). The seed corpus is made here from our samples, converted by our own
# encoder (ENCODER, default build/tools/linux/model-encoder), so no model
# file is kept in the tree. Prints executions and findings per target; exits
# non-zero when a target found a crash (the reproducer stays in build-fuzz/).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${FUZZ_BUILD_DIR:-$root/build-fuzz}
seconds=${FUZZ_SECONDS:-60}
encoder=${ENCODER:-$root/build/tools/linux/model-encoder}

cmake -S "$root/tests/fuzz" -B "$build" -DCMAKE_CXX_COMPILER=clang++-16 -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "${JOBS:-$(nproc)}" >/dev/null

seeds=$build/seeds
rm -rf "$seeds"
mkdir -p "$seeds/bundle" "$seeds/properties" "$seeds/png" "$seeds/pvr" "$seeds/work"
cp "$root"/res/*.material "$seeds/properties/"
if [ -x "$encoder" ]; then
  for fbx in "$root"/samples/*.fbx; do
    name=$(basename "$fbx" .fbx)
    if "$encoder" "$fbx" "$seeds/work/$name/model.gpb" >/dev/null 2>&1; then
      cp "$seeds/work/$name/model.gpb" "$seeds/bundle/$name.gpb"
      cp "$seeds/work/$name/model.material" "$seeds/properties/$name.material" 2>/dev/null || true
      find "$seeds/work/$name" -name '*.png' -exec cp {} "$seeds/png/" \;
    fi
  done
else
  echo "fuzz: no encoder at $encoder; the targets start from empty corpora"
fi
cp "$root"/samples/*.png "$seeds/png/" 2>/dev/null || true
# A 2 x 2 RGBA 8888 texture with its 1 x 1 level: the legacy header, then the pixels.
perl -e 'print pack("V13", 52, 2, 2, 1, 0x112, 20, 32, 0, 0, 0, 0, 0x21525650, 1), "\x01" x 20' >"$seeds/pvr/rgba.pvr"

status=0
for target in "$build"/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  kind=${name#fuzz_}
  corpus=$build/corpus/$kind
  mkdir -p "$corpus"
  log=$build/$name.log
  if "$target" -max_total_time="$seconds" -rss_limit_mb=2048 -artifact_prefix="$build/$name-" \
      "$corpus" "$seeds/$kind" >"$log" 2>&1; then
    result="no findings"
  else
    result="FINDING (see $log)"
    status=1
  fi
  runs=$(grep -Eo 'Done [0-9]+ runs' "$log" | grep -Eo '[0-9]+' || echo "?")
  echo "fuzz: $name: $runs executions in ${seconds}s, $result"
done
exit $status
