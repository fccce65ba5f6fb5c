"""The extension module's frame: version, exception type, submodule, exports."""

import importlib
import shutil
import subprocess
import sys

import pytest

import velmora
import velmora._velmora as native


def test_version():
    assert native.__version__ == "2.2.0"
    assert velmora.__version__ == "2.2.0"


@pytest.mark.parametrize(
    "attribute, expected",
    [
        ("__name__", "PptxError"),
        ("__qualname__", "PptxError"),
        ("__module__", "velmora"),
        ("__doc__", "Raised for any PowerPoint processing error (bad data, unreadable parts, I/O)."),
    ],
)
def test_pptx_error_identity(attribute, expected):
    assert getattr(native.PptxError, attribute) == expected


def test_pptx_error_is_a_plain_exception():
    assert native.PptxError.__bases__ == (Exception,)
    assert velmora.PptxError is native.PptxError
    with pytest.raises(Exception, match="^zip: bad local header signature at offset 0$"):
        raise velmora.PptxError("zip: bad local header signature at offset 0")


def test_module_docstring_is_empty():
    assert native.__doc__ == ""


def test_write_submodule_is_registered():
    write = sys.modules["velmora._velmora.write"]
    assert write is native.write
    assert importlib.import_module("velmora._velmora.write") is write
    assert importlib.import_module("velmora.write") is write
    exec("from velmora._velmora.write import *", {})


def test_reimport_gives_the_same_objects():
    again = importlib.reload(velmora)
    assert again.PptxError is native.PptxError


@pytest.mark.skipif(shutil.which("nm") is None, reason="nm not installed")
def test_only_the_init_function_is_exported():
    out = subprocess.run(["nm", "-D", "--defined-only", native.__file__], capture_output=True, text=True, check=True)
    symbols = [line.split()[-1] for line in out.stdout.splitlines() if line.strip()]
    assert symbols == ["PyInit__velmora"]
