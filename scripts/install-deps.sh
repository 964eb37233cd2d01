#!/usr/bin/env bash
# Installs the Debian 12 packages this project builds, runs and tests with.
# Idempotent: does nothing (and prints nothing) when everything is present.
set -euo pipefail

# libqt5svg5: the icons are SVG and need Qt's SVG image plugin at run time.
# libstb-dev: stb_image decodes the JPEG, TGA and BMP textures the encoder
# turns into PNG (libpng alone reads only PNG).
# libmeshoptimizer-dev: the encoder orders each mesh's triangles and vertices
# for the GPU's vertex cache and vertex fetch.
# clang-format: scripts/test.sh checks the layout of every C++ file with it.
# clang-tidy-16, clang-tools-16: scripts/check-naming.sh checks the names
# against the house style with clang-tidy's naming check, and its --fix mode
# applies the renames with clang-apply-replacements.
# clang-16, libfuzzer-16-dev, libclang-rt-16-dev: scripts/fuzz.sh builds the readers' fuzz targets
# with libFuzzer under AddressSanitizer.
# libdeflate-dev: the container writer deflates whole files with libdeflate,
# at the same level in about half the time zlib takes.
# assimp-utils, zip, unzip, python3: peer tools the tests and benchmarks
# measure against or check our files with.
# nettle-dev: the model encoder's MD5 of every file it reads (the application keeps those digests
# to tell whether a conversion is up to date); zlib has no MD5 and libmd is not installed by default.
# f3d: the peer the viewer's time-to-first-picture benchmark measures against.
# desktop-file-utils, lintian, shared-mime-info: the package test checks the
# desktop entry, the Debian package and the MIME definitions with them.
# slurm-wlm, munge: the cluster test runs a batch as a job array on a
# one-node Slurm cluster it starts itself (munged, slurmctld, slurmd).
packages=(
  build-essential cmake pkg-config ccache clang-format
  qtbase5-dev qtbase5-dev-tools qttools5-dev qttools5-dev-tools libqt5opengl5-dev libqt5svg5 libqt5svg5-dev
  zlib1g-dev libminizip-dev libdeflate-dev libjsoncpp-dev libpng-dev libglew-dev
  libassimp-dev assimp-utils libstb-dev libmeshoptimizer-dev nettle-dev
  xvfb xauth libgl1-mesa-dri mesa-utils
  zip unzip python3 f3d
  desktop-file-utils lintian shared-mime-info
  slurm-wlm munge
  clang-16 libfuzzer-16-dev libclang-rt-16-dev clang-tidy-16 clang-tools-16
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
