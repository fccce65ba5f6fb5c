from . import write as write
from ._velmora import (
    ContentTypes as ContentTypes,
    Package as Package,
    PackageDefects as PackageDefects,
    Part as Part,
    PptxError as PptxError,
    Relationship as Relationship,
    __version__ as __version__,
)
