function demoKernels(outDir)
%DEMOKERNELS  Run the three modules on real data: edge thinning and tree training.
%   demoKernels(outDir) thins the edges of the penny height map with crestThin and
%   writes before/after PNG pictures into outDir (default: the current
%   folder), then trains decision trees on Fisher's iris data with splitScan
%   and with splitScanBinned and prints their splits and training accuracy.
%   The modules must be on the path (build them with buildModules).
%
%   See also demoThinning, demoTree, buildModules.

if nargin < 1, outDir = pwd; end
demoThinning(outDir);
fprintf('\n');
demoTree();
end
