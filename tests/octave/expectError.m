function expectError(name, call, id, fragments)
%EXPECTERROR  Pass when call() raises an error with identifier ID whose
%   message, after the host's "module: " prefix, holds every fragment.
module = strtok(id, ':');
try
    call();
    expectTrue(name, false, 'no error was raised');
    return
catch err
end
prefix = [module ': '];
detail = '';
if ~strcmp(err.identifier, id)
    detail = sprintf('identifier "%s", expected "%s" (%s)', err.identifier, id, err.message);
elseif ~strncmp(err.message, prefix, numel(prefix))
    detail = sprintf('message "%s" lacks the prefix "%s"', err.message, prefix);
else
    text = err.message(numel(prefix) + 1:end);
    missing = fragments(cellfun(@(f) isempty(strfind(text, f)), fragments));
    if ~isempty(missing)
        detail = sprintf('message "%s" lacks "%s"', text, missing{1});
    end
end
expectTrue(name, isempty(detail), detail);
end
