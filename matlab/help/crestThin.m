%CRESTTHIN  Thin an edge map along its orientations and fade its border.
%   thinnedMap = crestThin(edgeMap, orientationMap, radius, marginWidth, ...
%                          multiplier, threadBound)
%
%   Non-maximum suppression guided by orientation: a pixel keeps its edge
%   value unless some point on the line through it, along the pixel's own
%   orientation and up to radius unit steps on either side, is stronger than
%   multiplier times the pixel's value; such a pixel is set to 0. The points
%   are read from edgeMap by bilinear interpolation, clamped into the map.
%   Then bands of marginWidth columns and rows along the border are faded
%   linearly, from factor 0 at the border to (b-1)/b at the inner edge.
%
%   Inputs
%     edgeMap         real single h-by-w matrix. Edge strength per pixel;
%                     0 marks a pixel that is not an edge (it costs nothing).
%     orientationMap  real single array of at least h*w elements, read in
%                     the layout of edgeMap. Orientation per pixel in
%                     radians: the sample line steps cos(theta) along the
%                     columns and sin(theta) along the rows.
%     radius          numeric or logical scalar, truncated toward zero.
%                     Number of unit steps on each side; 0 or less, NaN or
%                     -Inf keeps every pixel. Points beyond the map are read
%                     at its border, so a radius beyond the map's longer
%                     side can still suppress more pixels.
%                     A radius of 65537 or more (Inf too) is refused.
%     marginWidth     numeric or logical scalar, truncated toward zero.
%                     Width b of the faded border bands; a width above half
%                     the shorter side of the map (rounded down) is taken as
%                     that half; 0 or less fades nothing.
%     multiplier      numeric or logical scalar, rounded to single. A pixel
%                     survives against samples up to multiplier times its
%                     value (equal samples never suppress).
%     threadBound     numeric or logical scalar, truncated toward zero.
%                     Largest number of threads to use; below 1 runs one
%                     thread, above the OpenMP maximum runs the maximum.
%
%   Output
%     thinnedMap      single h-by-w matrix: the thinned, border-faded map.
%                     An empty edgeMap gives an empty map of the same size.
%
%   Example
%     [gx, gy] = gradient(single(peaks(200)));
%     magnitude = hypot(gx, gy);
%     theta = atan2(gy, gx);           % across the edge: along the gradient
%     thin = crestThin(magnitude, theta, 1, 4, 1.0, 4);
%     imagesc([magnitude, thin]); axis image
%
%   Notes
%     The work is divided over columns on one OpenMP thread team; the result
%     is bit-identical for every threadBound and every OMP_NUM_THREADS. The
%     macOS build runs serially. NaN edge values are kept; pixels with a
%     non-finite orientation are kept; no sample ever leaves the map.
%
%     A bad call raises an error whose identifier is crestThin:<reason>
%     and whose message names the argument and the offending value:
%       crestThin:notEnoughInputs, crestThin:tooManyInputs
%                             not exactly six inputs
%       crestThin:tooManyOutputs   more than one output requested
%       crestThin:wrongClass  edgeMap or orientationMap not single, or
%                             sparse
%       crestThin:notReal     a complex map
%       crestThin:notMatrix   edgeMap with more than two dimensions
%       crestThin:tooLarge    edgeMap with more than 2147483647 rows or
%                             columns
%       crestThin:wrongSize   orientationMap with fewer than h*w elements
%       crestThin:notScalar   a scalar that is empty or not numeric/logical
%       crestThin:badValue    radius of 65537 or more, or Inf (the
%                             message names the limit)
%
%   Build the module with buildModules.
%
%   See also splitScan, splitScanBinned, buildModules, gradient.

%!test
%! % The example: a single map of the same size, its faded border all 0.
%! [gx, gy] = gradient (single (peaks (200)));
%! thin = crestThin (hypot (gx, gy), atan2 (gy, gx), 1, 4, 1.0, 4);
%! assert (class (thin), "single");
%! assert (size (thin), [200 200]);
%! assert (nnz (thin([1 end], :)) + nnz (thin(:, [1 end])), 0);
%!test
%! % One thread or two: the same bits.
%! [gx, gy] = gradient (single (peaks (200)));
%! one = crestThin (hypot (gx, gy), atan2 (gy, gx), 3, 4, 1.0, 1);
%! two = crestThin (hypot (gx, gy), atan2 (gy, gx), 3, 4, 1.0, 2);
%! assert (typecast (two(:), "uint32"), typecast (one(:), "uint32"));
%!error id=crestThin:wrongClass crestThin (peaks (4), zeros (4, "single"), 1, 4, 1, 1)
%!test
%! % Points beyond the map are read at its border: a radius beyond its
%! % longer side can still suppress more pixels.
%! [x, y] = meshgrid (0:47, 0:63);
%! [gx, gy] = gradient (sin (x / 5) .* cos (y / 7) + y / 40);
%! thin = @(r) nnz (crestThin (single (hypot (gx, gy)), single (atan2 (gy, gx)), r, 0, 1, 1));
%! assert (thin (64) > thin (128) && thin (128) > thin (65536));
