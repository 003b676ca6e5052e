function helpTests(moduleDir, root, identifiersFile)
%HELPTESTS  The folder that buildModules wrote, alone on the path, gives
%   `help <module>`: the help names every input, and exactly the error
%   identifiers that the build lists for the module in identifiersFile. With
%   the repository's matlab/ folder first on the path, a call still runs the
%   module.
printf('help text\n');
modules = moduleList(root);
ids = strsplit(strtrim(fileread(identifiersFile)), "\n");
for m = 1:rows(modules)
    name = modules{m, 1};
    try
        text = evalc(['help ' name]);
    catch err
        text = err.message;
    end
    expectTrue([name ': help in the build folder prints the H1 line and See also'], ...
               ~isempty(strfind(text, [upper(name) '  '])) && ~isempty(strfind(text, 'See also')), text);
    inputs = signature(name);
    missing = inputs(cellfun(@(n) isempty(regexp(text, ['\<' n '\>'], 'once')), inputs));
    expectTrue([name ': help describes every input'], ~isempty(inputs) && isempty(missing), ...
               ['missing: ' strjoin(missing, ', ')]);
    listed = ids(strncmp(ids, [name ':'], numel(name) + 1));
    named = unique(strcat(name, ':', words(text, ['\<' name ':(\w+)'])));
    expectTrue([name ': help names exactly the listed error identifiers'], ...
               numel(listed) > 3 && isequal(sort(listed), named), ...
               ['listed, not named: ' strjoin(setdiff(listed, named), ', ') ...
                '; named, not listed: ' strjoin(setdiff(named, listed), ', ')]);
end

% The help sources must not shadow the modules wherever they are built.
addpath(fullfile(root, 'matlab'));
cleanup = onCleanup(@() rmpath(fullfile(root, 'matlab')));
for m = 1:rows(modules)
    name = modules{m, 1};
    try
        feval(name);
        id = '';
    catch err
        id = err.identifier;
    end
    expectTrue([name ': with matlab/ first on the path a call runs the module'], ...
               exist(name) == 3 && strcmp(id, [name ':notEnoughInputs']), [which(name) ' raised "' id '"']);
end
end

function modules = moduleList(root)
% name and kernel folder of every module in the list.
lines = regexp(fileread(fullfile(root, 'modules.txt')), '\n', 'split');
lines = lines(~cellfun(@isempty, regexp(lines, '^\w', 'once')));
modules = cellfun(@(l) regexp(l, '\s+', 'split')(1:2), lines', 'UniformOutput', false);
modules = vertcat(modules{:});
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

function w = words(text, pattern)
w = cellfun(@(t) t{1}, regexp(text, pattern, 'tokens'), 'UniformOutput', false);
end
