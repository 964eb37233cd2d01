#!/usr/bin/env bash
# Builds the Debian package velmora3dencoder_<version>_amd64.deb with CPack.
#   BUILD_DIR  build tree to package from (default: build/); configured as a
#              Release build first when it does not exist yet
#   OUT_DIR    where the .deb goes (default: BUILD_DIR/package)
#   JOBS       parallel compile jobs (default: all cores)
# Prints the path of the package on its last line.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${BUILD_DIR:-$root/build}
out_dir=${OUT_DIR:-$build_dir/package}
jobs=${JOBS:-$(nproc)}

if [ ! -f "$build_dir/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build_dir" -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
# Only what the package holds; the tests and benchmarks are not needed.
cmake --build "$build_dir" -j "$jobs" --target Velmora3dEncoder model-encoder velmora_res velmora_changelog >/dev/null

mkdir -p "$out_dir"
cpack -G DEB --config "$build_dir/CPackConfig.cmake" -B "$out_dir" >/dev/null
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build_dir/CPackConfig.cmake")
package="$out_dir/velmora3dencoder_${version}_$(dpkg --print-architecture).deb"
[ -f "$package" ] || { echo "package.sh: CPack did not write $package" >&2; exit 1; }
rm -rf "$out_dir/_CPack_Packages"
echo "$package"
