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
  # http/: transport, gzip, TLS, cookies' public suffixes, proxy auto-configuration
  libcurl4-openssl-dev zlib1g-dev libssl-dev libpsl-dev duktape-dev openssl ca-certificates
  # http/: the persistent credential store (Secret Service)
  libsecret-1-dev
  # http/ tests and benchmarks: the servers they start on loopback (squid brings its
  # basic_ncsa_auth and ntlm_fake_auth helpers), the curl command, and a private
  # session bus with a Secret Service for the credential store's tests
  nginx apache2 apache2-utils squid curl dbus-daemon gnome-keyring
  # bench/: the peers we measure against
  rapidjson-dev nlohmann-json3-dev libboost-json1.81-dev libsimdjson-dev libssl-dev
  # screenshots under a real X server
  xvfb xauth
  # install and packaging: manual pages, desktop file checks, Debian packages
  help2man desktop-file-utils appstream dpkg-dev file
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
# Server packages (nginx, apache2, squid) must not start system-wide services: the tests
# start their own instances on loopback. A policy-rc.d that refuses every start stops
# the packages' scripts from launching them while we install.
policy=/usr/sbin/policy-rc.d
made_policy=""
if [ ! -e "$policy" ]; then
  printf '#!/bin/sh\nexit 101\n' | $sudo tee "$policy" > /dev/null
  $sudo chmod 755 "$policy"
  made_policy=1
fi
status=0
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" || status=$?
[ -n "$made_policy" ] && $sudo rm -f "$policy"
exit $status
