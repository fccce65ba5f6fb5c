"""Every deck of the corpus through Package, against zipfile and ElementTree."""

import xml.etree.ElementTree as ElementTree
import zipfile

import pytest

import velmora

COMPOUND_SIGNATURE = b"\xd0\xcf\x11\xe0"


def healthy_zip(path):
    """The zipfile view of an archive zipfile reads without a fault, or None."""
    try:
        archive = zipfile.ZipFile(path)
        names = archive.namelist()
        if archive.testzip() is not None or len({n.lower() for n in names}) != len(names):
            return None
        return archive
    except (zipfile.BadZipFile, OSError, EOFError, NotImplementedError, ValueError):
        return None


def expected_part_names(names):
    return [
        "/" + n
        for n in names
        if not n.endswith("/") and n.lower() != "[content_types].xml" and not n.lower().endswith(".piece")
    ]


def source_of(rels_name):
    folder, _, file = rels_name.rpartition("/_rels/")
    return "/" if rels_name == "/_rels/.rels" else f"{folder}/{file[: -len('.rels')]}"


def test_every_file_opens_or_fails_cleanly(corpus):
    for path in corpus:
        head = path.read_bytes()[:4]
        try:
            package = velmora.Package(path)
        except velmora.PptxError as error:
            if head == COMPOUND_SIGNATURE:
                assert str(error) == "compound file: a legacy .ppt or an encrypted package, not an ECMA-376 package"
            else:
                assert str(error) == "not a zip archive" or str(error).startswith(("zip: ", "io: ")), path
            continue
        assert head != COMPOUND_SIGNATURE, path
        package.defects  # computed without raising
        for part in package.parts():
            assert part.name.startswith("/")
            try:
                package.read(part.name)
            except velmora.PptxError as error:
                assert str(error).startswith(("inflate: ", "zip: ", "unsupported: ")), (path, part.name)


def test_healthy_packages_agree_with_zipfile(corpus):
    checked = 0
    for path in corpus:
        archive = healthy_zip(path)
        if archive is None or path.read_bytes()[:4] == COMPOUND_SIGNATURE:
            continue
        package = velmora.Package(path)
        names = archive.namelist()
        assert [p.name for p in package.parts()] == expected_part_names(names), path
        for name in expected_part_names(names):
            assert package.read(name, raw=True) == archive.read(name[1:]), (path, name)
        for name in expected_part_names(names):
            if not name.endswith(".rels") or "/_rels/" not in name:
                continue
            try:
                root = ElementTree.fromstring(archive.read(name[1:]))
            except ElementTree.ParseError:
                with pytest.raises(velmora.PptxError):
                    package.rels(source_of(name))
                continue
            expected = [
                (e.get("Id"), e.get("Type"), e.get("Target"), e.get("TargetMode") == "External")
                for e in root  # children of the root, by local name in any namespace
                if e.tag.rpartition("}")[2] == "Relationship"
                and e.get("Id") is not None and e.get("Type") is not None and e.get("Target") is not None
            ]
            got = [(r.id, r.type, r.target, r.external) for r in package.rels(source_of(name))]
            assert got == expected, (path, name)
        checked += 1
    assert checked > 50
