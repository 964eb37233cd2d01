#!/usr/bin/env bash
# Installs what is missing, builds, checks the layers against
# docs/architecture.md and the names of the last commit's files against
# docs/style.md, and runs every test headless under Xvfb
# with Mesa's software OpenGL; then builds the tests labelled "sanitize" with
# AddressSanitizer and UndefinedBehaviorSanitizer and runs those too, and
# last fuzzes the file readers for a bounded time (scripts/fuzz.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/format.sh" --check

export LIBGL_ALWAYS_SOFTWARE=1
# -noreset: an X server starts over whenever its last client leaves, and a
# test that connects just then finds no display. With tests running side by
# side, that moment comes between two of them.
xvfb=(xvfb-run -a -s "-screen 0 1280x1024x24 -noreset")

BUILD_DIR="$root/build" "$root/scripts/build.sh"
# The link graph and the includes must follow docs/architecture.md.
python3 "$root/scripts/check-layers.py" "$root/build"
# Names follow docs/style.md (.clang-tidy).
"$root/scripts/check-naming.sh" "$root/build"
(cd "$root/build" && "${xvfb[@]}" ctest --output-on-failure -j "$(nproc)")

if [ "${VELMORA_SKIP_SANITIZE:-0}" != 1 ]; then
  BUILD_DIR="$root/build-sanitize" BUILD_TYPE=Debug BUILD_TARGET=sanitize-tests \
    "$root/scripts/build.sh" -DVELMORA_SANITIZE=ON
  (cd "$root/build-sanitize" && "${xvfb[@]}" ctest --output-on-failure -j "$(nproc)" -L sanitize)
fi

if [ "${VELMORA_SKIP_FUZZ:-0}" != 1 ]; then
  ENCODER="$root/build/tools/linux/model-encoder" "$root/scripts/fuzz.sh"
fi
