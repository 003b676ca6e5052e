function threadChild(moduleDir, inFile, outFile)
%THREADCHILD  Run the calls saved by threadCountTests in this process (whose
%   OMP_NUM_THREADS the parent chose) and save every module's results.
addpath(moduleDir);
in = load(inFile);
crest = cell(size(in.bounds));
binned = cell(size(in.bounds));
for i = 1:numel(in.bounds)
    crest{i} = crestThin(in.edge, in.orientation, 2, 3, 1.01, in.bounds(i));
    [impurity, threshold, gain] = splitScanBinned(in.data, in.binnedLabels, in.binnedWeights, 16, ...
                                                  in.samples, in.features, 3, 0, in.classWeights, in.bounds(i));
    binned{i} = [impurity; threshold; gain];
end
[impurity, threshold, gain] = splitScan(in.X, in.labels, in.weights, in.order, 3, 0, in.classWeights);
scan = [impurity; threshold; gain];
save('-binary', outFile, 'crest', 'binned', 'scan');
end
