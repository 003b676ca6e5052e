#!/usr/bin/env bash
# pythonTests.sh [LEG...]  the Python stage of scripts/test.sh, runnable alone
# after a release build (its platformReference records the MEX modules' calls).
#
# Builds the wheel for each interpreter with scripts/wheel.sh, from this tree,
# then runs the whole of tests/python against the INSTALLED wheel (pip install
# --no-index --only-binary :all: from build/wheelhouse), from a folder where
# the source tree's python/ is not importable, each leg in a fresh virtual
# environment:
#   debian  Debian's Python with Debian's numpy and test packages;
#   numpy2  the newest numpy 2 from PyPI (an interpreter that takes numpy 2.5,
#           3.12 or later, where there is one), with mypy --strict;
#   torch   Python 3.11 with torch 2.13.0's CPU build from its file on the
#           machine (skipped where either is missing).
# LEGs (default: all three) choose among them. Each leg writes its JUnit file
# into build/results (python-LEG.xml, and mypy.xml).
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD
results=$root/build/results
dir=$root/build/python
legs=("$@")
((${#legs[@]})) || legs=(debian numpy2 torch)
mkdir -p "$results"
rm -rf "$dir" && mkdir -p "$dir"
status=0

note() { echo "python: $*"; }
fail() { note "$*"; status=1; }
minor() { "$1" -c 'import sys; print(sys.version_info[1])' 2>/dev/null; }

# An interpreter of version 3.MINOR: on PATH, then pyenv's.
find_python() {
  local minor=$1 candidate
  for candidate in "$(command -v "python3.$minor" || true)" "${PYENV_ROOT:-$HOME/.pyenv}"/versions/3."$minor".*/bin/python3; do
    [[ -x $candidate && $(minor "$candidate") == "$minor" ]] && { "$candidate" -c "import sys; print(sys.executable)"; return 0; }
  done
  return 1
}

# torch 2.13.0's CPU build for Python 3.11, where pip's find-links has it. It
# is installed from that file alone: a plain `pip install torch` would fetch
# a CUDA build of several GB from PyPI.
torch_wheel() {
  local links folder
  links=$(pip3 config get global.find-links 2>/dev/null || true)
  for folder in $links /opt/wheels; do
    compgen -G "$folder/torch-2.13.0+cpu-cp311-cp311-*.whl" | head -n 1 && return 0
  done
  return 1
}

# junit FILE LEG  copies pytest's JUnit file into $results with the leg's
# name, counting errors as failures (the totals of test.sh read these).
junit() {
  /usr/bin/python3 - "$1" "$results/python-$2.xml" "python ($2)" <<'PY'
import sys, xml.etree.ElementTree as ET
tree = ET.parse(sys.argv[1])
for suite in tree.iter("testsuite"):
    a = dict(suite.attrib)
    suite.attrib.clear()
    suite.attrib.update(name=sys.argv[3], tests=a["tests"], failures=str(int(a["failures"]) + int(a["errors"])))
tree.write(sys.argv[2])
PY
}

# leg NAME PYTHON SETUP  a fresh virtual environment, the test packages
# (SETUP VENV installs them), the wheel from build/wheelhouse, the suite.
leg() {
  local name=$1 python=$2 setup=$3 here=$dir/$1 venv=$dir/$1/venv start=$SECONDS ok=0
  mkdir -p "$here"
  "$setup" "$venv" "$python" || { fail "$name: the virtual environment could not be set up"; return; }
  "$venv/bin/pip" install --quiet --no-index --only-binary :all: --find-links "$root/build/wheelhouse" crestsplit ||
    { fail "$name: the wheel did not install"; return; }
  (cd "$here" && "$venv/bin/python" -c '
import sys, numpy, crestsplit
assert crestsplit.__file__.startswith(sys.prefix), crestsplit.__file__
print(f"python ({sys.argv[1]}): Python {sys.version.split()[0]}, numpy {numpy.__version__}, crestsplit {crestsplit.__version__} from {crestsplit.__file__}")
' "$name") || { fail "$name: the installed package does not import"; return; }
  (cd "$here" && CRESTSPLIT_RECORDED_CALLS="$dir/recorded.calls" "$venv/bin/python" -m pytest -q -p no:cacheprovider \
    --junitxml="$here/pytest.xml" "$root/tests/python") || ok=1
  junit "$here/pytest.xml" "$name" || ok=1
  ((ok == 0)) || fail "$name: tests failed"
  note "$name: $((SECONDS - start)) s"
}

# mypy --strict over the examples, the demo and the typed usage file, against
# the installed package's stubs; one test in the totals.
typecheck() {
  local venv=$dir/$1/venv
  (cd "$dir/$1" && "$venv/bin/python" -m mypy --config-file "$root/pyproject.toml" --junit-xml "$results/mypy.xml" \
    "$root/python/examples" "$root/tests/python/typed_usage.py") || fail "mypy --strict found errors"
}

wants() { [[ " ${legs[*]} " == *" $1 "* ]]; }

# The interpreters, and the wheel for each (once per CPython version).
debian=/usr/bin/python3
newest=$(find_python 12 || find_python 13 || find_python 14 || true)
[[ -z $newest && $(minor "$debian") -ge 12 ]] && newest=$debian
torch311=$(find_python 11 || true)
torchfile=$(torch_wheel || true)
wants debian || debian=
wants numpy2 || newest=
wants torch || torch311=
[[ -n $torch311 && -z $torchfile ]] && { note "torch: no torch 2.13.0 CPU wheel for Python 3.11 on this machine: leg skipped"; torch311=; }
wants torch && [[ -z $torch311 && -n $torchfile ]] && note "torch: no Python 3.11 here: leg skipped"
wants numpy2 && [[ -z $newest ]] && note "numpy2: no Python 3.12 or later here: leg skipped"
echo "python: interpreters: debian ${debian:-none}, numpy2 ${newest:-none}, torch ${torch311:-none}"

rm -rf build/wheelhouse
declare -A built=()
for python in "$debian" "$newest" "$torch311"; do
  [[ -n $python ]] || continue
  version=$(minor "$python")
  [[ -n ${built[$version]:-} ]] && continue
  built[$version]=1
  start=$SECONDS
  bash scripts/wheel.sh "$python" 2>&1 | grep -v "is ignored: it is neither" | grep -v '^INFO:auditwheel.wheel' ||
    fail "the wheel for $python did not build"
  note "wheel for Python 3.$version: $((SECONDS - start)) s"
done
ls -l build/wheelhouse

build/release/tests/platform/platformReference "$dir/recorded.calls" crestThin splitScan splitScanBinned ||
  fail "no recorded calls (build the release preset first)"

quiet_pip() { "$1/bin/pip" install --quiet "${@:2}" 2>&1 | grep -v "is ignored: it is neither"; return "${PIPESTATUS[0]}"; }
# Debian's numpy and test packages, seen from the environment.
debian_setup() { "$2" -m venv --system-site-packages "$1"; }
pypi_setup() { "$2" -m venv "$1" && quiet_pip "$1" -r scripts/pythonTests.txt numpy; }
# torch from its file alone, then what it and the tests need from PyPI
# (torch==2.13.0 is then there already: nothing more is fetched for it).
torch_setup() {
  "$2" -m venv "$1" && quiet_pip "$1" --no-deps "$torchfile" &&
    quiet_pip "$1" torch==2.13.0 -r scripts/pythonTests.txt numpy
}

[[ -n $debian ]] && leg debian "$debian" debian_setup
[[ -n $newest ]] && leg numpy2 "$newest" pypi_setup && typecheck numpy2
[[ -n $torch311 ]] && leg torch "$torch311" torch_setup
exit $status
