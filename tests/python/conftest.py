# The Python package's tests run against a built ring library and the scrivlet tool, which reads
# the rings back: ctest names both (SCRIVLET_RING_LIBRARY, SCRIVLET_TOOL) and puts the package
# of the checkout on PYTHONPATH; the CI steps run them against an installed package instead.
import os, shutil, subprocess

import pytest

TOOL = os.environ.get("SCRIVLET_TOOL") or shutil.which("scrivlet")


@pytest.fixture
def tool():
    assert TOOL, "the scrivlet tool was not found: set SCRIVLET_TOOL"
    return lambda *args: subprocess.run([TOOL, *map(str, args)], capture_output=True, text=True,
                                        timeout=60)


@pytest.fixture
def cat(tool):
    def records(folder, *options):
        result = tool("cat", "--folder", folder, *options)
        assert result.returncode == 0, result.stderr
        return result.stdout.splitlines()

    return records
