function crestThinTests()
%CRESTTHINTESTS  crestThin in Octave: classes, shapes, worked examples, bad calls.
printf('crestThin\n');
rand('state', 11);

% Classes and shapes, empty maps included.
for shape = {[7 5], [1 9], [9 1], [0 5], [4 0], [0 0]}
    sz = shape{1};
    out = crestThin(randomEdges(sz), orientations(sz), 1, 1, 1, 2);
    expectTrue(sprintf('single %dx%d map in, single %dx%d map out', sz, sz), ...
               isa(out, 'single') && isequal(size(out), sz) && isreal(out));
end

% Radius 0 and margin 0 copy the map bit for bit, NaN and -0 included.
e = randomEdges([13 11]);
e(3, 4) = NaN;
e(5, 6) = -0;
o = orientations(size(e));
expectSameBits('radius 0, margin 0: exact copy', crestThin(e, o, 0, 0, 1, 2), e);
expectSameBits('radius 2.9 acts as 2, margin -0.5 as 0', crestThin(e, o, 2.9, -0.5, 1.01, 2), ...
               crestThin(e, o, 2, 0, 1.01, 2));
expectSameBits('margin 3.7 acts as 3', crestThin(e, o, 1, 3.7, 1, 2), crestThin(e, o, 1, 3, 1, 2));

% Orientation 0, radius 1: each pixel meets its left and right neighbours;
% the last column's right sample is clamped just inside the map.
row = single([0 4 2 4 4 0]);
expectSameBits('neighbours along the row, multiplier 1 (equal does not suppress)', ...
               middleRow(row, 0, 1), single([0 4 0 4 4 0]));
expectSameBits('neighbours along the row, multiplier 0.9', middleRow(row, 0, 0.9), single([0 4 0 0 0 0]));
expectSameBits('a one-row map samples like a row inside a taller map', ...
               crestThin(row, zeros(1, 6, 'single'), 1, 0, 1, 2), middleRow(row, 0, 1));
expectSameBits('NaN edge value kept; samples touching it never suppress', ...
               middleRow(single([0 1 NaN 1 0 0]), 0, 1), single([0 1 NaN 1 0 0]));
expectSameBits('negative edge value suppressed by a zero neighbour (to +0)', ...
               middleRow(single([0 -2 0 0 0 0]), 0, 1), zeros(1, 6, 'single'));
expectSameBits('a pixel facing a stronger neighbour is suppressed', ...
               middleRow(single([0 1 5 0 0 0]), 0, 1), single([0 0 5 0 0 0]));
for theta = [NaN Inf -Inf]
    expectSameBits(sprintf('orientation %g keeps its pixel', theta), ...
                   middleRow(single([0 1 5 0 0 0]), single([0 theta 0 0 0 0]), 1), single([0 1 5 0 0 0]));
end

% The multiplier is rounded to single: 1 - 2^-30 is 1, so equal values survive.
flat = 2 * ones(3, 'single');
expectSameBits('multiplier 1 - 2^-30 rounds to 1', crestThin(flat, zeros(3, 'single'), 1, 0, 1 - 2^-30, 1), flat);
out = crestThin(flat, zeros(3, 'single'), 1, 0, 0.999, 1);
expectTrue('multiplier 0.999 suppresses a pixel among equals', out(2, 2) == 0);

% Margin attenuation.
expectSameBits('margin 1 zeroes the outer ring only', crestThin(ones(5, 6, 'single'), zeros(5, 6, 'single'), 0, 1, 1, 1), ...
               single([zeros(1, 6); zeros(3, 1), ones(3, 4), zeros(3, 1); zeros(1, 6)]));
out = crestThin(ones(9, 'single'), zeros(9, 'single'), 0, 4, 1, 1);
expectTrue('margin 4: corner at row 1, column 2 gets 0.5 then 0.25', out(2, 3) == single(0.125) && out(5, 5) == 1);
expectSameBits('margin 20 on a 10x100 map fades bands of 5', ...
               crestThin(ones(10, 100, 'single'), zeros(10, 100, 'single'), 0, 20, 1, 2), fadedOnes(10, 100, 5));

% Scalars of any numeric or logical class.
e = randomEdges([9 9]);
o = orientations([9 9]);
expectSameBits('int32, uint8, single and logical scalars', crestThin(e, o, int32(1), uint8(1), single(1), true), ...
               crestThin(e, o, 1, 1, 1, 1));

% Thread bounds: every bound gives the bits of one thread.
e = randomEdges([61 83]);
o = orientations([61 83]);
one = crestThin(e, o, 2, 3, 1.01, 1);
for bound = [2 3 8 1000 0 -3 2.9]
    expectSameBits(sprintf('thread bound %g gives the bits of bound 1', bound), crestThin(e, o, 2, 3, 1.01, bound), one);
end

% Bad calls.
e = randomEdges([4 4]);
o = orientations([4 4]);
bad = {
    'five inputs',           @() crestThin(e, o, 1, 1, 1),          'notEnoughInputs', {'6 expected', '5 given'}
    'seven inputs',          @() crestThin(e, o, 1, 1, 1, 1, 1),    'tooManyInputs',   {'6 expected', '7 given'}
    'two outputs',           @() twoOutputs(e, o),                  'tooManyOutputs',  {'at most 1', '2 requested'}
    'double edge map',       @() crestThin(double(e), o, 1, 1, 1, 1), 'wrongClass',    {'Argument 1 (edgeMap)', 'single', 'double'}
    'logical edge map',      @() crestThin(e > 0, o, 1, 1, 1, 1),   'wrongClass',      {'Argument 1 (edgeMap)', 'logical'}
    'complex edge map',      @() crestThin(complex(e, e), o, 1, 1, 1, 1), 'notReal',   {'Argument 1 (edgeMap)', 'complex'}
    '3-D edge map',          @() crestThin(ones(4, 2, 2, 'single'), o, 1, 1, 1, 1), 'notMatrix', {'Argument 1 (edgeMap)', '3 dimensions'}
    'double orientations',   @() crestThin(e, double(o), 1, 1, 1, 1), 'wrongClass',    {'Argument 2 (orientationMap)', 'double'}
    'complex orientations',  @() crestThin(e, complex(o, o), 1, 1, 1, 1), 'notReal',   {'Argument 2 (orientationMap)'}
    'short orientation map', @() crestThin(e, o(1:15), 1, 1, 1, 1), 'wrongSize',       {'Argument 2 (orientationMap)', 'at least 16', 'holds 15'}
    'char radius',           @() crestThin(e, o, 'a', 1, 1, 1),     'notScalar',       {'Argument 3 (radius)', 'char'}
    'empty margin',          @() crestThin(e, o, 1, [], 1, 1),      'notScalar',       {'Argument 4 (marginWidth)', 'empty'}
    'cell multiplier',       @() crestThin(e, o, 1, 1, {1}, 1),     'notScalar',       {'Argument 5 (multiplier)', 'cell'}
    'struct thread bound',   @() crestThin(e, o, 1, 1, 1, struct()), 'notScalar',      {'Argument 6 (threadBound)', 'struct'}};
for i = 1:rows(bad)
    expectError(['error: ' bad{i, 1}], bad{i, 2}, ['crestThin:' bad{i, 3}], bad{i, 4});
end
end

function e = randomEdges(sz)
% Edge strengths with about a third of the pixels zero.
e = single(rand(sz));
e(rand(sz) < 0.33) = 0;
end

function o = orientations(sz)
o = single(rand(sz) * 6.4 - 3.2);
end

function out = middleRow(row, theta, multiplier)
% The row as the second of four rows (the others zero), thinned with radius 1;
% theta is the orientation of every pixel or one per pixel of the row.
e = zeros(4, numel(row), 'single');
e(2, :) = row;
o = zeros(size(e), 'single');
o(2, :) = theta;
thin = crestThin(e, o, 1, 0, multiplier, 2);
out = thin(2, :);
end

function twoOutputs(e, o)
[a, b] = crestThin(e, o, 1, 1, 1, 1); %#ok<ASGLU>
end

function f = fadedOnes(h, w, b)
% Ones faded by bands of b: the column factor first, then the row factor,
% each k/b in single precision.
f = ones(h, w, 'single');
for k = 0:b - 1
    factor = single(k) / single(b);
    f(:, [k + 1, w - k]) = f(:, [k + 1, w - k]) * factor;
end
for k = 0:b - 1
    factor = single(k) / single(b);
    f([k + 1, h - k], :) = f([k + 1, h - k], :) * factor;
end
end
