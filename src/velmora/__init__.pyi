from . import write as write
from ._velmora import PptxError as PptxError, __version__ as __version__
