function unloadTests(root)
%UNLOADTESTS  What unloads a module in Octave, as the README tells: `clear
%   functions` and `clear <module>` do, `clear mex` does not (Octave takes
%   `mex` as the name of what to clear). Whether the module is loaded is
%   read from the process's memory map.
printf('unloading\n');
file = canonicalize_file_name(which('crestThin'));
loaded = @() ~isempty(strfind(fileread('/proc/self/maps'), file));
readme = fileread(fullfile(root, 'README.md'));
e = ones(4, 'single');
ways = {'clear mex', false; 'clear functions', true; 'clear crestThin', true};
for k = 1:rows(ways)
    [command, unloads] = ways{k, :};
    crestThin(e, e, 1, 1, 1, 1);
    eval([command ';']);
    expectTrue(sprintf('%s %s the module', command, ifelse(unloads, 'unloads', 'keeps')), loaded() ~= unloads, ...
               sprintf('loaded: %d', loaded()));
    expectTrue(sprintf('the README names `%s`', command), ~isempty(strfind(readme, ['`' command '`'])));
end
end

function v = ifelse(condition, yes, no)
v = no;
if condition, v = yes; end
end
