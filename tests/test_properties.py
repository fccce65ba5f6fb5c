"""Properties over generated packages: whatever zipfile stores, Package reads
back byte for byte, and the verifier's CRC pass agrees."""

import zipfile

from hypothesis import given, settings
from hypothesis import strategies as st

import velmora
from conftest import CONTENT_TYPES, make_zip

contents = st.one_of(
    st.binary(max_size=5000),
    # Repetitive text compresses into long matches at short distances.
    st.builds(lambda unit, times: unit * times, st.binary(min_size=1, max_size=40), st.integers(1, 3000)),
)
names = st.from_regex(r"[a-z][a-z0-9_\-]{0,12}(/[a-z0-9_\-]{1,12}){0,3}\.(xml|bin)", fullmatch=True)


@settings(max_examples=200, deadline=None)
@given(parts=st.dictionaries(names, contents, min_size=1, max_size=6), deflated=st.booleans())
def test_every_part_reads_back(parts, deflated):
    items = [("[Content_Types].xml", CONTENT_TYPES), *parts.items()]
    data = make_zip(items, compression=zipfile.ZIP_DEFLATED if deflated else zipfile.ZIP_STORED)
    package = velmora.Package(data=data)
    for name, content in parts.items():
        assert package.read("/" + name, raw=True) == content
    assert not [f for f in velmora.check(data=data) if f.code == "ZIP008"]
