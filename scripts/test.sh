#!/usr/bin/env bash
# Builds everything and runs every test suite; ends with one line of totals.
set -uo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh || exit 1

log=$(mktemp)
trap 'rm -f "$log"' EXIT
status=0

stage() {
  echo "== $1"
  shift
  "$@" 2>&1 | tee -a "$log"
  local rc=${PIPESTATUS[0]}
  if ((rc != 0)); then
    echo "== stage failed (exit $rc)"
    status=1
  fi
}

build() {
  cmake --preset "$1" >/dev/null && cmake --build --preset "$1" -j"$(nproc)"
}

stage "release build" build release
stage "release tests" ctest --preset release
# Octave as the host: the modules built by the prompt build script, then the
# Octave suite, which also compares them with the release modules above.
octave_eval() {
  octave-cli --norc --quiet --no-window-system --eval "$1"
}
stage "octave build" octave_eval "addpath('$PWD/matlab'); buildModules('$PWD/build/octave')"
stage "octave tests" octave_eval "addpath('$PWD/tests/octave');
  exit(runOctaveSuite('$PWD/build/octave', '$PWD/build/release/mex', '$PWD/build/release/tests/crossHost') > 0)"
stage "sanitizer build" build asan
stage "sanitizer tests" ctest --preset asan
# crestThin's other builds, checked against the release module: the serial
# (macOS) variant, and the Windows module cross-built and run under Wine.
stage "serial build" build serial
stage "serial tests" ctest --preset serial
stage "windows build" build windows
stage "windows tests" ctest --preset windows

# Totals over every suite: ctest's "tests failed out of N" lines and the
# plain "N passed, N failed" lines of the other runners.
read -r passed failed < <(awk '
  /tests passed, [0-9]+ tests failed out of/ { f += $4; n = $NF; p += n - $4; next }
  /^[0-9]+ passed, [0-9]+ failed/ { p += $1; f += $3 }
  END { print p + 0, f + 0 }' "$log")
((failed == 0 && status == 0)) || status=1
echo "total: $passed passed, $failed failed"
exit $status
