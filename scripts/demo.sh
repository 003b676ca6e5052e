#!/usr/bin/env bash
# The main job: installs what is missing, builds the three modules at the
# Octave prompt with the project's build script (into build/octave/), then
# thins the edges of a real image and trains decision trees on a real data
# set. The pictures land in build/demo/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh packages.txt
mkdir -p build/demo
octave-cli --norc --quiet --no-window-system --eval "
  addpath('$PWD/matlab');
  buildModules('$PWD/build/octave');
  addpath('$PWD/build/octave');
  demoKernels('$PWD/build/demo');"
