function failed = runOctaveSuite(moduleDir, standinDir, crossHostTool, junitFile)
%RUNOCTAVESUITE  The Octave suite: what only a real host shows. The modules
%   built by buildModules in moduleDir are called in Octave and compared with
%   the stand-in host's modules in standinDir through the crossHost tool;
%   their help (against the error identifiers that the stand-in build lists
%   beside standinDir) and how they unload are checked. Prints one closing line
%   "N passed, N failed", writes the totals to junitFile as a JUnit test
%   suite, and returns the number of failed cases.
global octaveSuite
octaveSuite = struct('passed', 0, 'failed', 0);
root = fileparts(fileparts(fileparts(mfilename('fullpath'))));
addpath(moduleDir);
expectTrue('the modules come from the build folder', ...
           strcmp(which('crestThin'), fullfile(moduleDir, ['crestThin.' mexext])), which('crestThin'));
workDir = tempname();
mkdir(workDir);
identifiersFile = fullfile(fileparts(standinDir), 'identifiers.txt');
groups = {@() crossHostTests(standinDir, crossHostTool, workDir), @() helpTests(moduleDir, root, identifiersFile), ...
          @() unloadTests(root)};
for i = 1:numel(groups)
    try
        groups{i}();
    catch err
        expectTrue(sprintf('%s ran to its end', func2str(groups{i})), false, err.message);
    end
end
confirm_recursive_rmdir(false);
rmdir(workDir, 's');
failed = reportSuite('octave', junitFile);
end
