"""The Python side of the demo (scripts/demo.sh): thins the edges of a
photograph that scikit-image ships with crestsplit.crest_thin and saves the
pictures beside the Octave demo's; then thins the penny map that the Octave
demo wrote and checks that both hosts give the same bits.

    venv/bin/python python/examples/demo.py OUTDIR
"""

import os
import sys
import time
from typing import Any

import numpy
from numpy.typing import NDArray
from scipy import io
from skimage import data, filters, io as image_io

import crestsplit

RADIUS, MARGIN, MULTIPLIER = 2, 4, 1.0


def edge_maps(image: NDArray[Any]) -> tuple[NDArray[numpy.float32], NDArray[numpy.float32]]:
    """Edge strength (10% of the strongest and up) and orientation across the edge."""
    smooth = filters.gaussian(image.astype(numpy.float32), sigma=1.5, preserve_range=True)
    gy, gx = numpy.gradient(smooth)  # along the rows, along the columns
    strength = numpy.hypot(gx, gy).astype(numpy.float32)
    strength[strength < 0.1 * strength.max()] = 0
    return strength, numpy.arctan2(gy, gx).astype(numpy.float32)


def colour(strength: NDArray[numpy.float32], top: float) -> NDArray[numpy.uint8]:
    """Dark blue (weak) to yellow (strongest); black where there is no edge."""
    anchors = numpy.array([[45, 60, 150], [33, 145, 140], [94, 201, 98], [253, 231, 37]], numpy.float64)
    v = numpy.clip(strength / top, 0, 1)
    rgb = numpy.stack([numpy.interp(v, numpy.linspace(0, 1, 4), anchors[:, c]) for c in range(3)], axis=-1)
    rgb[strength == 0] = 0
    return rgb.astype(numpy.uint8)


def photograph(out_dir: str) -> None:
    image = data.camera()
    strength, orientation = edge_maps(image)
    start = time.perf_counter()
    thinned = crestsplit.crest_thin(strength, orientation, RADIUS, MARGIN, MULTIPLIER)
    elapsed = time.perf_counter() - start
    before, after = numpy.count_nonzero(strength), numpy.count_nonzero(thinned)
    print(f"crest_thin on scikit-image's camera photograph {image.shape}, radius {RADIUS}, margin {MARGIN}:")
    print(f"  edge pixels before {before}, after {after} ({100 * after / before:.0f}% kept), "
          f"{1000 * elapsed:.1f} ms")
    top = float(strength.max())
    grey = numpy.repeat(image[:, :, None], 3, axis=2)
    gap = numpy.full((image.shape[0], 8, 3), 255, numpy.uint8)
    panels = numpy.concatenate([grey, gap, colour(strength, top), gap, colour(thinned, top)], axis=1)
    path = os.path.join(out_dir, "pythonCamera.png")
    image_io.imsave(path, panels, check_contrast=False)
    print(f"  picture: {path} (the photograph, edge strength before and after thinning)")


def same_bits_as_octave(out_dir: str) -> bool:
    path = os.path.join(out_dir, "pennyMaps.mat")
    if not os.path.exists(path):
        print(f"  no {path}: run the Octave demo first")
        return False
    m = io.loadmat(path)
    edge, orientation, octave = m["edgeMap"], m["orientation"], m["thinned"]
    scalars = [float(m[k].ravel()[0]) for k in ("radius", "marginWidth", "multiplier")]
    mine = crestsplit.crest_thin(edge, orientation, *scalars)
    same = bool(mine.shape == octave.shape and mine.tobytes(order="F") == octave.tobytes(order="F"))
    print(f"The penny map {edge.shape} of the Octave demo, thinned by crest_thin and by Octave's crestThin: "
          f"{'the same bits' if same else 'DIFFERENT bits'} ({numpy.count_nonzero(mine)} edge pixels kept)")
    return same


def main() -> int:
    out_dir = sys.argv[1] if len(sys.argv) > 1 else "."
    os.makedirs(out_dir, exist_ok=True)
    photograph(out_dir)
    return 0 if same_bits_as_octave(out_dir) else 1


if __name__ == "__main__":
    sys.exit(main())
