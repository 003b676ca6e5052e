#!/usr/bin/env bash
# The main job: installs what the demo needs and is missing, builds the three
# modules at the Octave prompt with the project's build script (into
# build/octave/, with their help files; modules that are up to date are not
# built again), then thins the edges of a real image and trains decision
# trees on a real data set; then the Python package (crestsplit), installed
# into build/venv when its sources changed, thins a photograph and the Octave
# demo's map, which must give Octave's bits. The pictures land in build/demo/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh packages.txt
mkdir -p build/demo
echo "Building the modules into build/octave/ at the Octave prompt"
# --no-history: Octave 7 saves the command history on exit into
# ~/.local/share/octave/history and creates only the last folder of that
# path; where ~/.local/share does not exist yet (a new account), the write
# fails while Octave exits and it prints "error: ignoring const
# execution_exception& while preparing to exit".
octave-cli --norc --quiet --no-window-system --no-history --eval "
  addpath('$PWD/matlab');
  buildModules('$PWD/build/octave');
  addpath('$PWD/build/octave');
  fprintf('\n');
  demoKernels('$PWD/build/demo');"

# Python: Debian's, in a virtual environment that sees its packages. The
# package comes from the wheel that scripts/wheel.sh (or the tests) left in
# build/wheelhouse, when it is newer than the sources: no network. Otherwise
# pip builds it from this tree, fetching its build tools from PyPI.
venv=build/venv
stamp=$venv/installed
sources=(pyproject.toml VERSION CMakeLists.txt cmake modules.txt python contract modules common crest sweep binned gini)
if [[ ! -e $stamp || -n $(find "${sources[@]}" -newer "$stamp" -type f -print -quit) ]]; then
  echo "Installing the crestsplit package into $venv"
  [[ -x $venv/bin/python ]] || /usr/bin/python3 -m venv --system-site-packages "$venv"
  tag=$("$venv/bin/python" -c 'import sys; print("cp%d%d" % sys.version_info[:2])')
  wheel=$(compgen -G "build/wheelhouse/crestsplit-*-$tag-$tag-*.whl" | head -n 1 || true)
  if [[ -n $wheel && -z $(find "${sources[@]}" -newer "$wheel" -type f -print -quit) ]]; then
    "$venv/bin/pip" install --quiet --no-index --no-deps --force-reinstall "$wheel"
  else
    "$venv/bin/pip" install --quiet . 2> >(grep -v "is ignored: it is neither" >&2)
  fi
  touch "$stamp"
fi
echo
"$venv/bin/python" python/examples/demo.py build/demo
