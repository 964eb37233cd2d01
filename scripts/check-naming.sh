#!/usr/bin/env bash
# Checks the names in every project source against the house style
# (.clang-tidy: readability-identifier-naming only), using the compile
# commands of an existing build. With --fix, renames what clang-tidy can
# rename mechanically; rebuild afterwards and rename by hand what it missed
# (names spelled in macros, Qt Designer files, strings).
#
# By default only the files the last commit changed are checked (all of
# them when there is no parent commit): the whole tree costs about four CPU
# minutes (3 min 50 s with two jobs on a two-core machine), more than the
# two minutes a check run on every test may take, and a change seldom breaks
# names in files it did not touch. A changed header is checked through the
# source file of the same name. --all checks the whole tree; --fix always
# works over the whole tree (run it after merging a branch). --files checks
# just the files named, wherever they lie (the naming check's own test
# plants files outside the tree).
#
# Usage: scripts/check-naming.sh [--fix|--all] [BUILD_DIR]   (default: build/)
#        scripts/check-naming.sh --files BUILD_DIR FILE...
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
mode=changed
case "${1:-}" in
  --fix) mode=fix; shift ;;
  --all) mode=all; shift ;;
  --files) mode=files; shift ;;
esac
if [ $mode = files ] && [ $# -lt 2 ]; then
  echo "usage: check-naming.sh --files BUILD_DIR FILE..." >&2
  exit 2
fi
build_dir=$(cd "${1:-$root/build}" && pwd)
[ $mode = files ] && shift
jobs=${JOBS:-2}
tidy=${CLANG_TIDY:-clang-tidy-16}
# Named outright: clang-tidy would otherwise look for it beside each file.
config="--config-file=$root/.clang-tidy"

if [ ! -f "$build_dir/compile_commands.json" ]; then
  echo "check-naming: no compile_commands.json in $build_dir; build first" >&2
  exit 2
fi

# The project's own translation units; generated ones (moc, qrc, ui) live in
# the build folder and are not ours to name. Headers are reached through
# them (HeaderFilterRegex in .clang-tidy).
changed=()
sources=()
[ $mode = files ] && sources=("$@")
if [ $mode = changed ] && git -C "$root" rev-parse -q --verify HEAD~1 >/dev/null; then
  mapfile -t changed < <(git -C "$root" diff --name-only HEAD~1 -- '*.cpp' '*.h')
  [ ${#changed[@]} -gt 0 ] || exit 0
fi
[ $mode = files ] || mapfile -t sources < <(python3 - "$build_dir" "$root" "${changed[@]}" <<'PY'
import json, os, sys
build, root, changed = sys.argv[1], sys.argv[2], sys.argv[3:]
stems = {os.path.splitext(os.path.join(root, c))[0] for c in changed}
seen = set()
for entry in json.load(open(os.path.join(build, 'compile_commands.json'))):
    path = os.path.realpath(os.path.join(entry['directory'], entry['file']))
    if not path.startswith(root + os.sep) or path.startswith(build + os.sep) or path in seen:
        continue
    if changed and os.path.splitext(path)[0] not in stems:
        continue
    seen.add(path)
    print(path)
PY
)
if [ ${#sources[@]} -eq 0 ]; then
  [ ${#changed[@]} -gt 0 ] && exit 0
  echo "check-naming: no sources found" >&2
  exit 2
fi

if [ $mode = fix ]; then
  # Fixes are gathered first and applied once, so a header renamed from
  # several translation units is edited one time.
  fixes=$(mktemp -d)
  trap 'rm -rf "$fixes"' EXIT
  printf '%s\n' "${sources[@]}" | xargs -P "$jobs" -I{} sh -c \
    '"$0" "$4" -p "$1" --quiet --extra-arg=-w --warnings-as-errors= --export-fixes="$2/$(echo "$3" | md5sum | cut -c1-16).yaml" "$3" >/dev/null 2>&1 || true' \
    "$tidy" "$build_dir" "$fixes" {} "$config"
  clang-apply-replacements-16 "$fixes"
  exit 0
fi

log=$(mktemp)
trap 'rm -f "$log"' EXIT
status=0
printf '%s\n' "${sources[@]}" | xargs -P "$jobs" -n 4 "$tidy" "$config" -p "$build_dir" --quiet --extra-arg=-w >"$log" 2>&1 || status=$?
if [ $status != 0 ]; then
  grep -E 'error:|warning:' "$log" | sort -u >&2 || cat "$log" >&2
  echo "check-naming: names leave the house style (docs/style.md); scripts/check-naming.sh --fix renames most" >&2
  exit 1
fi
