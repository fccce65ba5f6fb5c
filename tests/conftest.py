import io
import pathlib
import zipfile

import pytest

CORPUS = pathlib.Path(__file__).resolve().parents[1].parent / "shared" / "corpus"

CONTENT_TYPES = (
    b'<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
    b'<Default Extension="xml" ContentType="application/xml"/>'
    b'<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
    b"</Types>"
)


def make_zip(items, compression=zipfile.ZIP_DEFLATED):
    """Zip bytes from (name, bytes) pairs, in order; repeated names are kept."""
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", compression) as archive:
        for name, data in items:
            info = zipfile.ZipInfo(name)
            info.compress_type = compression
            with archive.open(info, "w") as member:  # allows repeated names, unlike writestr
                member.write(data)
    return buffer.getvalue()


def corpus_files():
    if not CORPUS.is_dir():
        return []
    return sorted(path for path in CORPUS.rglob("*") if path.is_file() and path.name != "README.md")


@pytest.fixture
def corpus():
    files = corpus_files()
    if not files:
        pytest.skip(f"corpus absent: {CORPUS}")
    return files
