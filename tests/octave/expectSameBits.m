function expectSameBits(name, actual, expected)
%EXPECTSAMEBITS  Pass when two arrays have the same class, size and bits
%   (so -0 differs from 0, and NaN equals NaN only with the same payload).
detail = '';
if ~strcmp(class(actual), class(expected))
    detail = sprintf('class %s, expected %s', class(actual), class(expected));
elseif ~isequal(size(actual), size(expected))
    detail = sprintf('size %s, expected %s', mat2str(size(actual)), mat2str(size(expected)));
elseif ~isequal(rawBytes(actual), rawBytes(expected))
    k = ceil(find(rawBytes(actual) ~= rawBytes(expected), 1) / numel(rawBytes(actual(1))));
    detail = sprintf('element %d is %.17g, expected %.17g', k, double(actual(k)), double(expected(k)));
end
expectTrue(name, isempty(detail), detail);
end

function b = rawBytes(x)
if islogical(x) || ischar(x), x = uint8(x); end
b = typecast(x(:), 'uint8');
end
