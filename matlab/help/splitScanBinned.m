%SPLITSCANBINNED  Best class-weighted Gini split of listed 8-bit binned features.
%   [impurity, threshold, gain] = splitScanBinned(binnedData, labels, weights, ...
%       B, nodeSamples, candidateFeatures, K, unused, classWeights, threadLimit)
%
%   For the samples of one decision-tree node (listed in nodeSamples), finds
%   for every listed feature the bin threshold with the lowest
%   class-weighted Gini impurity, from cumulative class histograms over the
%   B bins. Thresholds j = 0..B-2 are tried in increasing order; the lowest
%   bin that reaches the lowest value wins, and only values strictly below
%   the node's own impurity G0 are recorded. The impurity is the one of
%   splitScan (class masses scaled by classWeights, normalised by the plain
%   total sample weight).
%
%   Inputs
%     binnedData         real uint8 M-by-P matrix: one row per sample, one
%                        column per feature, each value a bin 0..B-1.
%     labels             uint32 or int32 array of at least M elements:
%                        class numbers 1..K, one per sample.
%     weights            real single array of at least M elements: sample
%                        weights. Negative weights are taken as they are:
%                        they enter every sum with their sign, so
%                        impurities and gains can leave their usual range.
%     B                  numeric scalar, truncated toward zero: number of
%                        bins, at least 1 (256 covers every uint8 value;
%                        a larger B gives the same results as 256).
%     nodeSamples        uint32 or int32 array (any shape): the ZERO-based
%                        rows of binnedData that reach the node; a row
%                        listed twice counts twice.
%     candidateFeatures  uint32 or int32 array (any shape) of F elements:
%                        the ZERO-based columns of binnedData to scan.
%     K                  numeric scalar, truncated toward zero: number of
%                        classes, at least 1.
%     unused             a placeholder that must be present; it is never
%                        read, whatever its class.
%     classWeights       real double array of at least K elements: the
%                        weight of each class's mass (1 for plain Gini).
%     threadLimit        numeric scalar, truncated toward zero: largest
%                        number of threads to use; below 1 runs one thread,
%                        above the OpenMP maximum runs the maximum.
%   The values of B and K, and the length of classWeights, are only checked
%   when nodeSamples is not empty; B and K must still be scalars.
%
%   Outputs (each a 1-by-F double row; element p belongs to the feature
%   candidateFeatures(p))
%     impurity   lowest split impurity found.
%     threshold  the bin j of that split: samples with a bin value of at
%                most j form the left side.
%     gain       G0 minus impurity.
%   A feature without a split below G0 has 0 in all three rows, as does
%   every feature when nodeSamples is empty. On a pure node (all listed
%   samples of one class) G0 and the split impurities are 0 only up to
%   rounding, so a split can be recorded with a gain of the order of 1e-16:
%   treat such a gain as no split.
%
%   Example
%     binnedData = uint8([0 3 0; 1 2 0; 2 1 1; 3 0 1]);
%     [impurity, threshold, gain] = splitScanBinned(binnedData, ...
%         uint32([1 1 2 2]), ones(1, 4, 'single'), 4, uint32(0:3), ...
%         uint32([2 0 1]), 2, 0, [1 1], 4)
%     % impurity = [0 0 0], threshold = [0 1 1], gain = [0.5 0.5 0.5]
%
%   Notes
%     Features are divided over one OpenMP team of at most min(threadLimit,
%     OMP maximum) threads. A thread is added only for each 1024
%     sample-features of work (listed samples times listed features): a
%     smaller node runs on the calling thread alone, because starting a team
%     would cost it more than its scan. The results are bit-identical for
%     every team size, and on every platform. The macOS build runs serially.
%
%     A bad call raises an error whose identifier is splitScanBinned:<reason>
%     and whose message names the argument and the offending value:
%       splitScanBinned:notEnoughInputs, splitScanBinned:tooManyInputs
%                                 not exactly ten inputs
%       splitScanBinned:tooManyOutputs  more than three outputs requested
%       splitScanBinned:wrongClass, splitScanBinned:notReal,
%       splitScanBinned:notMatrix   an input of the wrong class (or
%                                 sparse), complex, or binnedData with more
%                                 than two dimensions
%       splitScanBinned:tooLarge    binnedData with more than 2147483647
%                                 rows, or nodeSamples or candidateFeatures
%                                 with more than 2147483647 elements
%       splitScanBinned:wrongSize   labels or weights shorter than M,
%                                 classWeights shorter than K
%       splitScanBinned:notScalar   B, K or threadLimit empty or not
%                                 numeric or logical
%       splitScanBinned:badValue    B or K, truncated, outside
%                                 1..2147483647 (NaN and Inf included), or
%                                 a listed sample's bin value of B or more
%                                 (feature, sample and value are named),
%                                 found while the histograms are built and
%                                 reported for the lowest position in
%                                 candidateFeatures, whatever the threads
%       splitScanBinned:indexOutOfRange  a nodeSamples entry of M or more,
%                                 a candidateFeatures entry of P or more
%                                 (any entry when binnedData is empty)
%       splitScanBinned:labelOutOfRange  a listed sample's label outside 1..K
%       splitScanBinned:outOfMemory  the class histograms need more than
%                                 the memory the system reports available
%                                 (scratch under 64 MiB is not checked), or
%                                 cannot be allocated; bytes are named
%
%   Build the module with buildModules.
%
%   See also splitScan, crestThin, buildModules.

%!test
%! % The example, with its printed values.
%! binnedData = uint8 ([0 3 0; 1 2 0; 2 1 1; 3 0 1]);
%! [impurity, threshold, gain] = splitScanBinned (binnedData, uint32 ([1 1 2 2]), ones (1, 4, "single"), 4, ...
%!                                                uint32 (0:3), uint32 ([2 0 1]), 2, 0, [1 1], 4);
%! assert ({impurity, threshold, gain}, {[0 0 0], [0 1 1], [0.5 0.5 0.5]});
%!error id=splitScanBinned:badValue
%! splitScanBinned (uint8 ([0; 4]), uint32 ([1 2]), ones (1, 2, "single"), 4, uint32 (0:1), uint32 (0), 2, 0, [1 1], 1)
