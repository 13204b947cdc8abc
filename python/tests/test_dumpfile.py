"""Dump files: every format written and read back, partial dumps, and files that must be refused."""

import pytest

from varrok.dumpfile import Dump, DumpError, load, parse, save, serialize

BLOCK0 = bytes.fromhex("11223344440804006263646566676869")
TRAILER = bytes.fromhex("FFFFFFFFFFFF FF078069 FFFFFFFFFFFF")


def classic(partial: bool) -> Dump:
    blocks = [BLOCK0] + [bytes([n]) * 16 if n % 4 != 3 else TRAILER for n in range(1, 64)]
    if partial:
        blocks[8:12] = [None] * 4
    return Dump("classic", bytes.fromhex("11223344"), blocks, atqa=b"\x04\x00", sak=0x08)


@pytest.mark.parametrize("extension", [".json", ".eml", ".mct", ".bin"])
@pytest.mark.parametrize("partial", [False, True])
def test_classic_round_trip(tmp_path, extension, partial):
    dump = classic(partial)
    save(str(tmp_path / f"card{extension}"), dump)
    back = load(str(tmp_path / f"card{extension}"))
    assert back.uid == dump.uid and back.blocks[:8] == dump.blocks[:8] and back.blocks[12:] == dump.blocks[12:]
    if extension == ".bin":
        assert back.blocks[8:12] == [bytes(16)] * 4 if partial else dump.blocks[8:12]
    else:
        assert back.blocks[8:12] == dump.blocks[8:12]
    if extension == ".json":
        assert (back.atqa, back.sak) == (b"\x04\x00", 0x08)


def test_other_families_and_foreign_files():
    tag = Dump("iso15693", bytes(range(8)), [b"\x01\x02\x03\x04", None], extra={"DSFID": 1, "AFI": 2})
    assert parse(serialize(tag, "json"), "json", "iso15693") == tag
    assert parse(b"DEADBEEFCAFE\n------------\n", "eml", "iso15693").blocks == [bytes.fromhex("DEADBEEFCAFE"), None]
    ultralight = [bytes.fromhex(p) for p in ["041122BF", "44556677", "00480000"]] + [bytes(4)] * 13
    assert parse(b"".join(ultralight), "binary", "ultralight").uid == bytes.fromhex("04112244556677")
    # A file as the field's tools write it: older FileType, per-block access texts, sectors missing in .mct.
    foreign = ('{"FileType": "mfcard", "blocks": {%s}, "SectorKeys": {"0": {"KeyA": "FFFFFFFFFFFF", '
               '"KeyB": "FFFFFFFFFFFF", "AccessConditions": "FF078069", "AccessConditionsText": {"block0": "x"}}}}'
               % ", ".join(f'"{n}": "{BLOCK0.hex() if n == 0 else "00" * 16}"' for n in range(20)))
    assert parse(foreign.encode(), "json").uid == bytes.fromhex("11223344")
    mct = parse(("+Sector: 1\n" + ("00" * 16 + "\n") * 4).encode(), "mct")
    assert len(mct.blocks) == 20 and mct.blocks[:4] == [None] * 4 and mct.blocks[4] == bytes(16)


@pytest.mark.parametrize("content, format", [
    (b"", "binary"),
    (bytes(16 * 63), "binary"),                          # no Classic card has 63 blocks
    (b"0011\n", "eml"),                                  # short block
    (("GG" * 16 + "\n").encode() * 64, "eml"),           # not hex
    (b"\xff\xfe", "eml"),                                # not text
    (b"{", "json"),
    (b'{"FileType": "mfu", "blocks": {}}', "json"),      # another family's dump
    (b'{"blocks": {"0": "00", "2": "00"}}', "json"),     # a gap
    (b'{"blocks": {"0": 5}}', "json"),
    (b'{"blocks": []}', "json"),
    (("+Sector: 0\n" + "00" * 16 + "\n").encode(), "mct"),  # sector too short
    (b"+Sector: 2\n+Sector: 1\n", "mct"),                 # sectors out of order
    (b"00" * 16 + b"\n", "mct"),                          # block before any sector
])
def test_malformed_files_are_refused(content, format):
    with pytest.raises(DumpError):
        parse(content, format, "classic", "bad")


def test_write_replaces_a_file_whole(tmp_path):
    path = tmp_path / "card.json"
    path.write_text("old")
    with pytest.raises(DumpError):
        save(str(path), classic(False), "xml")
    assert path.read_text() == "old" and [p.name for p in tmp_path.iterdir()] == ["card.json"]
    with pytest.raises(DumpError):
        load(str(tmp_path / "card.txt"))
