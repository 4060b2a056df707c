#!/usr/bin/env bash
# Sets up a Debian 12 machine for Quimbel, builds it, and runs it or its tests.
#   tools/dev.sh run    with a display: install what the program needs, build it
#                       alone (in build-run), start it
#   tools/dev.sh test   install what is missing, build, run every test
#   tools/dev.sh windows  install what is missing, cross-build for Windows with
#                       GCC and with clang and run those tests under Wine
#                       (also part of test)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

# What building and running the program needs, from Debian's archive: all that
# `run` installs.
run_packages=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libxcb1-dev zlib1g-dev
  fonts-noto-cjk qt6-translations-l10n
)
# What the tests, fuzzers, sanitizer and Windows builds and the package need
# besides.
test_packages=(
  locales
  libgtest-dev libbenchmark-dev
  clang lld libclang-rt-14-dev clang-format
  xvfb xauth x11-utils xdotool xclip dbus at-spi2-core python3-pyatspi openbox weston qt6-wayland
  valgrind dpkg-dev file desktop-file-utils appstream git imagemagick
  g++-mingw-w64-x86-64-posix googletest wine wine64 nsis
)

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# Installs those of the packages named that are missing. Quiet for the tests;
# for `run` (first argument "show") apt shows its progress, since on a new
# machine this is most of the wait.
install_missing() { # quiet|show, package...
  local mode=$1; shift
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -gt 0 ] || return 0
  echo "Installing: ${missing[*]}"
  if [ "$mode" = show ]; then
    # Recommends would bring systemd, GTK and Qt's translations: nothing the
    # program uses.
    as_root apt-get update
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
  else
    as_root apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
  fi
}

# Everything the test and windows commands use, and the German locale under
# which the tests read and write numbers (its decimal separator is ",").
install_for_tests() {
  install_missing quiet "${run_packages[@]}" "${test_packages[@]}"
  if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
    as_root sed -i 's/^# *\(de_DE.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' | as_root tee -a /etc/locale.gen >/dev/null
    as_root locale-gen >/dev/null
  fi
}

jobs=$(nproc)
werror=OFF
[ "${CI:-}" = "true" ] && werror=ON

build() { # build-dir, target, extra cmake arguments...
  local dir=$1 target=$2; shift 2
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQUIMBEL_WARNINGS_AS_ERRORS=$werror "$@" >/dev/null
  cmake --build "$dir" -j "$jobs" --target "$target"
}

# Runs each libFuzzer target for a while from a copy of its seeds, in a build of
# its own with clang and the sanitizers. Prints one line per target; on a
# crash, a failed check or a slow input it prints the log and fails.
fuzz() {
  local dir=build-fuzz seconds=30
  mkdir -p "$dir"
  if ! { cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
           -DCMAKE_CXX_COMPILER=clang++ -DQUIMBEL_WARNINGS_AS_ERRORS=$werror \
           -DQUIMBEL_BUILD_APP=OFF -DQUIMBEL_BUILD_TESTS=OFF \
           -DQUIMBEL_BUILD_BENCHMARKS=OFF -DQUIMBEL_BUILD_FUZZERS=ON &&
         cmake --build "$dir" -j "$jobs"; } >"$dir/build.log" 2>&1; then
    cat "$dir/build.log"
    echo "fuzz: the build failed" >&2
    return 1
  fi
  local seeds target corpus log
  for seeds in tests/fuzz/corpus/*/; do
    target=$(basename "$seeds")
    # libFuzzer adds what it finds to the first corpus folder: keep the seeds clean.
    corpus=$dir/corpus/$target
    log=$dir/$target.log
    rm -rf "$corpus" && mkdir -p "$corpus" "$dir/findings" && cp "$seeds"* "$corpus"/
    if ! "$dir/tests/fuzz/$target" -max_total_time=$seconds -timeout=5 -rss_limit_mb=2048 \
        -max_len=4096 -print_final_stats=1 -artifact_prefix="$dir/findings/$target-" \
        "$corpus" >"$log" 2>&1; then
      tail -n 60 "$log"
      echo "fuzz $target: FAILED (log $log, input in $dir/findings/)" >&2
      return 1
    fi
    echo "fuzz $target: ok, $(sed -n 's/^stat::number_of_executed_units: *//p' "$log") runs" \
      "in ${seconds}s, corpus $(find "$corpus" -type f | wc -l) inputs"
  done
}

# What each failed test printed, from ctest's own record of the run, so that
# the last lines of a run without its logs still say why (at most 40 lines a
# test, the end of its output; the first five tests).
failed_outputs() { # dir
  local record=$1/Testing/Temporary/LastTest.log
  [ -f "$record" ] || return 0
  awk '
    /^[0-9]+\/[0-9]+ Testing: / { name = $3; n = 0; inside = 0; next }
    /^Output:$/ { inside = 1; getline; next }
    /^<end of output>$/ { inside = 0; next }
    inside { lines[n++] = $0; next }
    /^Test Passed/ { n = 0; next }
    /^Test (Failed|Not Run)/ && shown++ < 5 {
      print "---- output of " name " (its last 40 lines) ----"
      for (i = (n > 40 ? n - 40 : 0); i < n; i++) print lines[i]
      n = 0
    }' "$record"
}

# Configures and builds a CMake preset in DIR, then runs its tests with the
# command given. Quiet unless something fails; NAME heads what it prints.
preset_suite() { # name, preset, dir, test command...
  local name=$1 preset=$2 dir=$3
  shift 3
  mkdir -p "$dir"
  if ! { cmake --preset "$preset" -DQUIMBEL_WARNINGS_AS_ERRORS=$werror &&
         cmake --build --preset "$preset" -j "$jobs"; } >"$dir/build.log" 2>&1; then
    tail -n 60 "$dir/build.log"
    echo "$name: the build failed (log $dir/build.log)" >&2
    return 1
  fi
  if ! "$@" >"$dir/ctest.log" 2>&1; then
    grep -v -E '^ *(Start|[0-9]+/[0-9]+ Test) ' "$dir/ctest.log" | tail -n 80
    failed_outputs "$dir"
    echo "$name: FAILED (log $dir/ctest.log)" >&2
    return 1
  fi
  echo "$name: $(grep -E 'tests passed' "$dir/ctest.log")"
}

# The whole suite again, built with the address and undefined-behaviour
# sanitizers (leaks included).
sanitize() {
  preset_suite sanitizers sanitize build-sanitize ctest --preset sanitize -j "$jobs"
}

# Test programs that Wine failed before they could run, or as they ended,
# and that tools/wine-run.sh therefore ran a second time: named after the
# suite, whether it passed or not.
second_runs() { # name, dir
  local name=$1 dir=$2 record
  for record in "$dir"/wine-prefix*.again; do
    [ -f "$record" ] || continue
    echo "$name: Wine failed these test programs before they ran or as they ended; each was run a second time:"
    sed 's/^/  /' "$record"
  done
}

# The Windows build (MinGW-w64), its tests run under Wine with an X server of
# their own (xvfb-run), in a Wine prefix inside build-windows. Wine's
# processes end with the X server's run, not after it.
windows() {
  rm -f build-windows/wine-prefix*.again
  local status=0
  preset_suite windows windows build-windows \
    xvfb-run -a -s "-screen 0 1280x800x24" bash -c '
      status=0
      ctest --preset windows -j "$1" || status=$?
      tools/wine-run.sh --prefix "$2/wine-prefix" --stop
      exit $status' windows-tests "$jobs" build-windows || status=$?
  second_runs windows build-windows
  return $status
}

# The same Windows sources built with clang and lld: a second compiler keeps
# them to standard C++ and the documented Windows API, as MSVC would need.
# Its tests under Wine too, but for the installer and the 200 % rerun, which
# the GCC build's cover.
windows_clang() {
  rm -f build-windows-clang/wine-prefix*.again
  local status=0
  preset_suite "windows (clang)" windows-clang build-windows-clang \
    xvfb-run -a -s "-screen 0 1280x800x24" bash -c '
      status=0
      ctest --preset windows-clang -j "$1" -E "^installer/|At200Percent$" || status=$?
      tools/wine-run.sh --prefix "$2/wine-prefix" --stop
      exit $status' windows-tests "$jobs" build-windows-clang || status=$?
  second_runs "windows (clang)" build-windows-clang
  return $status
}

# The end-to-end drives, in the Linux build folder. A loaded X server now and
# then drops a key or a click that xdotool sent, so a failed drive labelled
# x-input (one that presses keys or clicks) gets one more try, and a fault
# that is really there fails both; any other drive's failure stands. A pass
# that needed the second try is named in the last lines.
e2e() {
  local status=0 failed name retried=() others=()
  ctest --output-on-failure -j "$jobs" -L e2e || status=$?
  [ "$status" -eq 0 ] && return 0
  failed=$(sed -n 's/^[0-9]*://p' Testing/Temporary/LastTestsFailed.log 2>/dev/null)
  [ -n "$failed" ] || return "$status"
  local input
  input=$(ctest -N -L x-input | sed -n 's/^ *Test *#[0-9]*: //p')
  for name in $failed; do
    if grep -qx "$name" <<<"$input"; then retried+=("$name"); else others+=("$name"); fi
  done
  if [ ${#others[@]} -gt 0 ]; then
    echo "e2e: FAILED, with no second try for: ${others[*]}" >&2
    return 1
  fi
  echo "e2e: a second try for ${retried[*]}"
  local pattern
  pattern="^($(IFS='|'; echo "${retried[*]}"))\$"
  ctest --output-on-failure -j "$jobs" -R "$pattern" || {
    echo "e2e: FAILED twice: ${retried[*]}" >&2
    return 1
  }
  echo "e2e: passed, but only on a second try: ${retried[*]} (see the first try's output above)"
}

# Every C++ file of ours as .clang-format lays it out.
check_format() {
  if ! git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror; then
    echo "format: run clang-format -i on the files above" >&2
    return 1
  fi
  echo "format: ok"
}

case "${1:-}" in
  run)
    # Before anything is installed or built: without a display there is
    # nothing to show the window on.
    if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
      echo "No display found: start Quimbel from a desktop session (or set DISPLAY)." >&2
      exit 1
    fi
    install_missing show "${run_packages[@]}"
    # The program alone, without tests or benchmarks, in a folder of its own:
    # in build/ these options would stay in the cache and switch the test
    # command's build off, or each command would reconfigure and rebuild
    # build/ for the other.
    build build-run quimbel -DQUIMBEL_BUILD_TESTS=OFF -DQUIMBEL_BUILD_BENCHMARKS=OFF
    exec ./build-run/program/quimbel
    ;;
  test)
    install_for_tests
    check_format
    fuzz
    sanitize
    windows
    windows_clang
    # The Linux build also drives the Windows program end to end under Wine:
    # its X11 helpers are Linux programs.
    build build all -DQUIMBEL_WINDOWS_PROGRAM="$PWD/build-windows/program/quimbel.exe"
    cd build
    ctest --output-on-failure -j "$jobs" -LE e2e
    e2e
    ;;
  windows)
    install_for_tests
    windows
    windows_clang
    ;;
  *)
    echo "usage: $0 run|test|windows" >&2
    exit 2
    ;;
esac
