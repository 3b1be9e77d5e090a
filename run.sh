#!/usr/bin/env bash
# Set-up, build and start of Orvane on a Debian machine (as root, or with sudo at hand).
#   bash run.sh start   install what is missing, build, start the window in ./work
#   bash run.sh test    install what is missing, build, run every test, then all of them again under ASan + UBSan
set -euo pipefail
cd "$(dirname "$(readlink -f "$0")")"

packages=(cmake g++ make pkg-config qt6-base-dev libqcustomplot-dev libgtest-dev libgmock-dev
          libbenchmark-dev libboost-math-dev fonts-dejavu-core xvfb xauth
          python3-dev pybind11-dev python3-numpy python3-pytest python3-matplotlib dpkg-dev file)

install_missing() {
  local missing=()
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""; [ "$(id -u)" -ne 0 ] && sudo=sudo
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

jobs=$(nproc 2>/dev/null || echo 2)

build() {  # build DIR [cmake options...]
  local dir=$1; shift
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
}

case "${1:-}" in
  start)
    install_missing
    build build
    mkdir -p work
    [ -f work/Orvane.par ] || cp docs/Orvane.par work/Orvane.par
    cd work
    if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
      echo "No display: starting the window on a virtual X server (xvfb-run)."
      exec xvfb-run -a ../build/app/orvane
    fi
    exec ../build/app/orvane
    ;;
  test)
    install_missing
    build build
    export QT_QPA_PLATFORM=offscreen
    (cd build && ctest --output-on-failure -j "$jobs")
    # Everything once more under AddressSanitizer and UndefinedBehaviorSanitizer (leaks included).
    build build-asan -DORVANE_SANITIZE=ON -DORVANE_BUILD_BENCH=OFF
    (cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j "$jobs")
    ;;
  *)
    echo "usage: bash run.sh start | bash run.sh test" >&2
    exit 2
    ;;
esac
