function demoThinning(outDir)
%DEMOTHINNING  Thin the edges of a real image with crestThin; write PNGs.
%   demoThinning(outDir) takes the height map of a US penny that MATLAB and
%   Octave ship (penny.mat), computes its gradient magnitude and orientation,
%   thins the edges with crestThin and writes into outDir, each picture
%   titled:
%     penny.png         the input: the height map itself
%     edgesBefore.png   edge strength before thinning (what crestThin gets)
%     edgesAfter.png    edge strength after thinning: one-pixel crests
%     edgesCompare.png  the three side by side, with the colour scale
%     borderFade.png    a corner, enlarged, thinned without and with the
%                       border fade
%   and pennyMaps.mat, the edge and orientation maps with the thinned map
%   and the scalars, for the Python demo's comparison.
%   Edge strength is drawn in colour on one linear scale, from dark blue
%   (weak) to yellow (the strongest edge of the map); black is no edge.
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
unfaded = crestThin(edgeMap, orientation, radius, 0, multiplier, threads);
% The maps and the result, for the Python demo's comparison of the two hosts.
save(fullfile(outDir, 'pennyMaps.mat'), 'edgeMap', 'orientation', 'thinned', 'radius', 'marginWidth', ...
     'multiplier', '-v6');

before = nnz(edgeMap);
after = nnz(thinned);
fprintf('crestThin on the penny (%dx%d), radius %d, margin %d, multiplier %g:\n', ...
        size(edgeMap, 1), size(edgeMap, 2), radius, marginWidth, multiplier);
fprintf('  edge pixels before %5d, after %5d (%.0f%% kept), %.1f ms\n', ...
        before, after, 100 * after / before, 1000 * elapsed);

% Pictures: whole maps three times enlarged, so single pixels stay visible.
top = max(edgeMap(:));
input = titled(enlarge(grey(height), 3), 'INPUT: PENNY HEIGHT MAP');
edgesBefore = titled(enlarge(strength(edgeMap, top), 3), 'EDGE STRENGTH BEFORE');
edgesAfter = titled(enlarge(strength(thinned, top), 3), 'AFTER THINNING');
writePng(fullfile(outDir, 'penny.png'), input);
writePng(fullfile(outDir, 'edgesBefore.png'), edgesBefore);
writePng(fullfile(outDir, 'edgesAfter.png'), edgesAfter);
gap = ones(size(input, 1), 12, 3);
panels = [input, gap, edgesBefore, gap, edgesAfter];
writePng(fullfile(outDir, 'edgesCompare.png'), [panels; scaleBar(size(panels, 2), top)]);

% The border fade: at the image's edge the blur and the gradient see a step
% that is no edge of the coin; the fade removes those false crests and
% lets the rim's crest die out toward the border. Bottom-right corner.
corner = size(edgeMap, 1) - 39:size(edgeMap, 1);
side = size(edgeMap, 2) - 39:size(edgeMap, 2);
faded = {unfaded, 'MARGIN 0: NO FADE'; thinned, sprintf('MARGIN %d: FADED', marginWidth)};
views = cell(1, 3);
for k = 1:2
    view = enlarge(strength(faded{k, 1}(corner, side), top), 8);
    views{2 * k - 1} = titled(markBand(view, marginWidth * 8), faded{k, 2});
end
views{2} = ones(size(views{1}, 1), 12, 3);
writePng(fullfile(outDir, 'borderFade.png'), [views{:}]);
fprintf('  pictures: %s\n', fullfile(outDir, '{penny,edgesBefore,edgesAfter,edgesCompare,borderFade}.png'));
fprintf(['  borderFade.png: the bottom-right corner, 8 times enlarged. Without the fade the image''s\n' ...
         '  own edge shows false crests; the fade (bands of %d pixels, dotted) removes them.\n'], marginWidth);
end

function rgb = grey(map)
v = (map - min(map(:))) / (max(map(:)) - min(map(:)));
rgb = repmat(v, [1 1 3]);
end

function rgb = strength(map, top)
% Edge strength on a linear scale from 0 to top, dark blue to yellow, so
% that the strongest crests stay apart from the merely strong ones; no edge
% is black.
anchors = [45 60 150; 33 145 140; 94 201 98; 253 231 37] / 255;
v = min(max(double(map) / double(top), 0), 1);
rgb = zeros([size(map) 3]);
for c = 1:3
    channel = interp1(linspace(0, 1, size(anchors, 1)), anchors(:, c), v);
    channel(map == 0) = 0;
    rgb(:, :, c) = channel;
end
end

function image = enlarge(image, scale)
image = repelem(image, scale, scale, 1);
end

function image = markBand(image, width)
% A dotted grey line where the faded band begins, on the bottom and right.
[h, w, ~] = size(image);
dots = 1:4:max(h, w);
for c = 1:3
    image(h - width, dots(dots <= w), c) = 0.6;
    image(dots(dots <= h), w - width, c) = 0.6;
end
end

function image = titled(image, title)
% The image under a white strip that carries its title.
text = textImage(title, 2);
strip = ones(size(text, 1) + 12, size(image, 2));
left = max(1, floor((size(image, 2) - size(text, 2)) / 2));
strip(7:6 + size(text, 1), left:left + size(text, 2) - 1) = ~text;
image = [repmat(strip, [1 1 3]); image];
end

function bar = scaleBar(width, top)
% The colour scale of the edge-strength panels: 0 on the left, top on the right.
label = textImage(sprintf('EDGE STRENGTH  0'), 2);
high = textImage(sprintf('%d', round(top)), 2);
ramp = strength(repmat(linspace(top / 256, top, 256), size(label, 1), 1), top);
row = [repmat(~label, [1 1 3]), ones(size(label, 1), 8, 3), ramp, ones(size(label, 1), 8, 3), repmat(~high, [1 1 3])];
bar = ones(size(row, 1) + 16, width, 3);
left = floor((width - size(row, 2)) / 2);
bar(9:8 + size(row, 1), left + 1:left + size(row, 2), :) = row;
end

function pixels = textImage(text, scale)
% The text in a 5-by-7 pixel font (upper case, digits, a few signs), one
% pixel between letters, enlarged by scale; true where the ink is.
glyphs = ' ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789():,-.';
% Each glyph's seven rows, top first, as hex bytes (the low five bits).
rows = {'00000000000000' '0E1111111F1111' '1E11111E11111E' '0E11101010110E' '1C12111111121C' ...
        '1F10101E10101F' '1F10101E101010' '0E11101711110F' '1111111F111111' '0E04040404040E' ...
        '0702020202120C' '11121418141211' '1010101010101F' '111B1515111111' '11111915131111' ...
        '0E11111111110E' '1E11111E101010' '0E11111115120D' '1E11111E141211' '0F10100E01011E' ...
        '1F040404040404' '1111111111110E' '11111111110A04' '1111111515150A' '11110A040A1111' ...
        '1111110A040404' '1F01020408101F' '0E11131519110E' '040C040404040E' '0E11010204081F' ...
        '1F02040201110E' '02060A121F0202' '1F101E0101110E' '0608101E11110E' '1F010204080808' ...
        '0E11110E11110E' '0E11110F01020C' '02040808080402' '08040202020408' '000C0C000C0C00' ...
        '000000000C0408' '0000001F000000' '00000000000C0C'};
pixels = false(7, 0);
for ch = upper(text)
    bits = dec2bin(hex2dec(reshape(rows{glyphs == ch}, 2, [])'), 5) == '1';
    pixels = [pixels, bits, false(7, 1)];
end
pixels = repelem(pixels(:, 1:end - 1), scale, scale);
end

function writePng(file, image)
imwrite(uint8(round(255 * min(max(image, 0), 1))), file);
end
