function helpTests(moduleDir, root)
%HELPTESTS  The folder that buildModules wrote, alone on the path, gives
%   `help <module>`: the help names every input and every error identifier
%   that the module's code can raise. With the repository's matlab/ folder
%   first on the path, a call still runs the module.
printf('help text\n');
modules = moduleList(root);
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
    ids = raisedIdentifiers(root, name, fullfile(root, 'modules', [name '.cpp']));
    missing = ids(cellfun(@(id) isempty(strfind(text, id)), ids));
    expectTrue([name ': help lists every error identifier'], numel(ids) > 3 && isempty(missing), ...
               ['missing: ' strjoin(missing, ', ')]);
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

function ids = raisedIdentifiers(root, name, entryFile)
% Every reason the contract names, those of the MEX front end (the counts of
% inputs and outputs) and those of the contract::Call methods it uses (and of
% the methods these call), as "<name>:<reason>".
contract = fileread(fullfile(root, 'contract', 'call.cpp'));
definitions = regexp(contract, '\n[^\n]*\<Call::(\w+)\((.*?)\n\}', 'tokens');
methods = cellfun(@(d) d{1}, definitions, 'UniformOutput', false);
source = fileread(entryFile);
reasons = [words(source, 'reason::(\w+)'), words(fileread(fullfile(root, 'mex', 'mexHost.cpp')), 'reason::(\w+)')];
pending = words(source, 'call\.(\w+)\(');
done = {};
while ~isempty(pending)
    method = pending{end};
    pending(end) = [];
    if any(strcmp(done, method)), continue; end
    done{end + 1} = method;
    for body = definitions(strcmp(methods, method))
        reasons = [reasons, words(body{1}{2}, 'reason::(\w+)')];
        pending = [pending, intersect(words(body{1}{2}, '(\w+)\('), methods)];
    end
end
ids = strcat(name, ':', unique(reasons));
end

function w = words(text, pattern)
w = cellfun(@(t) t{1}, regexp(text, pattern, 'tokens'), 'UniformOutput', false);
end
