"""Builds the crestsplit package: the Python front end (python/) over the
modules' contracts (modules/, contract/), the kernels of every folder that
modules.txt names and the host-free helpers (common/). Compiled as the MEX
modules are: C++17, no contraction into fused multiply-add, no value-changing
optimisation, OpenMP; the instruction sets are chosen at run time.

    python3 -m venv --system-site-packages venv
    venv/bin/pip install --no-build-isolation .
"""

import glob
import os
from concurrent.futures import ThreadPoolExecutor

import numpy
from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

root = os.path.dirname(os.path.abspath(__file__))


def kernel_folders():
    """The kernel folder of every module in modules.txt."""
    folders = []
    with open(os.path.join(root, "modules.txt")) as listing:
        for line in listing:
            fields = line.split()
            if fields and not line.startswith("#") and fields[1] not in folders:
                folders.append(fields[1])
    return folders


def sources():
    found = []
    for folder in ["python", "contract", "modules", "common"] + kernel_folders():
        found += sorted(glob.glob(os.path.join(folder, "*.cpp"), root_dir=root))
    return found


class ParallelBuild(build_ext):
    """Compiles the sources of the extension side by side, one per core."""

    def build_extension(self, ext):
        compiler = self.compiler
        plain = compiler.compile

        def compile_each(sources, *args, **kwargs):
            with ThreadPoolExecutor(os.cpu_count() or 1) as pool:
                objects = pool.map(lambda source: plain([source], *args, **kwargs), sources)
                return [o for each in objects for o in each]

        compiler.compile = compile_each
        try:
            super().build_extension(ext)
        finally:
            compiler.compile = plain


flags = ["-std=c++17", "-O2", "-g0", "-ffp-contract=off", "-fno-fast-math", "-fopenmp",
         "-fvisibility=hidden", "-Wall", "-Wextra"]

setup(
    ext_modules=[
        Extension(
            "crestsplit._kernels",
            sources=sources(),
            include_dirs=[root, numpy.get_include()],
            extra_compile_args=flags,
            extra_link_args=["-fopenmp"],
            language="c++",
        )
    ],
    cmdclass={"build_ext": ParallelBuild},
)
