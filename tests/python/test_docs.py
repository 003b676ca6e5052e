"""Every Python block of the README and docs/python.md runs as written, each
alone, saved as a script in a fresh interpreter (the dask example's workers
import it)."""

import os
import re
import subprocess
import sys

import pytest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
PAGES = ("README.md", os.path.join("docs", "python.md"))


def blocks():
    found = []
    for page in PAGES:
        with open(os.path.join(ROOT, page)) as f:
            text = f.read()
        for n, match in enumerate(re.finditer(r"^```python\n(.*?)^```", text, re.M | re.S)):
            found.append(pytest.param(match[1], id=f"{page} block {n + 1}"))
    return found


@pytest.mark.parametrize("code", blocks())
def test_block_runs(code, tmp_path):
    if "dask" in code:
        pytest.importorskip("distributed")
    script = tmp_path / "example.py"
    script.write_text(code)
    run = subprocess.run([sys.executable, str(script)], cwd=tmp_path, capture_output=True, text=True, timeout=300)
    assert run.returncode == 0, run.stderr
