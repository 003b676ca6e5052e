%SPLITSCAN  Best class-weighted Gini split of every real-valued feature.
%   [impurity, threshold, gain] = splitScan(X, labels, weights, sortedOrder, ...
%                                           K, unused, classWeights)
%
%   For the samples that reach one node of a decision tree, finds for every
%   feature (column of X) the threshold with the lowest class-weighted Gini
%   impurity, by one sweep over the samples in the feature's presorted order.
%   Every position of the order is a candidate; the earliest position that
%   reaches the lowest value wins, and only values strictly below the node's
%   own impurity G0 are recorded.
%
%   The impurity of a set A with total sample weight W_A and class masses
%   m_A(k) is 1 - sum_k (classWeights(k)*m_A(k))^2 / W_A^2; a split's
%   impurity is (W_L*G(L) + W_R*G(R)) / W, W the node's total weight.
%
%   Inputs
%     X             real single M-by-N matrix: one row per sample, one
%                   column per feature.
%     labels        uint32 or int32 array of M elements: class numbers
%                   1..K, one per sample.
%     weights       real single array of M elements: sample weights.
%                   Negative weights are taken as they are: they enter
%                   every sum with their sign, so impurities and gains can
%                   leave their usual range (even reach -Inf and Inf).
%     sortedOrder   uint32 or int32 array of M*N elements (any shape, read
%                   as M-by-N): column j lists the ZERO-based sample indices
%                   0..M-1 sorted by X(:, j), for instance
%                   [~, order] = sort(X, 1); sortedOrder = uint32(order - 1).
%     K             numeric scalar, truncated toward zero: number of classes,
%                   at least 1 (0 is accepted when M is 0).
%     unused        a placeholder that must be present; it is never read,
%                   whatever its class.
%     classWeights  real double array of at least K elements: the weight of
%                   each class's mass (1 for plain Gini; 0 ignores a class).
%
%   Outputs (each a 1-by-N double row; element j belongs to feature j)
%     impurity      lowest split impurity found.
%     threshold     the split point: the midpoint, rounded to single, of
%                   the two feature values that meet there (halved first
%                   where their sum would overflow). With an ascending order
%                   the samples up to that position go left; where the two
%                   values are equal, or adjacent in single precision, the
%                   threshold equals one of them, so a test X < threshold
%                   does not reproduce the split exactly.
%     gain          G0 minus impurity.
%   A feature without a split below G0 has 0 in all three rows, as does
%   every feature when M < 2 or the node's total weight is 0. On a pure node
%   (all samples of one class) G0 and the split impurities are 0 only up to
%   rounding, so a split can be recorded with a gain of the order of 1e-16:
%   treat such a gain as no split.
%
%   Example
%     X = single([1 5; 2 5; 3 5; 4 7]);
%     labels = uint32([1; 1; 2; 2]);
%     [~, order] = sort(X, 1);
%     [impurity, threshold, gain] = splitScan(X, labels, ones(4, 1, 'single'), ...
%                                             uint32(order - 1), 2, 0, [1 1])
%     % impurity = [0 0], threshold = [2.5 5], gain = [0.5 0.5]
%
%   Notes
%     Features are divided over a team of at most min(OMP maximum, 4)
%     threads (the maximum is set with the environment variable
%     OMP_NUM_THREADS before the host starts). A thread is added only for
%     each 4096 sample-features of work (M times N): a smaller node runs on
%     the calling thread alone, because starting a team would cost it more
%     than its sweep. The results are bit-identical for every team size, and
%     on every platform. The macOS build runs serially.
%
%     A bad call raises an error whose identifier is splitScan:<reason> and
%     whose message names the argument and the offending value:
%       splitScan:notEnoughInputs, splitScan:tooManyInputs
%                               not exactly seven inputs
%       splitScan:tooManyOutputs  more than three outputs requested
%       splitScan:wrongClass, splitScan:notReal, splitScan:notMatrix
%                               an input of the wrong class (or sparse),
%                               complex, or an X with more than two
%                               dimensions
%       splitScan:tooLarge      X with more than 2147483647 rows or columns
%       splitScan:wrongSize     labels, weights or sortedOrder of the wrong
%                               length (an empty X beside labels is named as
%                               X), classWeights shorter than K
%       splitScan:notScalar     K empty or not numeric or logical
%       splitScan:badValue      K, truncated, outside 1..2147483647 (NaN
%                               and Inf included; 0 is accepted when X has
%                               no rows)
%       splitScan:labelOutOfRange   a label outside 1..K (sample and label
%                               are named)
%       splitScan:indexOutOfRange   a sortedOrder entry outside 0..M-1
%                               (feature and position are named), found
%                               as the sweep reads it and reported for the
%                               lowest such feature, whatever the threads
%       splitScan:outOfMemory   the sweep's scratch tables need more than
%                               the memory the system reports available
%                               (scratch under 64 MiB is not checked), or
%                               cannot be allocated; bytes are named
%
%   Build the module with buildModules.
%
%   See also splitScanBinned, crestThin, buildModules, sort.

%!test
%! % The example, with its printed values.
%! X = single ([1 5; 2 5; 3 5; 4 7]);
%! [~, order] = sort (X, 1);
%! [impurity, threshold, gain] = splitScan (X, uint32 ([1; 1; 2; 2]), ones (4, 1, "single"), ...
%!                                          uint32 (order - 1), 2, 0, [1 1]);
%! assert ({impurity, threshold, gain}, {[0 0], [2.5 5], [0.5 0.5]});
%!error id=splitScan:labelOutOfRange
%! splitScan (single ([1; 2]), uint32 ([1; 3]), ones (2, 1, "single"), uint32 ([0; 1]), 2, 0, [1 1])
