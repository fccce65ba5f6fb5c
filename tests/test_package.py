"""The raw package view: Package, Part, Relationship, ContentTypes, PackageDefects."""

import inspect
import pathlib
import sys
import threading
import time

import pytest

import velmora
from conftest import CONTENT_TYPES, make_zip

RELS_NS = "http://schemas.openxmlformats.org/package/2006/relationships"
COMPOUND = b"\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1" + bytes(504)
COMPOUND_MESSAGE = "compound file: a legacy .ppt or an encrypted package, not an ECMA-376 package"


def rels_xml(*relationships):
    body = "".join(
        f'<Relationship Id="{rid}" Type="{kind}" Target="{target}"{extra}/>'
        for rid, kind, target, extra in relationships
    )
    return f'<Relationships xmlns="{RELS_NS}">{body}</Relationships>'.encode()


@pytest.fixture
def package():
    return velmora.Package(
        data=make_zip(
            [
                ("[Content_Types].xml", CONTENT_TYPES),
                ("_rels/.rels", rels_xml(("rId1", "t/officeDocument", "ppt/presentation.xml", ""),
                                         ("rId2", "t/link", "http://example.com/a?b", ' TargetMode="External"'))),
                ("ppt/presentation.xml", b"<p:presentation/>"),
                ("ppt/slides/slide1.xml", "\ufeff<p:sld/>".encode("utf-16-le")),
            ]
        )
    )


class TestClasses:
    DOCS = {
        "Package": "The raw Open Packaging Conventions view of a deck: every part, content\n"
        "type and relationship as written, defects included.",
        "Part": "One part of a package.",
        "Relationship": "One relationship of a part or of the package.",
        "ContentTypes": "The content types stream as two dicts.",
        "PackageDefects": "What the package layer found wrong: missing or broken content types,\n"
        "bad part names, name collisions, directory entries and incomplete pieces.",
    }

    @pytest.mark.parametrize("name", DOCS)
    def test_identity(self, name):
        cls = getattr(velmora, name)
        assert cls.__module__ == "velmora"
        assert cls.__name__ == cls.__qualname__ == name
        assert cls.__doc__ == self.DOCS[name]

    def test_package_signature(self):
        assert str(inspect.signature(velmora.Package)) == "(path=None, *, data=None)"

    @pytest.mark.parametrize(
        "method, signature, doc",
        [
            ("parts", "()", "Every part in archive order."),
            ("has", "(name)", "True when a part of that name exists, compared case-insensitively."),
            ("content_type", "(name)", "The declared content type of a part, or None."),
            ("read", "(name, *, raw=False)", "The decompressed bytes of a part. A UTF-16 XML part comes back as\n"
             "UTF-8 unless `raw=True`, which returns the bytes exactly as stored."),
            ("rels", "(source='/')", "The relationships of a part, or of the package itself for `/`."),
            ("resolve", "(source, rel_id)",
             "The part name relationship `rel_id` of `source` points at, when internal."),
            ("content_types", "()",
             "The `[Content_Types].xml` stream: defaults by extension, overrides by part name."),
        ],
    )
    def test_methods(self, package, method, signature, doc):
        bound = getattr(package, method)
        assert str(inspect.signature(bound)) == signature
        assert bound.__doc__ == doc

    @pytest.mark.parametrize(
        "cls, attribute, doc",
        [
            ("Package", "defects", "What the package layer found wrong while indexing."),
            ("Part", "size", "Decompressed size in bytes."),
            ("Relationship", "type", "The relationship type URI."),
            ("Relationship", "target", "The target as written; `Package.resolve` gives the part name."),
            ("ContentTypes", "defaults", "Extension to media type."),
            ("ContentTypes", "overrides", "Part name to media type."),
            ("PackageDefects", "invalid_names", "`(part name, why it is invalid)` pairs."),
            ("PackageDefects", "collisions", "Pairs of part names that are equivalent under OPC name comparison."),
            ("PackageDefects", "derivable", "Pairs where one part name is derivable from another."),
        ],
    )
    def test_attribute_docs(self, cls, attribute, doc):
        assert getattr(velmora, cls).__dict__[attribute].__doc__ == doc

    @pytest.mark.parametrize("name", ["Part", "Relationship", "ContentTypes", "PackageDefects"])
    def test_value_classes_cannot_be_made(self, name):
        with pytest.raises(TypeError):
            getattr(velmora, name)()

    def test_attributes_are_read_only(self, package):
        part = package.parts()[0]
        with pytest.raises(AttributeError):
            part.name = "/x"
        with pytest.raises(AttributeError):
            package.defects = None


class TestOpening:
    @pytest.mark.parametrize("args, kwargs", [((), {}), (("x.pptx",), {"data": b"PK"}), ((None,), {"data": None})])
    def test_exactly_one_source(self, args, kwargs):
        with pytest.raises(ValueError, match=r"^pass either a path or data=, not both$"):
            velmora.Package(*args, **kwargs)

    def test_path_forms(self, tmp_path):
        deck = tmp_path / "deck.pptx"
        deck.write_bytes(make_zip([("a.xml", b"<a/>")]))
        assert velmora.Package(deck).has("/a.xml")
        assert velmora.Package(str(deck)).has("/a.xml")
        assert velmora.Package(None, data=deck.read_bytes()).has("/a.xml")
        with pytest.raises(TypeError, match="path"):
            velmora.Package(bytes(deck))
        with pytest.raises(TypeError, match="path"):
            velmora.Package(42)

    def test_data_forms(self):
        data = make_zip([("a.xml", b"<a/>")])
        for form in (data, bytearray(data), memoryview(data), list(data)):
            assert velmora.Package(data=form).read("/a.xml") == b"<a/>"
        with pytest.raises(TypeError, match="data"):
            velmora.Package(data="text")
        with pytest.raises(ValueError, match="data"):
            velmora.Package(data=[1, 2, 300])

    def test_data_is_copied(self):
        data = bytearray(make_zip([("a.xml", b"<a/>")]))
        package = velmora.Package(data=data)
        data[:] = bytes(len(data))
        assert package.read("/a.xml") == b"<a/>"

    def test_failures(self, tmp_path):
        text = tmp_path / "notes.txt"
        text.write_text("not a deck")
        legacy = tmp_path / "legacy.ppt"
        legacy.write_bytes(COMPOUND + make_zip([("a.xml", b"<a/>")]))
        cases = [
            ({"path": text}, "not a zip archive"),
            ({"data": b"not a deck"}, "not a zip archive"),
            ({"path": legacy}, COMPOUND_MESSAGE),
            ({"data": COMPOUND}, COMPOUND_MESSAGE),
            ({"path": tmp_path / "missing.pptx"}, "io: No such file or directory"),
        ]
        for kwargs, message in cases:
            with pytest.raises(velmora.PptxError) as raised:
                velmora.Package(**kwargs)
            assert str(raised.value) == message


class TestReading:
    def test_parts(self, package):
        parts = package.parts()
        assert [p.name for p in parts] == ["/_rels/.rels", "/ppt/presentation.xml", "/ppt/slides/slide1.xml"]
        assert parts[1].content_type == "application/xml"
        assert parts[1].size == len(b"<p:presentation/>")
        assert parts[1].compressed_size > 0

    def test_lookups(self, package):
        assert package.has("/PPT/Presentation.XML")
        assert not package.has("ppt/presentation.xml")
        assert not package.has("/[Content_Types].xml")
        assert package.content_type("/ppt/anything.xml") == "application/xml"
        assert package.content_type("/ppt/image.png") is None

    def test_read(self, package):
        assert package.read("/PPT/PRESENTATION.xml") == package.read("/ppt/presentation.xml") == b"<p:presentation/>"
        assert package.read("/ppt/slides/slide1.xml") == b"<p:sld/>"
        assert package.read("/ppt/slides/slide1.xml", raw=True) == "\ufeff<p:sld/>".encode("utf-16-le")
        with pytest.raises(velmora.PptxError, match=r"^missing part: /nope\.xml$"):
            package.read("/nope.xml")
        with pytest.raises(TypeError):
            package.read("/ppt/presentation.xml", True)  # raw is keyword-only

    @pytest.mark.parametrize(
        "call, argument",
        [
            (lambda p: p.read(b"/x"), "name"),
            (lambda p: p.has(1), "name"),
            (lambda p: p.content_type(None), "name"),
            (lambda p: p.rels(source=b"/"), "source"),
            (lambda p: p.resolve("/", 3), "rel_id"),
        ],
    )
    def test_wrong_types_name_the_argument(self, package, call, argument):
        with pytest.raises(TypeError, match=f"argument '{argument}' must be str"):
            call(package)

    def test_relationships(self, package):
        rels = package.rels()
        assert [(r.id, r.type, r.target, r.external) for r in rels] == [
            ("rId1", "t/officeDocument", "ppt/presentation.xml", False),
            ("rId2", "t/link", "http://example.com/a?b", True),
        ]
        assert [r.id for r in package.rels("/")] == ["rId1", "rId2"]
        assert package.rels("/ppt/presentation.xml") == []
        assert package.resolve("/", "rId1") == "/ppt/presentation.xml"
        assert package.resolve("/", "rId2") is None
        assert package.resolve("/", "rId9") is None

    def test_malformed_relationships_raise(self):
        broken = velmora.Package(data=make_zip([("_rels/.rels", b"<Relationships><a></Relationships>")]))
        with pytest.raises(velmora.PptxError) as raised:
            broken.rels()
        assert str(raised.value) == "xml in /_rels/.rels at byte 18: end tag does not match the open element"

    def test_content_types(self):
        stream = (
            b'<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
            b'<Default Extension="xml" ContentType="one"/><Default Extension="XML" ContentType="upper"/>'
            b'<Default Extension="png" ContentType="image/png"/><Default Extension="xml" ContentType="two"/>'
            b'<Override PartName="/b.xml" ContentType="b"/><Override PartName="/a.xml" ContentType="a"/></Types>'
        )
        types = velmora.Package(data=make_zip([("[Content_Types].xml", stream)])).content_types()
        assert list(types.defaults.items()) == [("XML", "upper"), ("png", "image/png"), ("xml", "two")]
        assert list(types.overrides.items()) == [("/a.xml", "a"), ("/b.xml", "b")]

    def test_missing_content_types(self):
        package = velmora.Package(data=make_zip([("a.xml", b"<a/>")]))
        types = package.content_types()
        assert (types.defaults, types.overrides) == ({}, {})
        assert package.defects.content_types_missing
        assert package.parts()[0].content_type is None


class TestDefects:
    def test_everything_recorded(self):
        package = velmora.Package(
            data=make_zip(
                [
                    ("[content_types].XML", b"<Types><Default></Types>"),
                    ("ppt/", b""),
                    ("ppt/a.xml", b"first"),
                    ("PPT/A.XML", b"second"),
                    ("ppt/a.xml/b", b""),
                    ("ppt/Slide 1.xml", b"spaced"),
                    ("x.xml/[0].piece", b"a"),
                    ("x.xml/[2].last.piece", b"c"),
                ]
            )
        )
        defects = package.defects
        assert defects.content_types_missing is False
        assert defects.content_types_case == "[content_types].XML"
        assert defects.content_types_error == "end tag does not match the open element at byte 16"
        assert defects.content_types_unreadable is None
        assert defects.invalid_names == [("/ppt/Slide 1.xml", "character ' ' must be percent-encoded")]
        assert defects.collisions == [("/ppt/a.xml", "/PPT/A.XML")]
        assert defects.derivable == [("/ppt/a.xml/b", "/ppt/a.xml")]
        assert defects.directories == ["ppt/"]
        assert defects.incomplete_pieces == ["/x.xml"]
        assert package.read("/PPT/A.XML") == b"first"
        assert package.read("/ppt/Slide 1.xml") == b"spaced"
        assert repr(defects) == "PackageDefects(content_types_missing=false, invalid_names=1, collisions=1)"

    def test_pieces_make_one_part(self):
        package = velmora.Package(
            data=make_zip([("x.xml/[1].piece", b"-2-"), ("x.xml/[0].piece", b"1"), ("x.xml/[2].last.piece", b"3")])
        )
        (part,) = package.parts()
        assert part.name == "/x.xml"
        assert part.size == 1  # the first piece's declared size
        assert package.read("/x.xml") == b"1-2-3"


class TestRepresentations:
    def test_reprs(self, tmp_path, package):
        deck = tmp_path / 'we"ird\\name.pptx'
        deck.write_bytes(make_zip([('a"b\n.xml', b"12345")]))
        opened = velmora.Package(deck)
        assert repr(opened) == f'Package(path="{str(tmp_path)}/we\\"ird\\\\name.pptx", parts=1)'
        assert repr(opened.parts()[0]) == 'Part("/a\\"b\\n.xml", 5 bytes)'
        assert repr(package) == "Package(parts=3)"
        assert repr(package.rels()[1]) == 'Relationship(rId2 -> "http://example.com/a?b")'
        assert repr(package.content_types()) == "ContentTypes(defaults=2, overrides=0)"

    def test_control_characters(self):
        package = velmora.Package(data=make_zip([("a\x01\t\x7f.xml", b"")]))
        assert repr(package.parts()[0]) == 'Part("/a\\u{1}\\t\\u{7f}.xml", 0 bytes)'


class TestThreads:
    def test_concurrent_reads_are_correct(self):
        parts = {f"p{i}.xml": bytes([65 + i]) * (200_000 + i) for i in range(8)}
        package = velmora.Package(data=make_zip(parts.items()))
        failures = []

        def reader():
            for _ in range(20):
                for name, data in parts.items():
                    if package.read("/" + name) != data:
                        failures.append(name)

        threads = [threading.Thread(target=reader) for _ in range(4)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
        assert failures == []

    def test_lock_is_released_while_reading(self):
        # With forced thread switches effectively off, the counting thread can
        # run only when the reading thread gives the lock up; it does so only
        # inside read() if read() releases it.
        package = velmora.Package(data=make_zip([("big.xml", b"<a>" + b"x" * 16_000_000 + b"</a>")]))
        counter = 0
        done = threading.Event()
        started = threading.Event()

        def count():
            nonlocal counter
            started.set()
            while not done.is_set():
                counter += 1
                if counter % 1000 == 0:
                    time.sleep(0)  # lets the reader back in once its read is over

        interval = sys.getswitchinterval()
        sys.setswitchinterval(30)
        try:
            counting = threading.Thread(target=count)
            counting.start()
            started.wait()
            # Several tries, in case the machine is too busy to run the
            # counting thread during one read; a read that holds the lock
            # never lets it move.
            progressed = False
            for _ in range(50):
                before = counter
                package.read("/big.xml")
                if counter > before:
                    progressed = True
                    break
            done.set()
            counting.join()
        finally:
            sys.setswitchinterval(interval)
        assert progressed
