#!/usr/bin/env bash
# Builds everything and runs every test suite; ends with one line of totals.
set -uo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh packages.txt testPackages.txt || exit 1

# Every suite writes its results here as JUnit XML; the totals come from them.
results="$PWD/build/results"
rm -rf "$results"
mkdir -p "$results"
status=0

stage() {
  local start=$SECONDS
  echo "== $1"
  shift
  if ! "$@"; then
    echo "== stage failed"
    status=1
  fi
  echo "== $((SECONDS - start)) s"
}

build() {
  cmake --preset "$1" >/dev/null && cmake --build --preset "$1" -j"$(nproc)"
}

run_ctest() {
  ctest --preset "$1" --output-junit "$results/$1.xml"
}

# Every relative link of the README and docs/ names a file or folder of the
# repository and, with #anchor, one of that file's headings.
doc_links() {
  local file target path anchor broken=0
  for file in README.md docs/*.md; do
    while read -r target; do
      path=${target%%#*} anchor=${target#*#}
      [[ $anchor == "$target" ]] && anchor=
      if [[ -z $path ]]; then path=$file; else path=$(dirname "$file")/$path; fi
      if [[ ! -e $path ]] || { [[ -n $anchor ]] && ! sed -n 's/^#\+ //p' "$path" | tr 'A-Z ' 'a-z-' |
        tr -cd 'a-z0-9_\n-' | grep -qx -- "$anchor"; }; then
        echo "$file: broken link $target"
        broken=$((broken + 1))
      fi
    done < <(grep -o '](\([^)]*\))' "$file" | sed 's/^](\(.*\))$/\1/' | grep -v '^[a-z]*:')
  done
  echo "<testsuite name=\"docs\" tests=\"1\" failures=\"$((broken > 0))\"></testsuite>" >"$results/docs.xml"
  ((broken == 0))
}
stage "documentation links" doc_links
stage "release build" build release
stage "release tests" run_ctest release

# The Python package as its users install it: the wheel built from this tree
# and repaired into a manylinux wheel (scripts/wheel.sh), installed into fresh
# virtual environments, where the whole of tests/python runs, replaying the
# calls recorded through the release modules: over Debian's Python and numpy,
# over the newest numpy 2 from PyPI (with mypy --strict), and beside torch
# (scripts/pythonTests.sh says which interpreters, and skips a missing one).
stage "python wheel and tests" bash scripts/pythonTests.sh

# The benchmarks through the stand-in host, once each and untimed: whole trees
# on iris and single calls of 1, 16 and 4096 samples (splitScanBinned's in
# every version that runs here) must give the reference loops' bits
# (counters identical and same_tree). Timings: docs/performance.md.
bench_check() {
  local out="$results/bench.json" rows differ
  build/release/bench/benchmarks --benchmark_filter='growTree/iris|NodeCall(/[a-z0-9]+)?/n:(1|16|4096)/' \
    --benchmark_min_time=0.001 --benchmark_out="$out" --benchmark_out_format=json >/dev/null 2>&1 || return 1
  rows=$(grep -cE '"(identical|same_tree)": ' "$out")
  differ=$(grep -cE '"(identical|same_tree)": 0|"error_occurred": true' "$out")
  echo "$rows rows, $differ differ from the reference"
  echo "<testsuite name=\"bench\" tests=\"$rows\" failures=\"$differ\"></testsuite>" >"$results/bench.xml"
  ((rows > 0 && differ == 0))
}
stage "benchmarks against the reference loops" bench_check

# The demo as a new user meets it, twice, in a home folder of its own: no
# "error:" line; the first run builds the modules into build/octave/ and says
# so, the second finds them up to date and leaves them alone; the border-fade
# picture and the note on splits inside equal values are there.
demo_twice() {
  local home first="$results/demo.first.log" second="$results/demo.second.log" runs=0 failed=()
  home=$(mktemp -d)
  rm -rf build/octave
  HOME="$home" bash scripts/demo.sh >"$first" 2>&1 || runs=1
  touch "$home/built"
  HOME="$home" bash scripts/demo.sh >"$second" 2>&1 || runs=1
  ((runs == 0)) || failed+=("a run failed (see $first, $second)")
  ! grep -n 'error:' "$first" "$second" || failed+=("an error: line")
  grep -q '^building .*crestThin' "$first" || failed+=("the first run did not say what it builds")
  [[ -z $(find build/octave -name '*.mex' -newer "$home/built") ]] && ! grep -q '^building ' "$second" ||
    failed+=("the second run rebuilt a module")
  [[ -s build/demo/borderFade.png ]] && grep -q '^\* Inside equal values' "$second" ||
    failed+=("the border-fade picture or the note on equal values is missing")
  rm -rf "$home"
  echo "<testsuite name=\"demo\" tests=\"5\" failures=\"${#failed[@]}\"></testsuite>" >"$results/demo.xml"
  ((${#failed[@]} == 0)) || { printf 'demo: %s\n' "${failed[@]}"; return 1; }
}
stage "demo, twice" demo_twice

# Octave as the host: the modules built by the prompt build script (already
# built by the demo, so this finds them up to date), then the Octave suite,
# which also compares them with the release modules above.
octave_eval() {
  octave-cli --norc --quiet --no-window-system --no-history --eval "$1"
}
stage "octave build" octave_eval "addpath('$PWD/matlab'); buildModules('$PWD/build/octave')"
stage "octave tests" octave_eval "addpath('$PWD/tests/octave');
  exit(runOctaveSuite('$PWD/build/octave', '$PWD/build/release/mex', '$PWD/build/release/tests/crossHost',
                      '$results/octave.xml') > 0)"
# The Octave package as a new user meets it: made by scripts/package.sh from
# a copy of the tree's tracked files (no build outputs), then installed by an
# Octave with a home folder of its own into a package prefix of its own, so
# the user's packages stay untouched; its self-tests (pkg test) count.
octave_package() {
  local root=$PWD work status
  work=$(mktemp -d)
  mkdir -p "$work/tree" "$work/home" "$work/run"
  git ls-files -z | tar --null -T - -cf - | tar -xf - -C "$work/tree" &&
    bash "$work/tree/scripts/package.sh" octave >/dev/null &&
    (cd "$work/run" && env -u XDG_DATA_HOME -u XDG_CONFIG_HOME HOME="$work/home" octave-cli --quiet \
      --no-window-system --no-history --eval "addpath('$root/tests/octave');
        exit(packageTests('$(ls "$work"/tree/build/package/crestsplit-*.tar.gz)', '$work/prefix',
                          '$results/octavePackage.xml') > 0)")
  status=$?
  rm -rf "$work"
  return $status
}
stage "octave package" octave_package
# The fuzz targets (docs/fuzzing.md), built with Clang and libFuzzer: every
# kept input replayed, then a fixed, seeded number of new calls per module.
fuzz_check() { build fuzz && run_ctest fuzz; }
stage "fuzz targets" fuzz_check
stage "sanitizer build" build asan
stage "sanitizer tests" run_ctest asan
# The other builds, checked against the release modules on recorded calls:
# the serial variant built with Clang (Intel macOS); the Windows modules
# cross-built with MinGW-w64 and run under Wine; the arm64 modules cross-built
# with GCC and OpenMP, and serially with Clang (Apple silicon, checked against
# the serial variant), run under qemu-aarch64.
stage "serial build" build serial
stage "serial tests" run_ctest serial
stage "windows build" build windows
stage "windows tests" run_ctest windows
stage "arm64 build" build arm64
stage "arm64 tests" run_ctest arm64
stage "arm64Serial build" build arm64Serial
stage "arm64Serial tests" run_ctest arm64Serial

# Totals over every suite's JUnit file: a suite that wrote none failed above.
read -r tests failures < <(cat "$results"/*.xml 2>/dev/null | tr '\n\t' '  ' | grep -o '<testsuite [^>]*>' |
  sed -E 's/.* tests="([0-9]+)".* failures="([0-9]+)".*/\1 \2/' |
  awk '{ t += $1; f += $2 } END { print t + 0, f + 0 }')
((failures == 0 && status == 0)) || status=1
echo "total: $((tests - failures)) passed, $failures failed"
exit $status
