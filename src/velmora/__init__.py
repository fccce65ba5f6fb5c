"""Reads, writes and verifies presentation decks."""

import sys as _sys

from . import _velmora
from ._velmora import *  # noqa: F401,F403
from ._velmora import PptxError, __version__, write

# `velmora.write` is the extension's submodule; make `import velmora.write` find it.
_sys.modules[__name__ + ".write"] = write

__all__ = [name for name in dir(_velmora) if not name.startswith("_")]
