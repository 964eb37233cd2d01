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
mkdir -p "$seeds/bundle" "$seeds/properties" "$seeds/png" "$seeds/pvr" "$seeds/fbxtree" "$seeds/work"
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
cp "$root"/samples/*.fbx "$seeds/fbxtree/"
# FBX in the encodings the samples lack: ASCII 7.x with an array and 6.x with a value list over two
# lines, and a big-endian binary 7.5 whose record holds a deflated double array, a string and a
# child list closed by its record of zeros.
printf '; FBX 7.5.0 project file\nObjects:  {\n\tGeometry: 1, "Geometry::", "Mesh" {\n\t\tVertices: *3 {\n\t\t\ta: 0,1.5,-2\n\t\t}\n\t\tP: "a", Y,1.#INF\n\t}\n}\n' >"$seeds/fbxtree/ascii7.fbx"
printf '; FBX 6.1.0 project file\nModel: "Model::Cube", "Mesh" {\n\tVertices: 1,2,\n\t  3.5,4\n\tShading: T\n}\n' >"$seeds/fbxtree/ascii6.fbx"
perl -MCompress::Zlib -e '
  my $array = compress(pack("d>3", 1, 2.5, -3));
  my $properties = "d" . pack("N3", 3, 1, length $array) . $array . "S" . pack("N", 4) . "Cube";
  my $child = pack("Q>3C", 27 + 26 + length($properties) + 26 + 25, 0, 0, 1) . "N";
  my $end = 27 + 26 + length($properties) + length($child) + 25 + 25;
  print "Kaydara FBX Binary  \0\x1a\x01", pack("N", 7500), pack("Q>3C", $end, 2, length $properties, 1), "A",
        $properties, $child, "\0" x 25, "\0" x 25, "\0" x 25;
' >"$seeds/fbxtree/big_endian.fbx"
# Crafted damage: a mesh with an index past its vertices, a skin naming
# joints the table lacks, a node of scale 0, a channel whose key times run
# backwards and one with too few values; a material that names files above
# its folder and a number in exponent notation.
perl -e '
  sub str { pack("V", length $_[0]) . $_[0] }
  sub mat { pack("f<16", @_ ? @_ : (1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,0,1)) }
  sub mesh { pack("V4", 1, 1, 3, 36) . pack("f<19", (0) x 19) . pack("V4", 1, 4, 0x1403, 6) . pack("v3", 0, 1, $_[0]) }
  sub keys3 { str($_[0]) . pack("V5", 9, 3, @{$_[1]}) . pack("V", $_[2]) . pack("f<$_[2]", (0) x $_[2]) . pack("V3", 0, 0, 0) }
  my $b = pack("V", 2) . mat() . mat() . str("") . pack("VCC", 0, 0, 0) . str("#bad") . pack("CV", 0, 1) . str("material");
  my @a = (pack("V", 1) . mat((0) x 12, 5, 0, 0, 1) . mat() . str("") . pack("VCC", 0, 0, 0) . str("#good") . "\x01" . mat()
           . pack("V", 3) . str("#x1") . str("#x2") . str("#b") . pack("VV", 0, 0));
  my @records = (["scene", 1, pack("V", 2)], ["a", 2, $a[0]], ["b", 2, $b], ["end", 0, str("") . pack("f<3", 0, 0, 0)],
                 ["bad", 34, mesh(0xFFFF)], ["good", 34, mesh(2)],
                 ["anims", 3, pack("V", 1) . str("walk") . pack("V", 2) . keys3("b", [0, 20, 10], 9) . keys3("a", [0, 10, 20], 8)]);
  my @listed = grep { $_->[1] } @records;
  my $offset = 15; $offset += 12 + length $_->[0] for @listed;
  my ($table, $body) = (pack("V", scalar @listed), "");
  for my $r (@records) {
    $table .= str($r->[0]) . pack("VV", $r->[1], $offset + length $body) if $r->[1];
    $body .= $r->[2];
  }
  print "\xABGPB\xBB\r\n\x1A\n\x04\x00", $table, $body;
' >"$seeds/bundle/damaged.gpb"
printf 'material m\n{\n  u_value = 2.5e-1\n  technique\n  {\n    pass\n    {\n      vertexShader = /etc/passwd\n      fragmentShader = ../../x.frag\n      sampler u_t\n      {\n        path = ../t.png\n      }\n    }\n  }\n}\n' >"$seeds/properties/confined.material"
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
  # -timeout: an input that takes this long is a finding (a hang or worse).
  if "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -artifact_prefix="$build/$name-" \
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
