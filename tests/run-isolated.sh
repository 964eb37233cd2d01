#!/usr/bin/env bash
# Runs one test in a private scratch folder: its own TMPDIR, XDG_CONFIG_HOME,
# HOME and working directory, removed afterwards.
set -u
scratch=$(mktemp -d "${TMPDIR:-/tmp}/velmora-test.XXXXXX")
mkdir -p "$scratch/tmp" "$scratch/config" "$scratch/home" "$scratch/work"
export TMPDIR="$scratch/tmp" XDG_CONFIG_HOME="$scratch/config" HOME="$scratch/home"
export XDG_DATA_HOME="$scratch/home/.local/share" XDG_CACHE_HOME="$scratch/home/.cache"
export XDG_RUNTIME_DIR="$scratch/runtime"; mkdir -p -m 700 "$XDG_RUNTIME_DIR"
# A suite run inside a scheduler's task array must not hand its shard to the tests.
unset $(compgen -e | grep -E '^(SLURM_|SGE_TASK_|JOB_COMPLETION_INDEX$)')
cd "$scratch/work"
"$@"
rc=$?
chmod -R u+w "$scratch" 2>/dev/null
rm -rf "$scratch"
exit $rc
