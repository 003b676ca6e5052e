function buildModules(outDir)
%BUILDMODULES  Compile crestThin, splitScan and splitScanBinned with the host's mex.
%   buildModules compiles the three modules into the folder of this file,
%   named with the host's extension (mexext), and puts each module's help
%   file beside it. buildModules(outDir) writes them to outDir. Add that
%   folder to the path: it gives both the calls and `help crestThin`.
%
%   A module newer than every file it is built from is up to date and is not
%   built again; delete it to force a build.
%
%   Runs at the MATLAB and at the Octave prompt with the compiler that the
%   host's mex uses (GCC on Linux, Microsoft Visual C++ or MinGW on Windows,
%   Xcode's clang on macOS); the sources need C++17. The modules run their
%   work on an OpenMP thread team, except on macOS where they run serially.
%
%   See also MEX, MEXEXT, crestThin, splitScan, splitScanBinned.

here = fileparts(mfilename('fullpath'));
root = fileparts(here);
% The help files live in a folder of their own, so that no folder on the
% path holds a help file without its module: it would shadow the module.
helpDir = fullfile(here, 'help');
if exist(fullfile(here, 'src', 'modules.txt'), 'file')
    % The MATLAB folder of a release: the sources in src/, the help here.
    root = fullfile(here, 'src');
    helpDir = here;
end
if nargin < 1, outDir = here; end
if ~exist(outDir, 'dir'), mkdir(outDir); end
isOctave = exist('OCTAVE_VERSION', 'builtin') ~= 0;

% The modules of this platform, from the list that CMake reads too. A
% module is its contract (modules/<name>.cpp), every source of its kernel
% folder, the MEX front end (mex/, its entry.cpp serving the contract that
% MEX_MODULE names), the argument contract (contract/) and the host-free
% helpers (common/).
modules = moduleList(fullfile(root, 'modules.txt'));
shared = [sources(fullfile(root, 'mex'), {'apiVersion.cpp'}), sources(fullfile(root, 'contract'), {}), ...
          sources(fullfile(root, 'common'), {})];

% Results are fixed to the last bit by the order of operations: no
% contraction into fused multiply-add. macOS builds run without OpenMP.
msvc = ispc && ~isOctave && ~isempty(strfind(lower(selectedCompiler()), 'msvc'));
if msvc
    flags = {'COMPFLAGS=$COMPFLAGS /std:c++17 /openmp /fp:precise'};
else
    cxx = '-std=c++17 -ffp-contract=off';
    omp = '';
    if ~ismac, omp = ' -fopenmp'; end
    if isOctave
        flags = strsplit([cxx omp]);  % Octave's mex hands these to compiler and linker
    elseif ispc
        % MinGW: the C++ runtime goes into the module; OpenMP stays a DLL beside it.
        flags = {['CXXFLAGS=$CXXFLAGS ' cxx omp], ['LDFLAGS=$LDFLAGS' omp ' -static-libgcc -static-libstdc++']};
    else
        flags = {['CXXFLAGS=$CXXFLAGS ' cxx omp], ['LDFLAGS=$LDFLAGS' omp]};
    end
    if isunix && ~ismac, flags{end + 1} = '-ldl'; end
end
if isOctave && isunix && ~ismac
    % Export the entry point alone (MATLAB's mex applies its own export map).
    flags{end + 1} = ['-Wl,--version-script=' fullfile(root, 'mex', 'mexFunction.map')];
end

for i = 1:size(modules, 1)
    [name, folder, arrays] = modules{i, 1:3};
    target = fullfile(outDir, [name '.' mexext]);
    if ~strcmp(helpDir, outDir), copyfile(fullfile(helpDir, [name '.m']), outDir); end
    built = dir(target);
    if numel(built) == 1 && built.datenum > newestSource(root, name, folder)
        fprintf('%s is up to date\n', target);
        continue
    end
    entry = fullfile(root, 'modules', [name '.cpp']);
    kernels = sources(fullfile(root, folder), {});
    fprintf('building %s from %d source files ...\n', target, 1 + numel(kernels) + numel(shared));
    if isOctave, fflush(stdout); end  % say so before the compiler takes its time
    args = [flags, {['-I' root], ['-DMEX_MODULE=' name]}];
    if ismac
        % The macOS modules take crestThin's sine and cosine in double precision.
        args{end + 1} = '-DCREST_DOUBLE_SINE_COSINE';
    end
    if isOctave
        % Octave's mex.h serves both array interfaces under the same names.
        args = [args, {'-o', target}];
    else
        % MATLAB's mex adds the API-version record itself.
        api = '-largeArrayDims';
        if strcmp(arrays, 'compat32'), api = '-compatibleArrayDims'; end
        args = [args, {api, '-outdir', outDir, '-output', name}];
    end
    clear(name);  % unload a loaded module of that name before it is replaced
    mex(args{:}, entry, kernels{:}, shared{:});
    fprintf('built %s\n', target);
end
if ispc && ~isOctave && ~msvc
    copyMinGWRuntime(outDir);
end
rehash;  % a folder already on the path may have new modules and help files
end

function modules = moduleList(file)
% One row per module of this platform: name, kernel folder, arrays.
platform = 'linux';
if ispc, platform = 'windows'; elseif ismac, platform = 'macos'; end
lines = strtrim(strsplit(fileread(file), sprintf('\n')));
modules = cell(0, 3);
for i = 1:numel(lines)
    if isempty(lines{i}) || lines{i}(1) == '#', continue; end
    fields = regexp(lines{i}, '\s+', 'split');
    if any(strcmp(platform, strsplit(fields{4}, ',')))
        modules(end + 1, :) = fields(1:3);
    end
end
end

function stamp = newestSource(root, name, folder)
% When the newest of the files a module is built from was written: its entry,
% its kernel folder's sources and headers, the shared folders', the module
% list, this script.
files = [dir(fullfile(root, 'modules', [name '.cpp']))
         dir(fullfile(root, folder, '*.cpp')); dir(fullfile(root, folder, '*.h'))
         dir(fullfile(root, 'gini', '*.h')); dir(fullfile(root, 'mex', '*.map'))
         dir(fullfile(root, 'mex', '*.cpp')); dir(fullfile(root, 'mex', '*.h'))
         dir(fullfile(root, 'contract', '*.cpp')); dir(fullfile(root, 'contract', '*.h'))
         dir(fullfile(root, 'common', '*.cpp')); dir(fullfile(root, 'common', '*.h'))
         dir(fullfile(root, 'modules.txt')); dir([mfilename('fullpath') '.m'])];
stamp = max([files.datenum]);
end

function files = sources(folder, excluded)
listing = dir(fullfile(folder, '*.cpp'));
names = sort(setdiff({listing.name}, excluded));
files = cellfun(@(n) fullfile(folder, n), names, 'UniformOutput', false);
end

function copyMinGWRuntime(outDir)
% The OpenMP runtime and what it needs, beside the module (Octave ships its own).
bin = fullfile(getenv('MW_MINGW64_LOC'), 'bin');
for dll = {'libgomp-1.dll', 'libgcc_s_seh-1.dll', 'libwinpthread-1.dll'}
    source = fullfile(bin, dll{1});
    if exist(source, 'file'), copyfile(source, outDir); end
end
end

function name = selectedCompiler()
cc = mex.getCompilerConfigurations('C++', 'Selected');
name = '';
if ~isempty(cc), name = cc(1).ShortName; end
end
