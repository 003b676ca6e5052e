function threadCountTests(moduleDir, workDir)
%THREADCOUNTTESTS  Same bits for every team size: the calls of one process
%   with threadBound = threadLimit = 1 against Octave processes started with
%   OMP_NUM_THREADS 1, 3 and 8 running bounds 1, 2, 3 and 8 (splitScan takes
%   its team from OMP_NUM_THREADS alone: 1, 3 and 4 threads).
printf('thread counts\n');
rand('state', 14);
in.bounds = [1 2 3 8];
in.edge = single(rand(97, 131));
in.edge(rand(97, 131) < 0.3) = 0;
in.orientation = single(rand(97, 131) * 6.4 - 3.2);
in.classWeights = [1 0.5 2];
in.data = uint8(randi(16, 400, 23) - 1);
in.binnedLabels = uint32(randi(3, 400, 1));
in.binnedWeights = single(rand(400, 1));
in.samples = uint32(randi(400, 300, 1) - 1);
in.features = uint32(randperm(23) - 1);
in.X = single(round(rand(300, 17) * 50));
in.labels = uint32(randi(3, 300, 1));
in.weights = single(rand(300, 1));
[~, order] = sort(in.X, 1);
in.order = uint32(order - 1);

crest = crestThin(in.edge, in.orientation, 2, 3, 1.01, 1);
[impurity, threshold, gain] = splitScanBinned(in.data, in.binnedLabels, in.binnedWeights, 16, ...
                                              in.samples, in.features, 3, 0, in.classWeights, 1);
binned = [impurity; threshold; gain];
[impurity, threshold, gain] = splitScan(in.X, in.labels, in.weights, in.order, 3, 0, in.classWeights);
scan = [impurity; threshold; gain];
expectTrue('the random node has splits to find', any(scan(3, :) > 0) && any(binned(3, :) > 0));

inFile = fullfile(workDir, 'threadInputs.bin');
save('-binary', inFile, '-struct', 'in');
here = fileparts(mfilename('fullpath'));
octave = fullfile(OCTAVE_HOME, 'bin', 'octave-cli');
if ~exist(octave, 'file'), octave = 'octave-cli'; end
for threads = [1 3 8]
    outFile = fullfile(workDir, sprintf('threadResults%d.bin', threads));
    command = sprintf(['OMP_NUM_THREADS=%d "%s" --norc --quiet --no-window-system --eval ' ...
                       '"addpath(''%s''); threadChild(''%s'', ''%s'', ''%s'')" 2>&1'], ...
                      threads, octave, here, moduleDir, inFile, outFile);
    [status, output] = system(command);
    expectTrue(sprintf('OMP_NUM_THREADS=%d: the child process ran', threads), status == 0, output);
    if status ~= 0, continue; end
    child = load(outFile);
    for i = 1:numel(in.bounds)
        expectSameBits(sprintf('OMP_NUM_THREADS=%d, crestThin bound %d', threads, in.bounds(i)), child.crest{i}, crest);
        expectSameBits(sprintf('OMP_NUM_THREADS=%d, splitScanBinned limit %d', threads, in.bounds(i)), child.binned{i}, binned);
    end
    expectSameBits(sprintf('OMP_NUM_THREADS=%d, splitScan', threads), child.scan, scan);
end
end
