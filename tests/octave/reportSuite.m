function failed = reportSuite(name, junitFile)
% REPORTSUITE  Prints the suite's totals, writes them as a JUnit file for
% the test command's count, and returns the number of failures.
global octaveSuite
printf('%d passed, %d failed\n', octaveSuite.passed, octaveSuite.failed);
fid = fopen(junitFile, 'w');
fprintf(fid, '<testsuite name="%s" tests="%d" failures="%d"></testsuite>\n', ...
        name, octaveSuite.passed + octaveSuite.failed, octaveSuite.failed);
fclose(fid);
failed = octaveSuite.failed;
end
