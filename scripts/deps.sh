#!/usr/bin/env bash
# Installs the Debian packages that the build, the tests, the benchmarks and the tools
# need. Idempotent: it asks apt only when something is missing.
set -euo pipefail

packages=(
  # toolchain and test frameworks
  build-essential cmake ninja-build ccache pkg-config clang-format
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev libfuzzer-14-dev
  # ui/: window, drawing, text
  libsdl2-dev libsdl2-ttf-dev libpixman-1-dev fonts-dejavu-core
  # effect/: picture files
  libturbojpeg0-dev libjpeg62-turbo-dev libpng-dev libexif-dev libwebp-dev
  # capture/: cameras
  libv4l-dev v4l-utils
  # app/: mail and links
  xdg-utils
  # reachability/: network namespaces in the tests
  iproute2
  # bench/: the peers we measure against
  rapidjson-dev nlohmann-json3-dev libboost-json1.81-dev libsimdjson-dev libssl-dev
  # screenshots under a real X server
  xvfb xauth
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
