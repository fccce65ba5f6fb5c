"""The verifier's driver, report and Python face, and the container and
content-type rules, each shown by a package crafted to break it alone."""

import inspect
import zipfile

import pytest

import velmora
from conftest import make_zip, raw_zip

CT = "/[Content_Types].xml"
RELS_TYPE = "application/vnd.openxmlformats-package.relationships+xml"
DEFAULTS = {"xml": "application/xml", "rels": RELS_TYPE, "bin": "application/octet-stream"}


def types(defaults=DEFAULTS, overrides=(), root='<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">',
          extra=""):
    body = "".join(f'<Default Extension="{e}" ContentType="{t}"/>' for e, t in
                   (defaults.items() if isinstance(defaults, dict) else defaults))
    body += "".join(f'<Override PartName="{n}" ContentType="{t}"/>' for n, t in overrides)
    return f"{root}{body}{extra}</Types>".encode()


def with_types(*entries, **type_options):
    """Raw zip entries after a sound content types stream."""
    return raw_zip([{"name": "[Content_Types].xml", "data": types(**type_options)}, *entries])


def package(items, **type_options):
    return make_zip([("[Content_Types].xml", types(**type_options)), *items])


def findings(data, **options):
    return [(f.code, f.message, f.part) for f in velmora.check(data=data, **options)]


class TestRules:
    def test_table(self):
        rules = velmora.rules()
        assert len(rules) == 72
        positions = {0: "ZIP001", 18: "CTY001", 26: "REL001", 36: "PKG001", 41: "XML001", 45: "PML001", 71: "CPR004"}
        assert {i: rules[i].code for i in positions} == positions
        first = rules[0]
        assert (first.code, first.severity, first.clause, first.summary) == (
            "ZIP001", "error", "Part 2 B.4 Table B.4", "Entries use only the stored (0) or deflate (8) compression methods")
        assert repr(first) == "Rule(error ZIP001 [Part 2 B.4 Table B.4])"
        assert rules[67].summary == "Slide-family parts relate only to the part kinds the specification lists"
        assert {r.severity for r in rules} == {"error", "warning", "info"}
        assert len({r.code for r in rules}) == 72


class TestPythonFace:
    @pytest.mark.parametrize(
        "function, doc",
        [
            (velmora.check, "Verifies a deck against ECMA-376 and returns its findings, most severe first."),
            (velmora.check_report, "Verifies a deck and returns the findings with the parts checked and\n"
             "whether `max_findings` truncated the list."),
        ],
    )
    def test_check_functions(self, function, doc):
        assert function.__doc__ == doc
        assert str(inspect.signature(function)) == (
            "(path=None, *, data=None, max_findings=1000, xml_well_formed=True, verify_crc=True)")

    def test_rules_function(self):
        assert velmora.rules.__doc__ == "Every rule the verifier knows."
        assert str(inspect.signature(velmora.rules)) == "()"

    @pytest.mark.parametrize(
        "name, doc, attributes",
        [
            ("Finding", "One verifier finding.", ["code", "severity", "clause", "part", "location", "message"]),
            ("Rule", "One verifier rule.", ["code", "severity", "clause", "summary"]),
            ("CheckReport", "The verifier's result: findings plus how much was checked.",
             ["findings", "parts_checked", "truncated", "errors", "warnings", "is_clean", "codes"]),
        ],
    )
    def test_classes(self, name, doc, attributes):
        cls = getattr(velmora, name)
        assert (cls.__module__, cls.__doc__) == ("velmora", doc)
        assert [k for k in cls.__dict__ if not k.startswith("__")] == attributes
        with pytest.raises(TypeError):
            cls()

    @pytest.mark.parametrize(
        "kwargs, error, message",
        [
            ({}, ValueError, "^pass either a path or data=, not both$"),
            ({"path": "x.pptx", "data": b"PK"}, ValueError, "^pass either a path or data=, not both$"),
            ({"data": b"PK", "max_findings": -1}, ValueError, "max_findings"),
            ({"data": b"PK", "max_findings": "10"}, TypeError, "max_findings"),
            ({"data": "text"}, TypeError, "data"),
            ({"data": b"plain text"}, velmora.PptxError, "^not a zip archive$"),
            ({"data": b"\xd0\xcf\x11\xe0" + bytes(60)}, velmora.PptxError, "^compound file: a legacy .ppt"),
        ],
    )
    def test_argument_and_opening_errors(self, kwargs, error, message):
        for function in (velmora.check, velmora.check_report):
            with pytest.raises(error, match=message):
                function(**kwargs)

    def test_paths(self, tmp_path):
        deck = tmp_path / "deck.pptx"
        deck.write_bytes(package([("a.xml", b"<a/>")]))
        assert velmora.check(deck) == [] and velmora.check(str(deck)) == []
        legacy = tmp_path / "legacy.ppt"
        legacy.write_bytes(b"\xd0\xcf\x11\xe0" + bytes(508) + package([("a.xml", b"<a/>")]))
        with pytest.raises(velmora.PptxError, match="^compound file"):
            velmora.check(legacy)

    def test_finding_text_forms(self):
        without_part, with_part = velmora.check(data=raw_zip([{"name": "a.bin", "method": 14}]))
        assert str(without_part) == "error OPC004 [Content_Types].xml is missing [Part 2 7.3.7]"
        assert str(with_part) == "error ZIP001 /a.bin: compression method 14 [Part 2 B.4 Table B.4]"
        assert repr(with_part) == "Finding(error ZIP001 compression method 14)"
        located = velmora.check(data=package([], extra="<Bogus/>"))[0]
        assert located.location is not None and located.location not in str(located) + repr(located)


class TestReport:
    # A prefix (ZIP003, a warning) comes first in production order; method 14
    # (ZIP001, an error) and the missing stream (OPC004) come later.
    DAMAGED = raw_zip([{"name": "a.bin", "method": 14}], prefix=b"x" * 12)

    def test_uncapped(self):
        report = velmora.check_report(data=self.DAMAGED)
        assert [f.code for f in report.findings] == ["OPC004", "ZIP001", "ZIP003"]
        assert (report.errors, report.warnings, report.is_clean, report.truncated) == (2, 1, False, False)
        assert report.codes == ["OPC004", "ZIP001", "ZIP003"]
        assert repr(report) == "CheckReport(errors=2, warnings=1, parts_checked=0, truncated=false)"

    @pytest.mark.parametrize("cap, codes", [(0, []), (1, ["ZIP003"]), (2, ["ZIP001", "ZIP003"])])
    def test_cap_keeps_the_first_in_production_order(self, cap, codes):
        report = velmora.check_report(data=self.DAMAGED, max_findings=cap)
        assert [f.code for f in report.findings] == codes
        assert report.truncated
        assert report.is_clean == ("ZIP001" not in codes)
        assert report.errors == codes.count("ZIP001")

    def test_cap_does_not_change_the_work(self):
        data = package([("a.xml", b"<a/>"), ("b.xml", b"<b/>")])
        full = velmora.check_report(data=data)
        none = velmora.check_report(data=data, max_findings=0)
        assert (none.findings, none.truncated, none.parts_checked) == ([], False, full.parts_checked)

    def test_findings_sorted_by_severity_code_part(self):
        data = raw_zip([{"name": "b.bin", "method": 14}, {"name": "a.bin", "method": 14}, {"name": "c.bin", "flags": 0x800}])
        assert findings(data) == [
            ("OPC004", "[Content_Types].xml is missing", None),
            ("ZIP001", "compression method 14", "/a.bin"),
            ("ZIP001", "compression method 14", "/b.bin"),
            ("ZIP011", "UTF-8 name flag is set", "/c.bin"),
        ]

    def test_each_read_of_findings_is_new(self):
        report = velmora.check_report(data=self.DAMAGED)
        assert report.findings is not report.findings
        assert [str(f) for f in report.findings] == [str(f) for f in report.findings]


def test_healthy_package_has_no_finding():
    data = package(
        [("_rels/.rels", b'<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships"/>'),
         ("ppt/presentation.xml", b"<p/>"), ("ppt/media/a.bin", b"\x00\x01")],
        overrides=[("/PPT/PRESENTATION.XML", "application/vnd.openxmlformats-officedocument.presentationml.presentation.main+xml")],
    )
    report = velmora.check_report(data=data)
    assert report.findings == []
    assert report.parts_checked == 2  # the two XML parts the CRC pass examined


BAD_DEFLATE = {"name": "a.xml", "method": 8, "data": b"\x07", "plain": b"<a/>"}

CASES = [
    # Container rules.
    ("ZIP001", with_types({"name": "a.bin", "method": 14}), [("ZIP001", "compression method 14", "/a.bin")]),
    ("ZIP002", with_types({"name": "a.bin", "flags": 1}), [("ZIP002", "entry is encrypted", "/a.bin")]),
    ("ZIP003", raw_zip([{"name": "[Content_Types].xml", "data": types()}], prefix=b"\0" * 12),
     [("ZIP003", "12 byte(s) precede the archive; every offset had to be shifted", None)]),
    ("ZIP004 rebuilt", raw_zip([{"name": "[Content_Types].xml", "data": types()}, {"name": "a.bin", "local": {"csize": 0}}],
                               cut_directory=True),
     [("ZIP004", "no central directory; entries were recovered by scanning local file headers", None)]),
    ("ZIP004 incomplete", raw_zip([{"name": "[Content_Types].xml", "data": types()}], declared_extra=2),
     [("ZIP004", "central directory declares 3 entries but only 1 were readable", None)]),
    ("ZIP005", with_types({"name": "a.bin"}, {"name": "a.bin"}), [("ZIP005", "item name repeats an earlier item's name", "/a.bin")]),
    ("ZIP006", with_types({"name": "ppt/"}), [("ZIP006", "directory entry in a package", "/ppt/")]),
    ("ZIP007", with_types({"name": "a.bin", "data": b"x", "local": {"method": 8, "name": b"b.bin"}}),
     [("ZIP007", "local header differs from the central directory in: compression method, file name", "/a.bin")]),
    ("ZIP007 sizes", with_types({"name": "a.bin", "data": b"x", "local": {"crc": 1, "usize": 9}}),
     [("ZIP007", "local header differs from the central directory in: crc-32, uncompressed size", "/a.bin")]),
    ("ZIP007 descriptor", with_types({"name": "a.bin", "data": b"x", "flags": 8, "local": {"crc": 0, "csize": 0, "usize": 0}}), []),
    ("ZIP008 crc", with_types({"name": "a.xml", "data": b"<a/>", "crc": 7}),
     [("ZIP008", "decompressed data of a.xml does not match the recorded CRC-32", "/a.xml")]),
    ("ZIP008 unreadable", with_types(BAD_DEFLATE),
     [("ZIP008", "part could not be read: inflate: reserved deflate block type", "/a.xml")]),
    ("ZIP009", with_types({"name": "a.bin", "version": 63}), [("ZIP009", "version needed to extract is 6.3", "/a.bin")]),
    ("ZIP009 at 4.5", with_types({"name": "a.bin", "version": 45}), []),
    ("ZIP010", with_types({"name": "\u00e9.bin"}), [("ZIP010", "item name contains non-ASCII bytes", "/\u00e9.bin")]),
    ("ZIP011", with_types({"name": "a.bin", "flags": 0x800}), [("ZIP011", "UTF-8 name flag is set", "/a.bin")]),
    # Package rules.
    ("OPC001", package([("ppt/Slide 1.bin", b"")]),
     [("OPC001", "character ' ' must be percent-encoded", "/ppt/Slide 1.bin")]),
    ("OPC002", package([("a.bin", b""), ("A.BIN", b"")]), [("OPC002", "equivalent to /a.bin", "/A.BIN")]),
    ("OPC003", package([("a.bin", b""), ("a.bin/b.bin", b"")]), [("OPC003", "derivable from /a.bin", "/a.bin/b.bin")]),
    ("OPC004", make_zip([("a.bin", b"")]), [("OPC004", "[Content_Types].xml is missing", None)]),
    ("OPC005", make_zip([("[content_types].xml", types()), ("a.bin", b"")]),
     [("OPC005", "content types stream is named [content_types].xml", None)]),
    ("OPC006 parse", make_zip([("[Content_Types].xml", b"<Types><Default></Types>")]),
     [("OPC006", "end tag does not match the open element at byte 16", CT)]),
    ("OPC006 read", raw_zip([{"name": "[Content_Types].xml", "method": 12}]),
     [("OPC006", "content types stream could not be read: unsupported: zip compression method 12 for "
       "[Content_Types].xml", CT), ("ZIP001", "compression method 12", CT)]),
    ("OPC007", package([("x.bin/[0].piece", b""), ("x.bin/[2].last.piece", b"")]),
     [("OPC007", "piece sequence has gaps or no single .last piece; not a part", "/x.bin")]),
    # Content-type rules.
    ("CTY001", package([("a.dat", b""), ("_rels/a.dat.rels", b"<Relationships/>")], defaults={"xml": "application/xml"}),
     [("CTY001", "no Default or Override gives this part a content type", "/a.dat")]),
    ("CTY002", package([], defaults=[("bin", "a/b"), ("BIN", "a/c")]), [("CTY002", "second Default for extension BIN", CT)]),
    ("CTY003", package([("a.bin", b"")], overrides=[("/a.bin", "a/b"), ("/A.BIN", "a/c")]),
     [("CTY003", "second Override for /A.BIN", CT)]),
    ("CTY004", package([("ppt/a.bin", b"")], overrides=[("/PPT/A.BIN", "a/b"), ("/nope.xml", "a/b")]),
     [("CTY004", "Override names a part that does not exist", "/nope.xml")]),
    ("CTY005 root", package([], root="<Types>"), [("CTY005", "root element is not Types in the content types namespace", CT)]),
    ("CTY005 element", package([], extra="<Bogus/>"), [("CTY005", "unexpected element in the content types stream", CT)]),
    ("CTY006", package([("a.bin", b"")], defaults={"bin": "text/"}, overrides=[("/a.bin", "text")]),
     [("CTY006", 'Default for "bin" has content type "text/"', CT), ("CTY006", 'Override has content type "text"', "/a.bin")]),
    ("CTY006 media types", package([("a.bin", b""), ("b.bin", b"")], defaults={"bin": "text/plain; charset=utf-8"},
                                   overrides=[("/b.bin", "application/vnd.ms-office.x/y")]),
     [("CTY006", 'Override has content type "application/vnd.ms-office.x/y"', "/b.bin")]),
    ("CTY007", package([("_rels/.rels", b"<Relationships/>")], defaults={"rels": "application/xml"},
                       overrides=[("/_rels/.rels", "text/xml")]),
     [("CTY007", "Default for rels is application/xml", CT),
      ("CTY007", "Relationships part declared as text/xml", "/_rels/.rels")]),
    ("CTY008", package([("a.bin", b"")], defaults={"bin": "a/b", ".xml": "a/b"}), [("CTY008", 'Default extension ".xml"', CT)]),
]


@pytest.mark.parametrize("data, expected", [c[1:] for c in CASES], ids=[c[0] for c in CASES])
def test_rule(data, expected):
    assert findings(data) == expected


def test_unreadable_part_drops_out_without_crc_checks():
    data = with_types(BAD_DEFLATE)
    assert velmora.check(data=data, verify_crc=False) == []
    checked = velmora.check_report(data=data).parts_checked
    assert velmora.check_report(data=data, verify_crc=False).parts_checked == checked - 1


def test_problem_locations():
    data = package([], extra="<Bogus/>")
    (finding,) = velmora.check(data=data)
    assert finding.location == f"byte {types(extra='<Bogus/>').index(b'<Bogus/>')}"


def test_millions_of_defects_are_walked_with_bounded_findings():
    # Thousands of bad entries: every one is examined, only the cap is kept.
    entries = [{"name": f"e{i}.bin", "method": 14, "flags": 0x801} for i in range(5000)]
    report = velmora.check_report(data=raw_zip(entries), max_findings=10)
    assert len(report.findings) == 10 and report.truncated
    assert len(velmora.check(data=raw_zip(entries), max_findings=100_000)) == 15001


def test_corpus_checks_without_raising(corpus):
    opened = 0
    for path in corpus:
        try:
            report = velmora.check_report(path)
        except velmora.PptxError as error:
            # Only opening fails: legacy decks, and files that are no archive at all.
            assert str(error).startswith(("compound file:", "not a zip archive")), path
            continue
        opened += 1
        assert all(f.severity in ("error", "warning", "info") for f in report.findings)
        assert report.errors == sum(f.severity == "error" for f in report.findings)
    assert opened > 100
