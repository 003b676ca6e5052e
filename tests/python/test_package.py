"""The installed package as a whole: its version is the project's, and its
stubs describe the functions that the extension really has."""

import ast
import inspect
import os

import pytest

import crestsplit

ROOT = os.path.join(os.path.dirname(__file__), "..", "..")


def test_the_version_is_the_projects():
    with open(os.path.join(ROOT, "VERSION")) as f:
        assert crestsplit.__version__ == f.read().strip()


def stub_signatures():
    """Each function of _kernels.pyi: its parameters as (name, kind, default)."""
    path = os.path.join(os.path.dirname(crestsplit.__file__), "_kernels.pyi")
    with open(path) as f:
        tree = ast.parse(f.read())
    found = {}
    for node in tree.body:
        if isinstance(node, ast.FunctionDef):
            a = node.args
            found[node.name] = [(p.arg, "positional") for p in a.args] + [(p.arg, "keyword") for p in a.kwonlyargs]
    return found


@pytest.mark.parametrize("name", ["crest_thin", "split_scan", "split_scan_binned"])
def test_the_stubs_name_each_parameter_as_the_extension_does(name):
    kinds = {inspect.Parameter.POSITIONAL_OR_KEYWORD: "positional", inspect.Parameter.KEYWORD_ONLY: "keyword"}
    real = [(p.name, kinds.get(p.kind)) for p in inspect.signature(getattr(crestsplit, name)).parameters.values()]
    assert stub_signatures()[name] == real


def test_the_stubs_have_no_function_the_extension_lacks():
    assert set(stub_signatures()) == {"crest_thin", "split_scan", "split_scan_binned"}
