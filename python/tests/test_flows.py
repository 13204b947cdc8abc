"""One flow per card family, against the simulator started by the pytest plugin."""

import pytest

import varrok

KEY_A = bytes.fromhex("A0A1A2A3A4A5")


@pytest.fixture
def varrok_scenario():
    return {
        "reader": {"address": 7, "serial": "PYTEST01", "firmware": "03 04"},
        "cards": [
            {"kind": "classic1k", "uid": "11223344",
             "blocks": {"5": "64000000 9BFFFFFF 64000000 05FA05FA", "9": "00112233445566778899AABBCCDDEEFF",
                        "11": "A0A1A2A3A4A5 787788 69 B0B1B2B3B4B5"}},
            {"kind": "ultralight", "uid": "04 11 22 33 44 55 66", "pages": {"4": "DEADBEEF"}},
            {"kind": "typeb", "pupi": "01020304", "aid": "A000000001", "file": "CAFE"},
            {"kind": "iso15693", "uid": "0807060504030201", "data": "01020304"},
        ],
        "sams": [{"slot": 2}],
    }


@pytest.fixture
def reader(varrok_sim):
    with varrok.open(varrok_sim.open_text) as reader:
        yield reader


def test_reader_and_field(reader, varrok_sim):
    assert reader.info() == varrok.ReaderInfo(b"PYTEST01", b"\x03\x04", 7)
    reader.beep(5)
    found = {type(card).__name__: card for card in reader.scan()}
    assert sorted(found) == ["ClassicCard", "TypeBCard", "UltralightCard", "VicinityCard"]
    assert (found["ClassicCard"].uid, found["ClassicCard"].atqa, found["ClassicCard"].sak) == (
        bytes.fromhex("11223344"), b"\x04\x00", 0x08)
    assert found["TypeBCard"].pupi == bytes.fromhex("01020304")
    varrok_sim.take(1)
    assert varrok.ClassicCard not in {type(card) for card in reader.scan()}
    with pytest.raises(varrok.NoCardError):
        found["ClassicCard"].select()
    varrok_sim.put(1)
    found["ClassicCard"].select()
    assert [card.on_reader for card in varrok_sim.only(2)] == [False, True, False, False]
    assert [type(card) for card in reader.scan()] == [varrok.UltralightCard]
    assert all(card.on_reader for card in varrok_sim.all())


def test_classic(reader, tmp_path):
    card = reader.find(varrok.ClassicCard)
    card.authenticate(4)
    assert card.value(5) == 100
    card.increment(5, 20)
    card.decrement(5, 5)
    card.copy_value(5, 6)
    assert (card.value(5), card.value(6)) == (115, 115)
    card.write_block(4, bytes(range(16)))
    assert card.read_block(4) == bytes(range(16))
    with pytest.raises(varrok.RefusedError) as refused:
        card.authenticate(8, b"\x00" * 6)
    assert refused.value.status == 2
    card.select()
    card.authenticate(8, KEY_A)
    with pytest.raises(varrok.RefusedError):  # sector 2 is written with key B only
        card.write_block(9, bytes(16))

    # Sector 2 opens with key A, sector 1 with the transport key, sector 2's
    # trailer keeps the key that opened it; sector 2 is unread without KEY_A.
    dump = card.dump(tmp_path / "card.json", keys=[b"\xff" * 6, KEY_A])
    assert not dump.partial and dump.blocks[9] == bytes.fromhex("00112233445566778899AABBCCDDEEFF")
    assert dump.blocks[11][:6] == KEY_A
    assert card.dump(keys=[b"\xff" * 6]).blocks[8] is None
    assert varrok.dumpfile.load(str(tmp_path / "card.json")) == dump

    with pytest.raises(varrok.RefusedError):  # no key given opens sector 2
        card.restore(str(tmp_path / "card.json"))
    card.select()
    card.authenticate(12)
    card.write_block(12, b"\x55" * 16)
    dump.blocks[8:12] = [None] * 4
    assert card.restore(dump) == 15 * 3 - 1  # 15 sectors open; block 0 is never written
    card.select()
    card.authenticate(12)
    assert card.read_block(12) == bytes(16)


def test_ultralight(reader):
    card = reader.find(varrok.UltralightCard)
    assert card.uid == bytes.fromhex("04112233445566") and card.read_page(4) == bytes.fromhex("DEADBEEF")
    card.write_page(5, b"\x01\x02\x03\x04")
    assert card.read(4)[:8] == bytes.fromhex("DEADBEEF01020304")


def test_smart_card_and_sam(reader):
    card = reader.find(varrok.SmartCard)
    assert card.apdu(bytes.fromhex("00A4040005A000000001"))[-2:] == b"\x90\x00"
    assert card.apdu(bytes.fromhex("00B0000002")) == bytes.fromhex("CAFE9000")
    assert card.apdu(bytes.fromhex("00A4040002FFFF")) == b"\x6a\x82"
    sam = reader.sam(2)
    assert sam.reset()[0] in (0x3B, 0x3F)
    assert len(sam.apdu(bytes.fromhex("0084000008"))) == 10
    with pytest.raises(varrok.RefusedError):
        reader.sam(1).reset()  # empty slot


def test_vicinity(reader):
    tag = reader.find(varrok.VicinityCard)
    assert tag.read_block(0) == bytes.fromhex("01020304")
    tag.write_block(2, b"abcd")
    assert tag.read_blocks(0, 3) == bytes.fromhex("01020304 00000000") + b"abcd"


def test_des():
    key = bytes.fromhex("0123456789ABCDEF")
    plain = b"Now is t"
    assert varrok.des_encrypt(plain, key) == bytes.fromhex("3FA40E8A984D4815")
    assert varrok.des_decrypt(varrok.des_encrypt(plain * 2, key * 2), key * 2) == plain * 2
    for data, key in [(b"short", key), (plain, b"7bytes!")]:
        with pytest.raises(ValueError):
            varrok.des_encrypt(data, key)
