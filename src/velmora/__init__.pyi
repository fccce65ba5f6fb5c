from . import write as write
from ._velmora import (
    CheckReport as CheckReport,
    ContentTypes as ContentTypes,
    Finding as Finding,
    Package as Package,
    PackageDefects as PackageDefects,
    Part as Part,
    PptxError as PptxError,
    Relationship as Relationship,
    Rule as Rule,
    __version__ as __version__,
    check as check,
    check_report as check_report,
    rules as rules,
)
