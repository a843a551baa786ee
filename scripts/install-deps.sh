#!/bin/sh
# Installs every Debian package zelmora needs to build, test and run.
# Idempotent: apt-get runs only when a package is missing.
set -eu

PACKAGES="
  cmake g++ make pkg-config
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  libmotif-dev libxt-dev libx11-dev
  csound libcsound64-dev sox jackd2 time
  liblo-dev liblo-tools librtmidi-dev libjack-jackd2-dev
  lv2-dev sordi liblilv-dev lilv-utils jalv ardour
  libpng-dev libfftw3-dev
  clang libclang-rt-14-dev llvm valgrind
  desktop-file-utils man-db
  xvfb xauth xdotool x11-apps imagemagick
  xfonts-base xfonts-75dpi xfonts-100dpi
"

missing=""
for p in $PACKAGES; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
  fi
done

[ -z "$missing" ] && exit 0

if [ "$(id -u)" -eq 0 ]; then SUDO=""; else SUDO="sudo"; fi
echo "Installing:$missing" >&2
export DEBIAN_FRONTEND=noninteractive
# jackd2 asks whether to enable real-time scheduling; the tests need none.
echo "jackd2 jackd/tweak_rt_limits boolean false" | $SUDO debconf-set-selections
$SUDO apt-get update -qq
# shellcheck disable=SC2086
$SUDO apt-get install -y -qq --no-install-recommends $missing >/dev/null
