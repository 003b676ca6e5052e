function demoTree()
%DEMOTREE  Train small decision trees with splitScan and splitScanBinned.
%   demoTree grows a classification tree of depth 3 on Fisher's iris data
%   (150 flowers, 4 measurements in cm, 3 species) twice: once choosing
%   every split with splitScan on the real-valued measurements, once with
%   splitScanBinned on the measurements quantized to 16 equal-width bins.
%   It prints the root node's split search, both trees and their training
%   accuracy.
%
%   The data come with MATLAB's Statistics and Machine Learning Toolbox and
%   with Octave's statistics package (Debian: octave-statistics) as
%   fisheriris.mat.
%
%   See also splitScan, splitScanBinned, demoKernels, demoThinning.

[X, y, classNames, featureNames, source] = loadIris();
[M, P] = size(X);
K = numel(classNames);
w = ones(M, 1, 'single');
classWeights = ones(1, K);
fprintf('Fisher''s iris data: %d samples, %d features, %d classes (%s)\n', M, P, K, source);

% Real-valued search: every node presorts its samples per feature.
scan.best = @(idx) scanSplit(X, y, w, idx, K, classWeights);
scan.goesLeft = @(idx, f, t) X(idx, f) < t;
scan.describe = @(f, t) sprintf('%s < %.2f', featureNames{f}, t);

% Binned search: the measurements become bins 0..B-1 once, for all nodes.
B = 16;
lo = min(X, [], 1);
width = (max(X, [], 1) - lo) / B;
D = uint8(min(floor(bsxfun(@rdivide, bsxfun(@minus, X, lo), width)), B - 1));
binned.best = @(idx) binnedSplit(D, y, w, B, idx, K, classWeights);
binned.goesLeft = @(idx, f, j) D(idx, f) <= j;
binned.describe = @(f, j) sprintf('%s < %.2f (bins 0-%d of %d)', featureNames{f}, lo(f) + (j + 1) * width(f), j, B);

fprintf('\nRoot node: the best split of each feature (gain = the node''s impurity minus the split''s):\n');
[impurity, threshold, gain] = splitScan(single(X), y, w, sortedOrder(X), K, 0, classWeights);
printRows('splitScan', 'threshold', '%13.2f', featureNames, impurity, threshold, gain);
[impurity, threshold, gain] = splitScanBinned(D, y, w, B, uint32(0:M - 1), uint32(0:P - 1), K, 0, classWeights, 4);
printRows('splitScanBinned', 'last bin left', '%13d', featureNames, impurity, threshold, gain);

maxDepth = 3;
searches = {'splitScan', scan; 'splitScanBinned', binned};
for s = 1:size(searches, 1)
    search = searches{s, 2};
    tree = grow((1:M)', 0, maxDepth, y, K, search);
    fprintf('\nTree grown with %s (depth at most %d):\n', searches{s, 1}, maxDepth);
    printTree(tree, '  ', classNames);
    predicted = arrayfun(@(i) predict(tree, i, search), (1:M)');
    correct = sum(predicted == double(y));
    fprintf('Training accuracy with %s: %.1f%% (%d of %d)\n', searches{s, 1}, 100 * correct / M, correct, M);
end
fprintf(['\n* Inside equal values: splitScan scores every position in a feature''s sorted order,\n' ...
         '  also one between two flowers with the same value. No threshold can split equal\n' ...
         '  values: the test "< t" sends every flower with the value t to the right. The tree\n' ...
         '  applies that test, so its split gains less; "applied" is the gain it really gets.\n']);
end

function [X, y, classNames, featureNames, source] = loadIris()
source = '';
if exist('OCTAVE_VERSION', 'builtin')
    [~, packages] = pkg('list');
    for i = 1:numel(packages)
        candidate = fullfile(packages{i}.dir, 'datasets', 'fisheriris.mat');
        if strcmp(packages{i}.name, 'statistics') && exist(candidate, 'file'), source = candidate; end
    end
else
    source = which('fisheriris.mat');
end
if isempty(source)
    error('demoTree:noData', 'fisheriris.mat not found: install Octave''s statistics package (Debian: octave-statistics).');
end
data = load(source);
X = single(data.meas);
[classNames, ~, index] = unique(data.species);
y = uint32(index(:));
featureNames = {'sepal length', 'sepal width', 'petal length', 'petal width'};
end

function order = sortedOrder(X)
[~, order] = sort(X, 1);
order = uint32(order - 1);
end

function [f, t, g] = scanSplit(X, y, w, idx, K, classWeights)
Xn = X(idx, :);
[~, threshold, gain] = splitScan(Xn, y(idx), w(idx), sortedOrder(Xn), K, 0, classWeights);
[g, f] = max(gain);
t = threshold(f);
end

function [f, j, g] = binnedSplit(D, y, w, B, idx, K, classWeights)
[~, bin, gain] = splitScanBinned(D, y, w, B, uint32(idx - 1), uint32(0:size(D, 2) - 1), K, 0, classWeights, 4);
[g, f] = max(gain);
j = bin(f);
end

function node = grow(idx, depth, maxDepth, y, K, search)
% A leaf holds the class counts of its samples; an inner node the split.
node.counts = accumarray(double(y(idx)), 1, [K 1])';
[~, node.class] = max(node.counts);
node.feature = 0;
if depth == maxDepth || nnz(node.counts) < 2, return, end
[f, t, g] = search.best(idx);
if ~(g > 0), return, end
left = search.goesLeft(idx, f, t);
if all(left) || ~any(left), return, end
node.feature = f;
node.threshold = t;
node.gain = g;
% The sweep scores every position of the sorted order, also one inside a run
% of equal values, whose threshold is then that value; a threshold test
% sends the whole run one way, so the split it realises can score lower.
leftCounts = accumarray(double(y(idx(left))), 1, [K 1])';
node.appliedGain = gini(node.counts) - (sum(leftCounts) * gini(leftCounts) + ...
    sum(node.counts - leftCounts) * gini(node.counts - leftCounts)) / sum(node.counts);
node.left = grow(idx(left), depth + 1, maxDepth, y, K, search);
node.right = grow(idx(~left), depth + 1, maxDepth, y, K, search);
node.text = search.describe(f, t);
end

function c = predict(node, i, search)
while node.feature > 0
    if search.goesLeft(i, node.feature, node.threshold)
        node = node.left;
    else
        node = node.right;
    end
end
c = node.class;
end

function printTree(node, indent, classNames)
if node.feature == 0
    fprintf('%s%s  (%d of %d samples)\n', indent, classNames{node.class}, max(node.counts), sum(node.counts));
    return
end
note = '';
if abs(node.appliedGain - node.gain) > 1e-12
    note = sprintf(' inside equal values*, applied %.4f', node.appliedGain);
end
fprintf('%sif %s  (gain %.4f%s, %d samples)\n', indent, node.text, node.gain, note, sum(node.counts));
printTree(node.left, [indent '    '], classNames);
fprintf('%selse\n', indent);
printTree(node.right, [indent '    '], classNames);
end

function g = gini(counts)
% Plain Gini impurity: the demo weighs every sample and class by 1.
g = 1 - sum(counts .^ 2) / sum(counts) ^ 2;
end

function printRows(title, thresholdName, thresholdFormat, featureNames, impurity, threshold, gain)
fprintf('  %-17s %9s  %13s %9s\n', title, 'impurity', thresholdName, 'gain');
for f = 1:numel(featureNames)
    fprintf(['    %-15s %9.4f  ' thresholdFormat ' %9.4f\n'], featureNames{f}, impurity(f), threshold(f), gain(f));
end
end
