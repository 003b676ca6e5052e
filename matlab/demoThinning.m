function demoThinning(outDir)
%DEMOTHINNING  Thin the edges of a real image with crestThin; write PNGs.
%   demoThinning(outDir) takes the height map of a US penny that MATLAB and
%   Octave ship (penny.mat), computes its gradient magnitude and orientation,
%   thins the edges with crestThin and writes into outDir:
%     penny.png         the height map itself
%     edgesBefore.png   gradient magnitude (the edge map crestThin receives)
%     edgesAfter.png    crestThin's result: one-pixel crests, border faded
%     edgesCompare.png  the three side by side
%
%   See also crestThin, demoKernels, demoTree.

if nargin < 1, outDir = pwd; end
if ~exist(outDir, 'dir'), mkdir(outDir); end
if exist('OCTAVE_VERSION', 'builtin')
    source = file_in_loadpath('penny.mat');
else
    source = which('penny.mat');
end
P = load(source);
height = single(P.P);

% A light blur keeps the coin's stamping noise from breaking up the crests.
kernel = single([1 4 6 4 1]' * [1 4 6 4 1]) / 256;
smooth = conv2(height, kernel, 'same');
[gx, gy] = gradient(smooth);          % gx along the columns, gy along the rows
magnitude = hypot(gx, gy);
orientation = atan2(gy, gx);          % across the edge: where the crest is
edgeMap = magnitude;
edgeMap(magnitude < 0.1 * max(magnitude(:))) = 0;   % flat metal is no edge

radius = 2;
marginWidth = 4;
multiplier = 1.0;
threads = 4;
tic;
thinned = crestThin(edgeMap, orientation, radius, marginWidth, multiplier, threads);
elapsed = toc;

before = nnz(edgeMap);
after = nnz(thinned);
fprintf('crestThin on the penny (%dx%d), radius %d, margin %d, multiplier %g:\n', ...
        size(edgeMap, 1), size(edgeMap, 2), radius, marginWidth, multiplier);
fprintf('  edge pixels before %5d, after %5d (%.0f%% kept), %.1f ms\n', ...
        before, after, 100 * after / before, 1000 * elapsed);

scale = 3;  % nearest-neighbour enlargement, so single pixels stay visible
writePng(fullfile(outDir, 'penny.png'), height / max(height(:)), scale);
writePng(fullfile(outDir, 'edgesBefore.png'), visible(edgeMap), scale);
writePng(fullfile(outDir, 'edgesAfter.png'), visible(thinned), scale);
gap = ones(size(edgeMap, 1), 4, 'single');
writePng(fullfile(outDir, 'edgesCompare.png'), ...
         [height / max(height(:)), gap, visible(edgeMap), gap, visible(thinned)], scale);
fprintf('  pictures: %s\n', fullfile(outDir, '{penny,edgesBefore,edgesAfter,edgesCompare}.png'));
end

function v = visible(map)
% Edge strength as grey on black, with a square root so weak edges show.
v = sqrt(max(map, 0) / max(map(:)));
end

function writePng(file, image, scale)
image = kron(image, ones(scale, 'single'));
imwrite(uint8(round(255 * min(max(image, 0), 1))), file);
end
