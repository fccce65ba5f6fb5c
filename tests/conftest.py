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


def raw_zip(entries, prefix=b"", declared_extra=0, cut_directory=False):
    """Zip bytes with every field under the test's control.

    Each entry is a dict: name (str or bytes), data (the stored bytes),
    method, flags, version, crc (default: of `plain` or `data`), size
    (uncompressed, default len(plain or data)), and `local`, a dict of fields
    (method, flags, name, crc, csize, usize) that differ in the local header.
    """
    import struct
    import zlib

    body = bytearray()
    directory = bytearray()
    for entry in entries:
        name = entry["name"].encode() if isinstance(entry["name"], str) else entry["name"]
        data = entry.get("data", b"")
        plain = entry.get("plain", data)
        method, flags, version = entry.get("method", 0), entry.get("flags", 0), entry.get("version", 20)
        crc = entry.get("crc", zlib.crc32(plain))
        size = entry.get("size", len(plain))
        local = {"method": method, "flags": flags, "name": name, "crc": crc, "csize": len(data), "usize": size}
        local.update(entry.get("local", {}))
        offset = len(body)
        body += struct.pack("<IHHHHHIIIHH", 0x04034B50, version, local["flags"], local["method"], 0, 0,
                            local["crc"], local["csize"], local["usize"], len(local["name"]), 0)
        body += local["name"] + data
        directory += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, version, flags, method, 0, 0, crc,
                                 len(data), size, len(name), 0, 0, 0, 0, 0, offset)
        directory += name
    count = len(entries) + declared_extra
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, count, count, len(directory), len(body), 0)
    if cut_directory:
        return prefix + bytes(body) + bytes(directory[:10])
    return prefix + bytes(body) + bytes(directory) + end
