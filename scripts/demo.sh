#!/usr/bin/env bash
# The main job: installs what the demo needs and is missing, builds the three
# modules at the Octave prompt with the project's build script (into
# build/octave/, with their help files; modules that are up to date are not
# built again), then thins the edges of a real image and trains decision
# trees on a real data set. The pictures land in build/demo/.
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
