function splitScanTests()
%SPLITSCANTESTS  splitScan in Octave: classes, shapes, worked examples, bad calls.
printf('splitScan\n');
rand('state', 12);

% One feature of four samples, unit weights and class weights unless given:
% name, values, labels, weights, class weights, expected [impurity threshold gain].
examples = {
    'labels 1 1 2 2',                 [1 2 3 4], [1 1 2 2], [1 1 1 1], [1 1], [0, 2.5, 0.5]
    'labels 1 2 2 1: first of equals', [1 2 3 4], [1 2 2 1], [1 1 1 1], [1 1], [0.3333333333333333, 1.5, 0.16666666666666669]
    'equal values 5 5 5 7',           [5 5 5 7], [1 1 2 2], [1 1 1 1], [1 1], [0, 5, 0.5]
    'labels all 1: nothing recorded', [1 2 3 4], [1 1 1 1], [1 1 1 1], [1 1], [0, 0, 0]
    'zero-weight first sample',       [1 2 3 4], [1 1 2 2], [0 1 1 1], [1 1], [0, 2.5, 0.4444444444444444]
    'class weight 0 on class 1',      [1 2 3 4], [1 1 1 2], [1 1 1 1], [0 1], [0.75, 3.5, 0.1875]
    'class weight 2 on a pure node',  [1 2 3 4], [1 1 1 1], [1 1 1 1], [2 1], [0, 0, 0]};
for i = 1:rows(examples)
    [name, x, labels, weights, classWeights, expected] = examples{i, :};
    [~, order] = sort(x(:));
    [impurity, threshold, gain] = splitScan(single(x(:)), uint32(labels(:)), single(weights(:)), ...
                                            uint32(order - 1), numel(classWeights), 0, classWeights);
    expectSameBits(['example: ' name], [impurity, threshold, gain], expected);
end

% The descending order of the first example finds the same split.
[impurity, threshold, gain] = splitScan(single([1; 2; 3; 4]), uint32([1; 1; 2; 2]), ones(4, 1, 'single'), ...
                                        uint32([3; 2; 1; 0]), 2, 0, [1 1]);
expectSameBits('example: descending order', [impurity, threshold, gain], [0, 2.5, 0.5]);

% Classes and shapes: three 1-by-N double rows, zeros without samples.
for shape = {[9 4], [0 3], [1 3], [6 0]}
    [M, N] = deal(shape{1}(1), shape{1}(2));
    [X, labels, weights, order] = randomNode(M, N, 3);
    out = cell(1, 3);
    [out{:}] = splitScan(X, labels, weights, order, 3, 0, [1 1 1]);
    ok = all(cellfun(@(r) isa(r, 'double') && isreal(r) && isequal(size(r), [1 N]), out));
    if M < 2, ok = ok && all(cellfun(@(r) all(r == 0), out)); end
    expectTrue(sprintf('M = %d, N = %d: three 1-by-%d double rows', M, N, N), ok);
end

% Equivalent forms of one call give the same bits.
[X, labels, weights, order] = randomNode(40, 5, 3);
classWeights = [1 0.5 2];
reference = allRows(X, labels, weights, order, 3, 0, classWeights);
forms = {
    'K = 2.9 with two labels',    {X, min(labels, 2), weights, order, 2.9, 0, classWeights}, ...
                                  allRows(X, min(labels, 2), weights, order, 2, 0, classWeights)
    'argument 6 has no effect',   {X, labels, weights, order, 3, -7.5, classWeights}, reference
    'int32 labels and order',     {X, int32(labels), weights, int32(order), 3, 0, classWeights}, reference
    'sortedOrder of any shape',   {X, labels, weights, reshape(order, 8, []), 3, 0, classWeights}, reference
    'labels and weights as rows', {X, labels', weights', order, 3, 0, classWeights}, reference
    'longer classWeights',        {X, labels, weights, order, 3, 0, [classWeights 9]}, reference};
for i = 1:rows(forms)
    expectSameBits(['same bits: ' forms{i, 1}], allRows(forms{i, 2}{:}), forms{i, 3});
end

% Bad calls, each on an otherwise valid call of five samples, three features.
[X, labels, weights, order] = randomNode(5, 3, 2);
ok = {X, labels, weights, order, 2, 0, [1 1]};
badLabel = labels; badLabel(4) = 3;
zeroLabel = labels; zeroLabel(2) = 0;
negativeLabel = int32(labels); negativeLabel(5) = -1;
badOrder = order; badOrder(3, 2) = 5;
bad = {
    'six inputs',               ok(1:6),                       'notEnoughInputs', {'7 expected', '6 given'}
    'eight inputs',             [ok, {1}],                     'tooManyInputs',   {'7 expected', '8 given'}
    'double X',                 with(ok, 1, double(X)),        'wrongClass',      {'Argument 1 (X)', 'double'}
    'complex X',                with(ok, 1, complex(X, X)),    'notReal',         {'Argument 1 (X)'}
    '3-D X',                    with(ok, 1, ones(5, 3, 2, 'single')), 'notMatrix', {'Argument 1 (X)', '3 dimensions'}
    'double labels',            with(ok, 2, double(labels)),   'wrongClass',      {'Argument 2 (labels)', 'double'}
    'four labels',              with(ok, 2, labels(1:4)),      'wrongSize',       {'Argument 2 (labels)', '5 elements', 'holds 4'}
    'double weights',           with(ok, 3, double(weights)),  'wrongClass',      {'Argument 3 (weights)', 'double'}
    'six weights',              with(ok, 3, [weights; 1]),     'wrongSize',       {'Argument 3 (weights)', 'holds 6'}
    'int64 sortedOrder',        with(ok, 4, int64(order)),     'wrongClass',      {'Argument 4 (sortedOrder)', 'int64'}
    'short sortedOrder',        with(ok, 4, order(1:14)),      'wrongSize',       {'Argument 4 (sortedOrder)', '15 elements', 'holds 14'}
    'K empty',                  with(ok, 5, []),               'notScalar',       {'Argument 5 (K)', 'empty'}
    'K NaN',                    with(ok, 5, NaN),              'badValue',        {'Argument 5 (K)', 'NaN'}
    'K -1',                     with(ok, 5, -1),               'badValue',        {'Argument 5 (K)', '-1'}
    'K 0 with samples',         with(ok, 5, 0),                'badValue',        {'Argument 5 (K)', 'it is 0'}
    'K Inf',                    with(ok, 5, Inf),              'badValue',        {'Argument 5 (K)', 'Inf'}
    'K 1e10',                   with(ok, 5, 1e10),             'badValue',        {'Argument 5 (K)', '10000000000'}
    'single classWeights',      with(ok, 7, single([1 1])),    'wrongClass',      {'Argument 7 (classWeights)', 'single'}
    'one class weight for K 2', with(ok, 7, 1),                'wrongSize',       {'Argument 7 (classWeights)', 'at least 2', 'holds 1'}
    'label 3 with K 2',         with(ok, 2, badLabel),         'labelOutOfRange', {'Argument 2 (labels)', 'holds 3 at element 4'}
    'label 0',                  with(ok, 2, zeroLabel),        'labelOutOfRange', {'Argument 2 (labels)', 'holds 0 at element 2'}
    'int32 label -1',           with(ok, 2, negativeLabel),    'labelOutOfRange', {'Argument 2 (labels)', 'holds -1 at element 5'}
    'sortedOrder entry 5',      with(ok, 4, badOrder),         'indexOutOfRange', {'Argument 4 (sortedOrder)', 'holds 5', 'feature 2', 'position 3'}};
for i = 1:rows(bad)
    args = bad{i, 2};
    expectError(['error: ' bad{i, 1}], @() splitScan(args{:}), ['splitScan:' bad{i, 3}], bad{i, 4});
end
expectError('error: four outputs', @() fourOutputs(ok), 'splitScan:tooManyOutputs', {'at most 3', '4 requested'});
end

function [X, labels, weights, order] = randomNode(M, N, K)
X = single(round(rand(M, N) * 20) / 4);  % repeated values on purpose
labels = uint32(randi(K, M, 1));
weights = single(rand(M, 1));
[~, order] = sort(X, 1);
order = uint32(order - 1);
end

function r = allRows(varargin)
[impurity, threshold, gain] = splitScan(varargin{:});
r = [impurity; threshold; gain];
end

function args = with(args, position, value)
args{position} = value;
end

function fourOutputs(args)
[a, b, c, d] = splitScan(args{:}); %#ok<ASGLU>
end
