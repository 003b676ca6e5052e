function expectTrue(name, condition, detail)
%EXPECTTRUE  Record one case of the Octave suite as passed or failed.
global octaveSuite
if nargin < 3, detail = ''; end
if isempty(octaveSuite), octaveSuite = struct('passed', 0, 'failed', 0); end
if isequal(condition, true)
    octaveSuite.passed = octaveSuite.passed + 1;
    printf('  ok    %s\n', name);
else
    octaveSuite.failed = octaveSuite.failed + 1;
    printf('  FAIL  %s  %s\n', name, detail);
end
end
