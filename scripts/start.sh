#!/usr/bin/env bash
# Installs what is missing, builds, and starts Velmora 3D Encoder with a
# bundled sample model (or with the files given as arguments).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
BUILD_DIR="$root/build" "$root/scripts/build.sh"
[ $# -eq 0 ] && set -- "$root/samples/velmora-sample.fbx"
exec "$root/build/bin/Velmora3dEncoder" "$@"
