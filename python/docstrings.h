// The functions' help texts (numpy style), with the signature line that
// inspect.signature and help() read.
#pragma once

namespace docstrings {

// What both split searches' help texts say alike: the class parameters, the
// start and the end of the Raises section (with the start of the examples).
#define SPLIT_CLASS_PARAMETERS                                           \
    "n_classes : int or float\n"                                         \
    "    Number of classes, truncated toward zero.\n"                    \
    "class_weights : numpy.ndarray of float64, at least n_classes elements\n"
#define SPLIT_ERRORS_BEGIN                                               \
    "Raises\n"                                                           \
    "------\n"                                                           \
    "crestsplit.ArgumentTypeError\n"                                     \
    "    (a TypeError) A wrong dtype or kind, or a wrong number of them.\n" \
    "crestsplit.ArgumentValueError\n"                                    \
    "    (a ValueError) A wrong shape or number of elements, "
#define SPLIT_ERRORS_END                                                 \
    "crestsplit.ScratchMemoryError\n"                                    \
    "    (a MemoryError) Scratch beyond the memory available.\n"         \
    "\n"                                                                 \
    "Each carries `.identifier`, the MATLAB module's error identifier.\n" \
    "\n"                                                                 \
    "Examples\n"                                                         \
    "--------\n"                                                         \
    ">>> import numpy, crestsplit\n"

inline constexpr const char *module =
    "Edge thinning and decision-tree split searches over numpy arrays.\n"
    "\n"
    "The same kernels and argument checks as the MATLAB modules crestThin,\n"
    "splitScan and splitScanBinned, with the same results to the last bit.\n";

inline constexpr const char *crestThin =
    "crest_thin($module, edge, orientation, radius, margin, multiplier, *, threads=None)\n--\n\n"
    "Thin an edge map along its orientations.\n"
    "\n"
    "Every edge pixel that is weaker, after multiplication by `multiplier`,\n"
    "than a point on the line through it along its own orientation (within\n"
    "`radius` steps on both sides, read by bilinear interpolation) is set to\n"
    "zero; then bands of `margin` pixels along the border fade out linearly.\n"
    "Gives MATLAB's crestThin(edge, orientation, radius, margin, multiplier,\n"
    "threads) bit for bit: result[r, c] is its element (r+1, c+1).\n"
    "\n"
    "Parameters\n"
    "----------\n"
    "edge : numpy.ndarray of float32, shape (H, W)\n"
    "    Edge strength per pixel, indexed [row, column]; 0 marks no edge. Any\n"
    "    memory order, strides or read-only array.\n"
    "orientation : numpy.ndarray of float32, shape (H, W)\n"
    "    Orientation per pixel in radians (steps of cos along the columns, sin\n"
    "    along the rows). A NaN or infinite orientation keeps its pixel.\n"
    "radius : int or float\n"
    "    Search radius in steps on each side, truncated toward zero; at most\n"
    "    65536; 0 or less keeps every pixel. Points beyond the map are read at\n"
    "    its border, so a radius beyond the map's longer side can still\n"
    "    suppress more pixels.\n"
    "margin : int or float\n"
    "    Width of the faded border band in pixels, truncated toward zero; above\n"
    "    half the shorter side it is that half.\n"
    "multiplier : float\n"
    "    Factor on the pixel's own value, rounded to single precision.\n"
    "threads : int, optional\n"
    "    Most threads to use, at least 1 (truncated toward zero); threads=1\n"
    "    starts no thread team. None: the OpenMP maximum. -1 is refused, not\n"
    "    read as \"all cores\": that is None. The result does not depend on it.\n"
    "\n"
    "Returns\n"
    "-------\n"
    "numpy.ndarray of float32, shape (H, W)\n"
    "    The thinned map, a new array: in C order when the pixels of each of\n"
    "    edge's rows are adjacent in memory (in either direction, as in\n"
    "    a[:, ::-1] of a C-ordered a), else in Fortran order. Its [r, c] are\n"
    "    edge's.\n"
    "\n"
    "Raises\n"
    "------\n"
    "crestsplit.ArgumentTypeError\n"
    "    (a TypeError) An argument of another dtype or kind, or a scalar that\n"
    "    is not one element; nothing is converted silently.\n"
    "crestsplit.ArgumentValueError\n"
    "    (a ValueError) A map that is not 2-D, an orientation map of another\n"
    "    shape, a radius above 65536 or threads below 1.\n"
    "\n"
    "Each carries `.identifier`, the MATLAB module's error identifier\n"
    "(crestThin:wrongClass, crestThin:badValue, ...).\n"
    "\n"
    "Examples\n"
    "--------\n"
    ">>> import numpy, crestsplit\n"
    ">>> edge = numpy.zeros((5, 5), numpy.float32); edge[:, 1:4] = [1, 2, 1]\n"
    ">>> orientation = numpy.zeros((5, 5), numpy.float32)\n"
    ">>> crestsplit.crest_thin(edge, orientation, 1, 0, 1.0)[2]\n"
    "array([0., 0., 2., 0., 0.], dtype=float32)\n";

inline constexpr const char *splitScan =
    "split_scan($module, X, labels, weights, sorted_order, n_classes, class_weights)\n--\n\n"
    "Best split of every real-valued feature of a decision-tree node.\n"
    "\n"
    "For every feature, the lowest class-weighted Gini impurity that one\n"
    "threshold reaches, that threshold (a single-precision midpoint) and the\n"
    "gain over the node's own impurity. Gives MATLAB's splitScan(X, labels,\n"
    "weights, sortedOrder, K, unused, classWeights) bit for bit; the\n"
    "placeholder is left out.\n"
    "\n"
    "Parameters\n"
    "----------\n"
    "X : numpy.ndarray of float32, shape (M, N)\n"
    "    Samples by features.\n"
    "labels : numpy.ndarray of uint32 or int32, M elements\n"
    "    One-based classes 1 ... n_classes.\n"
    "weights : numpy.ndarray of float32, M elements\n"
    "    Sample weights, taken as they are, unchecked: a NaN weight makes the\n"
    "    node's totals NaN, so no split is recorded (0 in all three outputs);\n"
    "    negative weights can take impurities and gains out of their ranges.\n"
    "sorted_order : numpy.ndarray of uint32 or int32, shape (M, N)\n"
    "    Column j lists the zero-based samples sorted by feature j, e.g.\n"
    "    numpy.argsort(X, axis=0, kind='stable').astype(numpy.uint32). Only\n"
    "    its range is checked: a column that is not a permutation counts\n"
    "    samples twice or never, and gives meaningless splits (impurities\n"
    "    outside 0 ... 1). NaN in X is not checked either: argsort puts it\n"
    "    last, and a split just before it has a NaN threshold.\n"
    SPLIT_CLASS_PARAMETERS
    "\n"
    "Returns\n"
    "-------\n"
    "impurity, threshold, gain : numpy.ndarray of float64, shape (N,)\n"
    "    A feature without a split below the node's impurity has 0 in all three.\n"
    "\n"
    SPLIT_ERRORS_BEGIN
    "a bad class\n"
    "    count, a label outside 1 ... n_classes or a sample index outside\n"
    "    0 ... M-1.\n"
    SPLIT_ERRORS_END
    ">>> X = numpy.array([[0.0], [1.0], [2.0], [3.0]], numpy.float32)\n"
    ">>> labels = numpy.array([1, 1, 2, 2], numpy.uint32)\n"
    ">>> order = numpy.argsort(X, axis=0, kind='stable').astype(numpy.uint32)\n"
    ">>> crestsplit.split_scan(X, labels, numpy.ones(4, numpy.float32), order, 2, numpy.ones(2))\n"
    "(array([0.]), array([1.5]), array([0.5]))\n";

inline constexpr const char *splitScanBinned =
    "split_scan_binned($module, binned, labels, weights, n_bins, node_samples, features, n_classes, "
    "class_weights, *, threads=None)\n--\n\n"
    "Best split between two bins of every listed 8-bit feature of a node.\n"
    "\n"
    "For every listed feature, the lowest class-weighted Gini impurity of a\n"
    "split between two bins, the bin left of it and the gain over the node.\n"
    "Gives MATLAB's splitScanBinned(binnedData, labels, weights, B,\n"
    "nodeSamples, candidateFeatures, K, unused, classWeights, threadLimit)\n"
    "bit for bit; the placeholder is left out.\n"
    "\n"
    "Parameters\n"
    "----------\n"
    "binned : numpy.ndarray of uint8, shape (M, P)\n"
    "    Bin values 0 ... n_bins-1, samples by features.\n"
    "labels : numpy.ndarray of uint32 or int32, at least M elements\n"
    "    One-based classes 1 ... n_classes.\n"
    "weights : numpy.ndarray of float32, at least M elements\n"
    "    Sample weights, unchecked: a listed NaN weight leaves every feature\n"
    "    without a split (0 in all three outputs).\n"
    "n_bins : int or float\n"
    "    Number of bins, truncated toward zero.\n"
    "node_samples : numpy.ndarray of uint32 or int32\n"
    "    Zero-based rows of `binned` in the node.\n"
    "features : numpy.ndarray of uint32 or int32\n"
    "    Zero-based columns of `binned` to scan.\n"
    SPLIT_CLASS_PARAMETERS
    "threads : int, optional\n"
    "    Most threads to use, at least 1 (truncated toward zero); threads=1\n"
    "    starts no thread team. None: the OpenMP maximum. The result does not\n"
    "    depend on it.\n"
    "\n"
    "Returns\n"
    "-------\n"
    "impurity, threshold, gain : numpy.ndarray of float64, shape (len(features),)\n"
    "    A feature without a split below the node's impurity has 0 in all three.\n"
    "\n"
    SPLIT_ERRORS_BEGIN
    "threads below\n"
    "    1, a bad count, an index outside `binned`, a listed sample's label\n"
    "    outside 1 ... n_classes or bin value of n_bins or more.\n"
    SPLIT_ERRORS_END
    ">>> binned = numpy.array([[0, 3, 0], [1, 2, 0], [2, 1, 1], [3, 0, 1]], numpy.uint8)\n"
    ">>> labels = numpy.array([1, 1, 2, 2], numpy.uint32)\n"
    ">>> crestsplit.split_scan_binned(binned, labels, numpy.ones(4, numpy.float32), 4,\n"
    "...     numpy.arange(4, dtype=numpy.uint32), numpy.array([2, 0, 1], numpy.uint32), 2, numpy.ones(2))\n"
    "(array([0., 0., 0.]), array([0., 1., 1.]), array([0.5, 0.5, 0.5]))\n";

}  // namespace docstrings
