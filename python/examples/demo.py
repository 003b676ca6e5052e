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
from skimage import data, filters

import crestsplit

RADIUS, MARGIN, MULTIPLIER = 2, 4, 1.0


def edge_maps(image: NDArray[Any]) -> tuple[NDArray[numpy.float32], NDArray[numpy.float32]]:
    """Edge strength (10% of the strongest and up) and orientation across the edge."""
    smooth = filters.gaussian(image.astype(numpy.float32), sigma=1.5, preserve_range=True)
    gy, gx = numpy.gradient(smooth)  # along the rows, along the columns
    strength = numpy.hypot(gx, gy).astype(numpy.float32)
    strength[strength < 0.1 * strength.max()] = 0
    return strength, numpy.arctan2(gy, gx).astype(numpy.float32)


def save_panels(path: str, image: NDArray[Any], strength: NDArray[numpy.float32],
                thinned: NDArray[numpy.float32]) -> None:
    """The photograph and the edge strength before and after thinning, each
    panel titled, on one colour scale (black: no edge)."""
    import matplotlib
    matplotlib.use("Agg")  # no display needed
    from matplotlib import pyplot

    scale = matplotlib.colormaps["viridis"].with_extremes(under="black")
    figure, axes = pyplot.subplots(1, 3, figsize=(15, 5.4), constrained_layout=True)
    axes[0].imshow(image, cmap="gray")
    axes[0].set_title("scikit-image's camera photograph")
    top = float(strength.max())
    for ax, edges, title in ((axes[1], strength, f"edge strength: {numpy.count_nonzero(strength)} pixels"),
                             (axes[2], thinned, f"thinned by crest_thin: {numpy.count_nonzero(thinned)} pixels")):
        shown = ax.imshow(numpy.where(edges > 0, edges, -1), cmap=scale, vmin=1e-6 * top, vmax=top)
        ax.set_title(title)
    for ax in axes:
        ax.set_axis_off()
    figure.colorbar(shown, ax=axes[1:], shrink=0.8, label="edge strength (black: no edge)")
    figure.savefig(path, dpi=100)
    pyplot.close(figure)


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
    path = os.path.join(out_dir, "pythonCamera.png")
    save_panels(path, image, strength, thinned)
    print(f"  picture: {path} (the photograph, edge strength before and after thinning, titled, with a colour scale)")


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
