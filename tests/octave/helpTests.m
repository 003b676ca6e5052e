function helpTests(moduleDir, helpDir, workDir)
%HELPTESTS  `help <module>` prints the help file that sits beside the module,
%   the module (not the help file) is what a call runs, and the help names
%   every input that the module's own messages name.
printf('help text\n');
folder = fullfile(workDir, 'beside');
mkdir(folder);
for name = {'crestThin', 'splitScan', 'splitScanBinned'}
    name = name{1};
    copyfile(fullfile(helpDir, [name '.m']), folder);
    copyfile(fullfile(moduleDir, [name '.' mexext]), folder);
end
addpath(folder);
cleanup = onCleanup(@() rmpath(folder));
for name = {'crestThin', 'splitScan', 'splitScanBinned'}
    name = name{1};
    text = evalc(['help ' name]);
    h1 = [upper(name) '  '];
    expectTrue([name ': help prints the H1 line and See also'], ...
               ~isempty(strfind(text, h1)) && ~isempty(strfind(text, 'See also')), text);
    expectTrue([name ': a call runs the module beside the help file'], ...
               strcmp(which(name), fullfile(folder, [name '.' mexext])), which(name));
    inputs = signature(name);
    missing = inputs(cellfun(@(n) isempty(regexp(text, ['\<' n '\>'], 'once')), inputs));
    expectTrue([name ': help describes every input'], ~isempty(inputs) && isempty(missing), ...
               ['missing: ' strjoin(missing, ', ')]);
end
end

function names = signature(name)
% The input names listed by the module's own notEnoughInputs message.
names = {};
try
    feval(name);
catch err
    names = strtrim(strsplit(regexp(err.message, '\(([^)]*)\)', 'tokens', 'once'){1}, ','));
end
end
