function failed = packageTests(tarball, prefix, junitFile)
%PACKAGETESTS  The Octave package as a new user meets it: installed from
%   tarball into the package prefix `prefix` (and its own package list),
%   loaded, its help and its built-in self-tests (pkg test) run, and a
%   module called again after pkg unload and clear functions. The self-tests'
%   results count among the cases written to junitFile; returns the number
%   of failed cases.
global octaveSuite
octaveSuite = struct('passed', 0, 'failed', 0);
if ~exist(prefix, 'dir'), mkdir(prefix); end
pkg('prefix', prefix, prefix);
pkg('local_list', fullfile(prefix, 'octave_packages'));
started = tic();
try
    pkg('install', '-local', tarball);
    installed = true;
catch err
    installed = false;
    expectTrue('pkg install', false, err.message);
end
printf('pkg install took %.0f s\n', toc(started));
if installed
    try
        loadedTests();
    catch err
        expectTrue('the checks of the loaded package ran to their end', false, err.message);
    end
    [passes, fails] = selfTests();
    octaveSuite.passed = octaveSuite.passed + passes;
    octaveSuite.failed = octaveSuite.failed + fails;
    expectTrue('pkg test ran some self-tests', passes + fails > 0);
end
failed = reportSuite('octavePackage', junitFile);
end

function loadedTests()
pkg load crestsplit
info = pkg('list', 'crestsplit');
dir = info{1}.dir;
expectTrue('pkg load gives the modules', all(cellfun(@(n) exist(n) == 3, ...
           {'crestThin', 'splitScan', 'splitScanBinned'})), which('crestThin'));
text = evalc('help crestThin');
expectTrue('help crestThin after pkg load', ~isempty(strfind(text, 'CRESTTHIN  ')), text);

% The identifiers the self-tests expect are ones the build lists.
listed = strsplit(strtrim(fileread(fullfile(dir, 'identifiers.txt'))), "\n");
expected = {};
for file = {'crestThin', 'splitScan', 'splitScanBinned'}
    tokens = regexp(fileread(fullfile(dir, [file{1} '.m'])), '^%!error id=(\S+)', 'tokens', 'lineanchors');
    expected = [expected, cellfun(@(t) t{1}, tokens, 'UniformOutput', false)];
end
expectTrue('the self-tests expect listed identifiers only', ...
           numel(expected) == 3 && all(ismember(expected, listed)), strjoin(expected, ', '));

% The thread runtime outlives the module: a call after unloading it and
% loading it again runs, with the same bits.
e = single(magic(64));
o = single(reshape(1:4096, 64, 64) / 100);
before = crestThin(e, o, 2, 2, 1, 2);
file = canonicalize_file_name(which('crestThin'));
pkg unload crestsplit
clear functions
expectTrue('pkg unload and clear functions unload the module and leave none on the path', ...
           exist('crestThin') == 0 && isempty(strfind(fileread('/proc/self/maps'), file)));
pkg load crestsplit
after = crestThin(e, o, 2, 2, 1, 2);
expectTrue('a call after unload, clear and load gives the same bits', ...
           isequal(typecast(after(:), 'uint32'), typecast(before(:), 'uint32')));
pkg unload crestsplit
end

function [passes, fails] = selfTests()
% pkg test's summary has one "PASS n" and one "FAIL n" line; without them
% the run counts as one failure.
output = evalc('pkg test crestsplit');
printf('%s', output);
count = @(label) str2double(regexp(output, ['^\s+' label '\s+(\d+)\s*$'], 'tokens', 'once', 'lineanchors'));
passes = count('PASS');
fails = count('FAIL');
if ~(isscalar(passes) && isscalar(fails) && ~isnan(passes + fails))
    passes = 0;
    fails = 1;
end
end
