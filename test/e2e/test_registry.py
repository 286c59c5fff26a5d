"""The product type, as the registry holds it: every type of value, sizes
about the reader's 2048-byte buffer, and a missing value or key."""

import pytest

from expected import OPEN_ERR, QUERY_ERR, answer, lines, system_of

pytestmark = pytest.mark.wine

KEY = "SYSTEM\\CurrentControlSet\\Control\\ProductOptions"
REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD, REG_MULTI_SZ = 1, 2, 3, 4, 7

PRODUCT_TYPES = [
    # id, the value's (type, hex data) or "delval"/"delkey", /p prints
    ("sz-terminated", (REG_SZ, "57696E4E5400"), b"WinNT"),
    ("sz-unterminated", (REG_SZ, "57696E4E54"), b"WinNT"),
    ("sz-servernt", (REG_SZ, "5365727665724E5400"), b"ServerNT"),
    ("sz-0-bytes", (REG_SZ, ""), b""),
    ("sz-zero-byte", (REG_SZ, "00"), b""),
    ("sz-2048-bytes", (REG_SZ, "78" * 2047 + "00"), b"x" * 2047),
    ("sz-2049-bytes", (REG_SZ, "78" * 2048 + "00"), QUERY_ERR),
    ("sz-3000-bytes", (REG_SZ, "78" * 2999 + "00"), QUERY_ERR),
    ("expand-sz-kept", (REG_EXPAND_SZ, "2557494E4449522500"), b"%WINDIR%"),
    ("dword-1", (REG_DWORD, "01000000"), b"1"),
    ("dword-max", (REG_DWORD, "FFFFFFFF"), b"4294967295"),
    ("dword-top-bit", (REG_DWORD, "00000080"), b"2147483648"),
    ("dword-2-bytes", (REG_DWORD, "0102"), b"513"),
    ("binary-3-bytes", (REG_BINARY, "001AFF"), b"001AFF"),
    ("binary-0-bytes", (REG_BINARY, ""), b""),
    ("binary-1500-bytes", (REG_BINARY, "AB" * 1499 + "0C"), b"AB" * 1024),
    ("multi-sz", (REG_MULTI_SZ, "6100620000"), b"a"),
    ("value-deleted", "delval", QUERY_ERR),
    ("key-deleted", "delkey", OPEN_ERR),
]
IN_REPORT = ("dword-max", "key-deleted", "sz-unterminated")


@pytest.fixture(scope="module")
def store(regset, verinfo):
    """store(value) puts a ProductType in place; the one found comes back
    after the module. The key holds no other value in a fresh prefix, so
    setting ProductType alone recreates it whole after a case deleted it."""
    def put(value):
        if value == "delval":
            assert regset("delval", KEY, "ProductType") == []
        elif value == "delkey":
            assert regset("delkey", KEY) == []
        else:
            kind, data = value
            assert regset("set", KEY, "ProductType", str(kind), data) == [
                "%d %d" % (kind, len(data) // 2)]
    before = verinfo("win64").ptype
    yield put
    put(before or "delval")


@pytest.mark.parametrize("value,want", [
    pytest.param(value, want, id=name) for name, value, want in PRODUCT_TYPES])
def test_product_type(store, win_tool, value, want):
    store(value)
    assert win_tool.run(b"/p") == (lines(want), b"", 0)


@pytest.mark.parametrize("value,want", [
    pytest.param(value, want, id=name) for name, value, want in PRODUCT_TYPES
    if name in IN_REPORT])
def test_report(store, facts, win_tool, value, want):
    store(value)
    system = system_of(facts)._replace(ptype=want)
    assert win_tool.run() == (answer("report", system), b"", 0)
