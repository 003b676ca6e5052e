function splitScanBinnedTests()
%SPLITSCANBINNEDTESTS  splitScanBinned in Octave: classes, shapes, worked examples, bad calls.
printf('splitScanBinned\n');
rand('state', 13);

% One feature, samples 0..3 all listed, K = 2, unit weights unless given:
% name, bin values, labels, weights, B, class weights, expected [impurity threshold gain].
examples = {
    'bins 0 1 2 3, labels 1 1 2 2',  [0 1 2 3], [1 1 2 2], [1 1 1 1], 4, [1 1], [0, 1, 0.5]
    'the same with B = 8',           [0 1 2 3], [1 1 2 2], [1 1 1 1], 8, [1 1], [0, 1, 0.5]
    'labels 1 2 2 1: lowest bin',    [0 1 2 3], [1 2 2 1], [1 1 1 1], 4, [1 1], [0.3333333333333333, 0, 0.16666666666666669]
    'gap between occupied bins',     [0 0 5 5], [1 1 2 2], [1 1 1 1], 8, [1 1], [0, 0, 0.5]
    'all samples in one bin',        [2 2 2 2], [1 1 2 2], [1 1 1 1], 4, [1 1], [0, 0, 0]
    'zero-weight sample',            [0 1 2 3], [1 1 2 2], [0 1 1 1], 4, [1 1], [0, 1, 0.4444444444444444]
    'class weights 2 and 1',         [0 1 2 3], [1 1 2 2], [1 1 1 1], 4, [2 1], [-1.5, 1, 1.25]
    'labels all 1',                  [0 1 2 3], [1 1 1 1], [1 1 1 1], 4, [1 1], [0, 0, 0]
    'B = 1',                         [0 0 0 0], [1 1 2 2], [1 1 1 1], 1, [1 1], [0, 0, 0]};
for i = 1:rows(examples)
    [name, bins, labels, weights, B, classWeights, expected] = examples{i, :};
    expectSameBits(['example: ' name], ...
                   binned(uint8(bins(:)), uint32(labels), single(weights), B, uint32(0:3), uint32(0), 2, 0, classWeights, 2), ...
                   expected');
end

% Feature list and sample list.
data = uint8([0 3 0; 1 2 0; 2 1 1; 3 0 1]);
labels = uint32([1 1 2 2]);
unit = ones(1, 4, 'single');
expectSameBits('features 2, 0, 1 in list order', binned(data, labels, unit, 4, uint32(0:3), uint32([2 0 1]), 2, 0, [1 1], 2), ...
               [0 0 0; 0 1 1; 0.5 0.5 0.5]);
expectSameBits('samples 1, 2, 3 only', binned(data, labels, unit, 4, uint32(1:3), uint32(0), 2, 0, [1 1], 2), ...
               [0; 1; 0.4444444444444444]);
expectSameBits('a feature listed twice gives the same results twice', ...
               binned(data, labels, unit, 4, uint32(0:3), uint32([1 1]), 2, 0, [1 1], 2), [0 0; 1 1; 0.5 0.5]);
twice = binned(data, labels, unit, 4, uint32([0 0 1 2 3]), uint32(0), 2, 0, [1 1], 2);
expectSameBits('a sample listed twice counts twice', twice, ...
               binned(data([1 1 2 3 4], :), labels([1 1 2 3 4]), ones(1, 5, 'single'), 4, uint32(0:4), uint32(0), 2, 0, [1 1], 2));
expectSameBits('B = 4.9 acts as 4, K = 2.9 as 2', binned(data, labels, unit, 4.9, uint32(0:3), uint32([2 0 1]), 2.9, 0, [1 1], 2), ...
               binned(data, labels, unit, 4, uint32(0:3), uint32([2 0 1]), 2, 0, [1 1], 2));

% Classes and shapes: three 1-by-F double rows.
[data, labels, weights, samples, features] = randomNode(50, 7, 16, 3);
for F = [0 1 5]
    out = cell(1, 3);
    [out{:}] = splitScanBinned(data, labels, weights, 16, samples, features(1:F), 3, 0, [1 1 1], 2);
    expectTrue(sprintf('F = %d: three 1-by-%d double rows', F, F), ...
               all(cellfun(@(r) isa(r, 'double') && isreal(r) && isequal(size(r), [1 F]), out)));
end
empty = binned(data, labels, weights, 16, uint32([]), features, 3, 0, [1 1 1], 2);
expectTrue('empty nodeSamples: all zeros', isequal(size(empty), [3 numel(features)]) && all(empty(:) == 0));
expectSameBits('empty nodeSamples needs no valid B or K', binned(data, labels, weights, 0, uint32([]), features, 0, 0, [], 2), empty);

% Equivalent forms and thread limits give the same bits.
reference = binned(data, labels, weights, 16, samples, features, 3, 0, [1 0.5 2], 1);
forms = {
    'int32 labels, samples and features', {data, int32(labels), weights, 16, int32(samples), int32(features), 3, 0, [1 0.5 2], 1}
    'sample and feature lists as columns', {data, labels, weights, 16, samples', features', 3, 0, [1 0.5 2], 1}
    'argument 8 has no effect',           {data, labels, weights, 16, samples, features, 3, 99, [1 0.5 2], 1}
    'longer labels and weights',          {data, [labels 7], [weights 3], 16, samples, features, 3, 0, [1 0.5 2], 1}};
for i = 1:rows(forms)
    expectSameBits(['same bits: ' forms{i, 1}], binned(forms{i, 2}{:}), reference);
end
for limit = [2 3 8 0 -2]
    expectSameBits(sprintf('thread limit %d gives the bits of limit 1', limit), ...
                   binned(data, labels, weights, 16, samples, features, 3, 0, [1 0.5 2], limit), reference);
end

% Bad calls, each on an otherwise valid call.
data = uint8([0 3 0; 1 2 0; 2 1 1; 3 0 1]);
labels = uint32([1 1 2 2]);
ok = {data, labels, unit, 4, uint32(0:3), uint32([2 0 1]), 2, 0, [1 1], 2};
badBin = data; badBin(2, 3) = 4;
bad = {
    'nine inputs',                   ok(1:9),                          'notEnoughInputs', {'10 expected', '9 given'}
    'eleven inputs',                 [ok, {1}],                        'tooManyInputs',   {'10 expected', '11 given'}
    'double binnedData',             with(ok, 1, double(data)),        'wrongClass',      {'Argument 1 (binnedData)', 'double'}
    '3-D binnedData',                with(ok, 1, zeros(4, 3, 2, 'uint8')), 'notMatrix',   {'Argument 1 (binnedData)', '3 dimensions'}
    'double labels',                 with(ok, 2, double(labels)),      'wrongClass',      {'Argument 2 (labels)', 'double'}
    'three labels',                  with(ok, 2, labels(1:3)),         'wrongSize',       {'Argument 2 (labels)', 'at least 4', 'holds 3'}
    'double weights',                with(ok, 3, double(unit)),        'wrongClass',      {'Argument 3 (weights)', 'double'}
    'three weights',                 with(ok, 3, unit(1:3)),           'wrongSize',       {'Argument 3 (weights)', 'at least 4', 'holds 3'}
    'B 0',                           with(ok, 4, 0),                   'badValue',        {'Argument 4 (B)', 'it is 0'}
    'B NaN',                         with(ok, 4, NaN),                 'badValue',        {'Argument 4 (B)', 'NaN'}
    'B empty',                       with(ok, 4, []),                  'notScalar',       {'Argument 4 (B)', 'empty'}
    'double nodeSamples',            with(ok, 5, 0:3),                 'wrongClass',      {'Argument 5 (nodeSamples)', 'double'}
    'double candidateFeatures',      with(ok, 6, [2 0 1]),             'wrongClass',      {'Argument 6 (candidateFeatures)', 'double'}
    'nodeSamples entry 4 of 4 rows', with(ok, 5, uint32([0 4 1])),     'indexOutOfRange', {'Argument 5 (nodeSamples)', 'element 2 is 4'}
    'int32 nodeSamples entry -1',    with(ok, 5, int32([0 1 -1])),     'indexOutOfRange', {'Argument 5 (nodeSamples)', 'element 3 is -1'}
    'feature 3 of 3 columns',        with(ok, 6, uint32([0 3])),       'indexOutOfRange', {'Argument 6 (candidateFeatures)', 'element 2 is 3'}
    'K 0',                           with(ok, 7, 0),                   'badValue',        {'Argument 7 (K)', 'it is 0'}
    'K -Inf',                        with(ok, 7, -Inf),                'badValue',        {'Argument 7 (K)', '-Inf'}
    'single classWeights',           with(ok, 9, single([1 1])),       'wrongClass',      {'Argument 9 (classWeights)', 'single'}
    'one class weight for K 2',      with(ok, 9, 1),                   'wrongSize',       {'Argument 9 (classWeights)', 'at least 2', 'holds 1'}
    'char thread limit',             with(ok, 10, 'x'),                'notScalar',       {'Argument 10 (threadLimit)', 'char'}
    'listed label 3 with K 2',       with(ok, 2, uint32([1 3 2 2])),   'labelOutOfRange', {'Argument 2 (labels)', 'is 3'}
    'bin value 4 with B 4',          with(ok, 1, badBin),              'badValue',        {'Argument 1 (binnedData)', 'bin value 4', 'feature 2'}};
for i = 1:rows(bad)
    args = bad{i, 2};
    expectError(['error: ' bad{i, 1}], @() splitScanBinned(args{:}), ['splitScanBinned:' bad{i, 3}], bad{i, 4});
end
expectError('error: four outputs', @() fourOutputs(ok), 'splitScanBinned:tooManyOutputs', {'at most 3', '4 requested'});
end

function r = binned(varargin)
[impurity, threshold, gain] = splitScanBinned(varargin{:});
r = [impurity; threshold; gain];
end

function [data, labels, weights, samples, features] = randomNode(M, P, B, K)
data = uint8(randi(B, M, P) - 1);
labels = uint32(randi(K, 1, M));
weights = single(rand(1, M));
samples = uint32(randi(M, 1, 2 * M) - 1);  % repeats on purpose
features = uint32(randi(P, 1, 2 * P) - 1);
end

function args = with(args, position, value)
args{position} = value;
end

function fourOutputs(args)
[a, b, c, d] = splitScanBinned(args{:}); %#ok<ASGLU>
end
