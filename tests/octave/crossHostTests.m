function crossHostTests(standinDir, tool, workDir)
%CROSSHOSTTESTS  Octave's modules against the stand-in host's (.mexa64 built
%   by CMake) on the same inputs: the same bits out, or the same error
%   identifier and message. The calls are written to a file, replayed by the
%   crossHost tool through the stand-in host, and its results read back.
%   Each module's results and refusals are checked in the C++ module tests;
%   these calls show that a real host passes the same arrays (classes,
%   shapes, complex and empty arrays, argument forms) and shows the same
%   errors.
printf('Octave against the stand-in host\n');
rand('state', 15);
modules = {'crestThin', crestCalls(); 'splitScan', scanCalls(); 'splitScanBinned', binnedCalls()};
for m = 1:rows(modules)
    [name, calls] = modules{m, :};
    callsFile = fullfile(workDir, [name '.calls']);
    resultsFile = fullfile(workDir, [name '.results']);
    fid = fopen(callsFile, 'w');
    for c = 1:rows(calls)
        writeCall(fid, calls{c, 2}, calls{c, 3});
    end
    fclose(fid);
    [status, output] = system(sprintf('"%s" "%s" "%s" "%s"', tool, ...
                                      fullfile(standinDir, [name '.mexa64']), callsFile, resultsFile));
    expectTrue([name ': the stand-in host replayed every call'], status == 0, output);
    if status ~= 0, continue; end
    standin = readResults(resultsFile, rows(calls));
    for c = 1:rows(calls)
        compare(sprintf('%s: %s', name, calls{c, 1}), name, calls{c, 2}, calls{c, 3}, standin{c});
    end
end
end

function calls = crestCalls()
% label, number of outputs, inputs
e = edges(37, 53);
o = single(rand(37, 53) * 6.4 - 3.2);
special = edges(12, 14);
special([5 30 77]) = [NaN, -Inf, -3];
specialTheta = single(rand(12, 14) * 7 - 3.5);
specialTheta([20 40 60]) = [NaN, Inf, -Inf];
calls = {
    'radius 1, margin 0',                    1, {e, o, 1, 0, 1, 2}
    'radius 2, margin 2, multiplier 1.01',   1, {e, o, 2, 2, 1.01, 2}
    'radius 3, margin 5, multiplier 0.95',   1, {e, o, 3, 5, 0.95, 8}
    'radius 2.9, margin 99',                 1, {e, o, 2.9, 99, 1, 1}
    'NaN, -Inf and negative edges; non-finite orientations', 1, {special, specialTheta, 2, 1, 1, 2}
    'one row',                               1, {edges(1, 40), single(rand(1, 40) * 6), 2, 0, 1, 2}
    'one column',                            1, {edges(40, 1), single(rand(40, 1) * 6), 2, 3, 1, 2}
    '2-by-2 map',                            1, {edges(2, 2), single(rand(2, 2) * 6), 1, 1, 1, 2}
    'empty 0-by-7 map',                      1, {zeros(0, 7, 'single'), zeros(0, 7, 'single'), 1, 1, 1, 2}
    'integer and logical scalars',           1, {e, o, int32(2), uint8(1), single(1), true}
    'error: double edge map',                1, {double(e), o, 1, 0, 1, 2}
    'error: complex orientation map',        1, {e, complex(o, o), 1, 0, 1, 2}
    'error: short orientation map',          1, {e, o(1:100), 1, 0, 1, 2}
    'error: five inputs',                    1, {e, o, 1, 0, 1}
    'error: two outputs',                    2, {e, o, 1, 0, 1, 2}
    'error: empty radius',                   1, {e, o, [], 0, 1, 2}};
end

function calls = scanCalls()
[X, labels, weights, order] = node(60, 7, 3);
zeroWeights = weights;
zeroWeights(order(1:5, 1) + 1) = 0;
badLabel = labels;
badLabel(17) = 4;
badOrder = order;
badOrder(9, 3) = 60;
[X1, l1, w1, o1] = node(1, 4, 3);
[X0, l0, w0, o0] = node(0, 4, 3);
calls = {
    'random node, class weights 1 0.5 2',    3, {X, labels, weights, order, 3, 0, [1 0.5 2]}
    'zero weights at the front of a column', 3, {X, labels, zeroWeights, order, 3, 0, [1 1 1]}
    'int32 labels, reshaped order',          3, {X, int32(labels), weights, reshape(int32(order), 20, []), 3, 0, [0 1 1]}
    'labels and weights as rows, 4 class weights', 3, {X, labels', weights', order, 3, 0, [1 0.5 2 9]}
    'one output',                            1, {X, labels, weights, order, 3, 5, [1 1 1]}
    'one sample',                            3, {X1, l1, w1, o1, 3, 0, [1 1 1]}
    'no samples',                            3, {X0, l0, w0, o0, 3, 0, [1 1 1]}
    'no features',                           3, {X(:, []), labels, weights, order(:, []), 3, 0, [1 1 1]}
    'error: label 4 with K 3',               3, {X, badLabel, weights, order, 3, 0, [1 1 1]}
    'error: sortedOrder entry 60',           3, {X, labels, weights, badOrder, 3, 0, [1 1 1]}
    'error: K NaN',                          3, {X, labels, weights, order, NaN, 0, [1 1 1]}
    'error: 59 weights',                     3, {X, labels, weights(1:59), order, 3, 0, [1 1 1]}
    'error: eight inputs',                   3, {X, labels, weights, order, 3, 0, [1 1 1], 1}};
end

function calls = binnedCalls()
M = 80;
data = uint8(randi(32, M, 9) - 1);
full = uint8(randi(256, M, 5) - 1);
labels = uint32(randi(4, M, 1));
weights = single(rand(M, 1));
samples = uint32(randi(M, 1, 120) - 1);
features = uint32([randperm(9) - 1, 3, 3]);
badBin = data;
badBin(samples(7) + 1, 5) = 32;
badLabel = labels;
badLabel(samples(3) + 1) = 5;
cw = [1 0.5 2 1];
calls = {
    'random node, B 32, K 4',                3, {data, labels, weights, 32, samples, features, 4, 0, cw, 2}
    'thread limit 8',                        3, {data, labels, weights, 32, samples, features, 4, 0, cw, 8}
    'B 256 over every uint8 value',          3, {full, labels, weights, 256, samples, uint32(0:4), 4, 0, cw, 2}
    'int32 lists, B 32.7, K 4.2',            3, {data, int32(labels), weights, 32.7, int32(samples), int32(features), 4.2, 1, cw, 2}
    'lists as columns, longer labels and weights', 3, {data, [labels; 1], [weights; 2], 32, samples', features', 4, 0, cw, 2}
    'empty sample list',                     3, {data, labels, weights, 32, uint32([]), features, 4, 0, cw, 2}
    'empty feature list',                    3, {data, labels, weights, 32, samples, uint32([]), 4, 0, cw, 2}
    'error: bin value 32 with B 32',         3, {badBin, labels, weights, 32, samples, features, 4, 0, cw, 2}
    'error: listed label 5 with K 4',        3, {data, badLabel, weights, 32, samples, features, 4, 0, cw, 2}
    'error: sample 80 of 80 rows',           3, {data, labels, weights, 32, [samples, uint32(80)], features, 4, 0, cw, 2}
    'error: feature 9 of 9 columns',         3, {data, labels, weights, 32, samples, uint32(9), 4, 0, cw, 2}
    'error: K 0',                            3, {data, labels, weights, 32, samples, features, 0, 0, cw, 2}
    'error: double binnedData',              3, {double(data), labels, weights, 32, samples, features, 4, 0, cw, 2}};
end

function e = edges(h, w)
e = single(rand(h, w));
e(rand(h, w) < 0.3) = 0;
end

function [X, labels, weights, order] = node(M, N, K)
X = single(round(rand(M, N) * 30) / 3);
labels = uint32(randi(K, M, 1));
weights = single(rand(M, 1));
[~, order] = sort(X, 1);
order = uint32(order - 1);
end

function compare(label, name, nlhs, args, standin)
out = cell(1, max(nlhs, 1));
try
    [out{:}] = feval(name, args{:});
    failure = [];
catch failure
end
if isfield(standin, 'id')
    if isempty(failure)
        expectTrue(label, false, sprintf('Octave returned; the stand-in host raised %s', standin.id));
    else
        same = strcmp(failure.identifier, standin.id) && strcmp(failure.message, [name ': ' standin.message]);
        expectTrue(label, same, sprintf('Octave: %s "%s"; stand-in: %s "%s"', failure.identifier, ...
                                        failure.message, standin.id, standin.message));
    end
elseif ~isempty(failure)
    expectTrue(label, false, ['Octave raised: ' failure.message]);
elseif numel(standin.outputs) ~= numel(out)
    expectTrue(label, false, sprintf('%d outputs from the stand-in host, %d from Octave', ...
                                     numel(standin.outputs), numel(out)));
else
    for k = 1:numel(out)
        expectSameBits(sprintf('%s, output %d', label, k), out{k}, standin.outputs{k});
    end
end
end

% The crossHost file format: little-endian; an array is class id, complex
% flag, dimension count, dimensions (uint64), real data, imaginary data.
function writeCall(fid, nlhs, args)
fwrite(fid, [nlhs, numel(args)], 'int32');
for i = 1:numel(args)
    x = args{i};
    fwrite(fid, [classId(class(x)), ~isreal(x), ndims(x)], 'int32');
    fwrite(fid, size(x), 'uint64');
    if islogical(x), x = uint8(x); end
    fwrite(fid, bytes(real(x)), 'uint8');
    if ~isreal(x), fwrite(fid, bytes(imag(x)), 'uint8'); end
end
end

function b = bytes(x)
b = typecast(x(:), 'uint8');
end

function results = readResults(file, count)
fid = fopen(file, 'r');
results = cell(1, count);
for c = 1:count
    if fread(fid, 1, 'int32') == 0
        n = fread(fid, 1, 'int32');
        outputs = cell(1, n);
        for k = 1:n
            outputs{k} = readArray(fid);
        end
        results{c} = struct('outputs', {outputs});
    else
        results{c} = struct('id', readText(fid), 'message', readText(fid));
    end
end
fclose(fid);
end

function x = readArray(fid)
head = fread(fid, 3, 'int32')';
dims = fread(fid, head(3), 'uint64')';
names = classNames();
type = names{head(1)};
storage = type;
if strcmp(type, 'logical'), storage = 'uint8'; end
width = numel(bytes(zeros(1, storage)));
raw = fread(fid, prod(dims) * width, 'uint8=>uint8');
x = reshape(typecast(raw, storage), [dims 1 1]);
if strcmp(type, 'logical'), x = logical(x); end
end

function s = readText(fid)
s = char(fread(fid, fread(fid, 1, 'uint32'), 'uint8=>char')');
end

function id = classId(name)
id = find(strcmp(classNames(), name));
if isempty(id), error('crossHostTests: class %s cannot be replayed', name); end
end

function names = classNames()
% Indexed by MATLAB's class ids.
names = {'cell', 'struct', 'logical', 'char', 'void', 'double', 'single', 'int8', 'uint8', ...
         'int16', 'uint16', 'int32', 'uint32', 'int64', 'uint64'};
end
