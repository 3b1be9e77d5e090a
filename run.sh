#!/usr/bin/env bash
# Set-up, build and start of Orvane on a Debian machine (as root, or with sudo at hand).
#   bash run.sh start   install what is missing, build the two programs, start the window in ./work
#   bash run.sh test    install what is missing, build, run every test, compare a clang build's
#                       reference runs with the g++ build's, fuzz each parser for a while, then
#                       run every test again under ASan + UBSan (the Python tests with the
#                       sanitizers' run-times preloaded into python3)
set -euo pipefail
cd "$(dirname "$(readlink -f "$0")")"

# Everything the project needs, each for the reason given in the README.
packages=(cmake g++ make pkg-config clang libclang-rt-14-dev
          qt6-base-dev libqcustomplot-dev libgtest-dev libgmock-dev libbenchmark-dev
          libsleef-dev libboost-math-dev pybind11-dev python3-dev python3-numpy python3-pytest python3-matplotlib
          python3-xarray python3-netcdf4 python3-distributed
          dpkg-dev file fonts-dejavu-core fonts-liberation xvfb xauth)

install_missing() {
  local missing=()
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing ${#missing[@]} missing packages (a few minutes on a new machine): ${missing[*]}"
  local sudo=""; [ "$(id -u)" -ne 0 ] && sudo=sudo
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

jobs=$(nproc 2>/dev/null || echo 2)

configure() {  # configure DIR [cmake options...]
  local dir=$1; shift
  echo "Configuring $dir ..."
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
}

build() {  # build DIR [cmake options...]: configure and build everything
  configure "$@"
  echo "Building everything in $1 ..."
  cmake --build "$1" -j "$jobs"
}

# The runs whose files must come out the same from every compiler and every x86-64 machine, with
# orvane-batch BATCH into OUT/<run>/: the three reference runs (with their recorded options), the
# largest run (5000 rays, orders 0-50, 100 000 angles, diffraction and Airy: 56 files), and the
# 3-D rays of a clear and an absorbing ellipsoid lit out of the plane of the ellipse.
reference_runs() {  # reference_runs BATCH OUT
  local batch=$1 out=$2 run
  for run in default spheroid spheroid-entry-fresnel; do
    rm -rf "${out:?}/$run" && mkdir -p "$out/$run"
    cp "tests/reference/$run/Orvane.par" "$out/$run/"
    # shellcheck disable=SC2046  # the recorded options are words
    "$batch" -C "$out/$run" $(cat "tests/reference/$run/options.txt") 2>"$out/$run.messages"
  done
  rm -rf "${out:?}/largest" && mkdir -p "$out/largest"
  printf '50 50 50\n0.6328\n1.333 0.0\n0 1\n0 50\n5000 100000\n0\n' >"$out/largest/Orvane.par"
  "$batch" -C "$out/largest" --diffraction --airy 2>"$out/largest.messages"
  rm -rf "${out:?}/rays3d" && mkdir -p "$out/rays3d"
  printf '40 30 25\n0.6328\n1.333 0.0\n20 1\n0 10\n200 1000\n0\n' >"$out/rays3d/Orvane.par"
  "$batch" -C "$out/rays3d" --no-total --rays3d "$out/rays3d/clear.dat" --rays3d-grid 100 --tilt 25 \
    --polarisation-angle 30 2>"$out/rays3d.messages"
  printf '40 30 25\n0.5893\n1.45 0.001\n-35 0\n0 6\n200 1000\n0\n' >"$out/rays3d/Orvane.par"
  "$batch" -C "$out/rays3d" --no-total --rays3d "$out/rays3d/absorbing.dat" --rays3d-grid 80 --tilt -40 \
    --polarisation-angle unpolarised 2>>"$out/rays3d.messages"
}

# The runs' manifests (Orvane_run.txt) name their time and command line and are left out.
same_files() {  # same_files WHAT DIR1 DIR2
  if diff -r -x Orvane_run.txt "$2" "$3" >/dev/null; then
    echo "$1: identical ($(find "$3" -type f ! -name Orvane_run.txt | wc -l) files)"
  else
    echo "$1 differ:"; diff -rq -x Orvane_run.txt "$2" "$3" || true
    return 1
  fi
}

# A clang Release build of orvane-batch must write the same files as the g++ build, byte for
# byte; so must the g++ build as an x86-64 machine without AVX or FMA runs it: glibc's libm then
# takes its variants without FMA, and the vector code its two-lane SSE2 path.
compare_builds() {
  CC=clang CXX=clang++ configure build-clang -DORVANE_BUILD_BENCH=OFF
  echo "Building orvane-batch with clang ..."
  cmake --build build-clang -j "$jobs" --target orvane-batch
  rm -rf build/compare
  reference_runs build/cli/orvane-batch build/compare/g++
  reference_runs build-clang/cli/orvane-batch build/compare/clang
  same_files "the runs of the clang and g++ builds" build/compare/g++ build/compare/clang
  GLIBC_TUNABLES=glibc.cpu.hwcaps=-AVX512F,-AVX2,-AVX,-FMA,-FMA4 ORVANE_MAX_LANES=2 \
    reference_runs build/cli/orvane-batch build/compare/sse2
  same_files "the runs without AVX and FMA and with them" build/compare/g++ build/compare/sse2
}

# Each fuzz target for a fixed time on its committed seeds (new finds stay in build-fuzz/).
fuzz_seconds=${ORVANE_FUZZ_SECONDS:-30}
fuzz() {
  CC=clang CXX=clang++ configure build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVANE_BUILD_GUI=OFF \
    -DORVANE_BUILD_BENCH=OFF -DORVANE_BUILD_FUZZ=ON
  echo "Building the fuzz targets ..."
  cmake --build build-fuzz -j "$jobs" --target fuzz_parameters fuzz_numbers
  local target
  for target in parameters numbers; do
    mkdir -p "build-fuzz/corpus-$target"
    echo "Fuzzing $target for ${fuzz_seconds} s ..."
    if ! "build-fuzz/fuzz/fuzz_$target" -max_total_time="$fuzz_seconds" -timeout=10 -artifact_prefix=build-fuzz/ \
         "build-fuzz/corpus-$target" "fuzz/corpus/$target" >"build-fuzz/fuzz_$target.log" 2>&1; then
      tail -30 "build-fuzz/fuzz_$target.log"
      echo "fuzz_$target found a fault: the input is in build-fuzz/ (crash-*, timeout-*, leak-*)"
      return 1
    fi
    grep -h "^Done" "build-fuzz/fuzz_$target.log" | sed "s/^/fuzz_$target: /"
  done
}

case "${1:-}" in
  start)
    install_missing
    configure build
    echo "Building orvane and orvane-batch (a few minutes the first time) ..."
    cmake --build build -j "$jobs" --target orvane orvane-batch
    mkdir -p work
    [ -f work/Orvane.par ] || cp docs/Orvane.par work/Orvane.par
    echo "Work folder: $(pwd)/work (Orvane.par is read there, the data files are written there)."
    echo "To stop: close the window, or press Ctrl+C here."
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
    compare_builds
    fuzz
    # Everything once more under AddressSanitizer and UndefinedBehaviorSanitizer (leaks included).
    build build-asan -DORVANE_SANITIZE=ON -DORVANE_BUILD_BENCH=OFF
    (cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j "$jobs")
    ;;
  *)
    echo "usage: bash run.sh start | bash run.sh test" >&2
    exit 2
    ;;
esac
