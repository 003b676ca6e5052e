function buildModules(outDir)
%BUILDMODULES  Compile crestThin, splitScan and splitScanBinned with the host's mex.
%   buildModules compiles the three modules into the folder of this file, next
%   to their help files, named with the host's extension (mexext). Add that
%   folder to the path to call them. buildModules(outDir) writes them to outDir.
%
%   Runs at the MATLAB and at the Octave prompt with the compiler that the
%   host's mex uses (GCC on Linux, Microsoft Visual C++ or MinGW on Windows,
%   Xcode's clang on macOS); the sources need C++17. The modules run their
%   work on an OpenMP thread team, except on macOS where they run serially.
%
%   See also MEX, MEXEXT, crestThin, splitScan, splitScanBinned.

here = fileparts(mfilename('fullpath'));
root = fileparts(here);
if nargin < 1, outDir = here; end
if ~exist(outDir, 'dir'), mkdir(outDir); end
isOctave = exist('OCTAVE_VERSION', 'builtin') ~= 0;

% Every kernel source of a module folder, so that new files are picked up.
gateway = {fullfile(root, 'gateway', 'args.cpp'), fullfile(root, 'gateway', 'threadRuntime.cpp')};
crest = kernelSources(fullfile(root, 'crest'), {'crestThin.cpp'});
split = kernelSources(fullfile(root, 'split'), {'splitScan.cpp', 'splitScanBinned.cpp'});
modules = {
    'crestThin',       fullfile(root, 'crest', 'crestThin.cpp'),       crest, '-compatibleArrayDims'
    'splitScan',       fullfile(root, 'split', 'splitScan.cpp'),       split, '-largeArrayDims'
    'splitScanBinned', fullfile(root, 'split', 'splitScanBinned.cpp'), split, '-largeArrayDims'};
if ~isunix || ismac
    modules = modules(1, :);  % the split searches are built for Linux only
end

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
    flags{end + 1} = ['-Wl,--version-script=' fullfile(root, 'gateway', 'mexFunction.map')];
end

for i = 1:size(modules, 1)
    [name, entry, kernels, api] = modules{i, :};
    args = [flags, {['-I' root]}];
    if ismac && strcmp(name, 'crestThin')
        args{end + 1} = '-DCREST_DOUBLE_SINCOS';  % the serial build's sine and cosine
    end
    if isOctave
        % Octave's mex.h serves both array interfaces under the same names.
        args = [args, {'-o', fullfile(outDir, [name '.' mexext])}];
    else
        % MATLAB's mex adds the API-version record itself.
        args = [args, {api, '-outdir', outDir, '-output', name}];
    end
    clear(name);  % unload a loaded module of that name before it is replaced
    mex(args{:}, entry, kernels{:}, gateway{:});
    fprintf('built %s\n', fullfile(outDir, [name '.' mexext]));
end
if ispc && ~isOctave && ~msvc
    copyMinGWRuntime(outDir);
end
rehash;  % a folder already on the path now holds modules that shadow the help files
end

function files = kernelSources(folder, entries)
listing = dir(fullfile(folder, '*.cpp'));
names = sort(setdiff({listing.name}, entries));
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
