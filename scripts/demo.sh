#!/usr/bin/env bash
# The main job: installs what the demo needs and is missing, builds the three
# modules at the Octave prompt with the project's build script (into
# build/octave/, with their help files; modules that are up to date are not
# built again), then thins the edges of a real image and trains decision
# trees on a real data set; then the Python package (crestsplit), built into
# build/venv when its sources changed, thins a photograph and the Octave
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

# Python: Debian's, in a virtual environment that sees its packages.
venv=build/venv
stamp=$venv/installed
if [[ ! -e $stamp || -n $(find setup.py pyproject.toml modules.txt python contract modules common crest sweep binned \
                              gini -newer "$stamp" -type f -print -quit) ]]; then
  echo "Installing the crestsplit package into $venv"
  [[ -x $venv/bin/python ]] || /usr/bin/python3 -m venv --system-site-packages "$venv"
  "$venv/bin/pip" install --quiet --no-build-isolation --no-index .
  touch "$stamp"
fi
echo
"$venv/bin/python" python/examples/demo.py build/demo
