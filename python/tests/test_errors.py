"""Each kind of failure raises its own exception; a closed reader never reaches another one."""

import pytest

import varrok
from varrok.testing import Simulator

FIELD = {"cards": [{"kind": "classic1k", "uid": "11223344"}]}


@pytest.mark.parametrize("fault, codes", [
    ("silent", {9}),          # no answer at all
    ("cut=2", {9}),           # cut in the header
    ("close=6", {9, -5}),     # connection closed mid-answer (at the open already)
    ("checksum", {252}),
])
def test_a_misbehaving_reader_raises_link_error(fault, codes):
    with Simulator(FIELD, fault=fault) as sim, varrok.open(sim.open_text) as reader:
        with pytest.raises(varrok.LinkError) as error:
            reader.find(varrok.ClassicCard)
        assert error.value.code in codes


def test_fault_then_a_sound_reader_again():
    with Simulator(FIELD) as sim:
        sim.take(1)
        sim.restart(fault_once="checksum")
        with varrok.open(sim.open_text) as reader:  # the first answer (the address) is spoiled
            with pytest.raises(varrok.NoCardError):
                reader.find()  # the card stays off the field after the restart
            sim.put(1)
            assert reader.find().uid == bytes.fromhex("11223344")


def test_refusals_and_missing_cards(varrok_sim):
    with varrok.open(varrok_sim.open_text) as reader:
        card = reader.find(varrok.ClassicCard)
        with pytest.raises(varrok.RefusedError) as refused:
            card.read_block(4)  # not authenticated
        assert refused.value.status == 3 and "rf_M1_Read" in str(refused.value)
        varrok_sim.take(1)
        with pytest.raises(varrok.NoCardError):
            reader.find()
        for call in [lambda: card.read_block(256), lambda: card.write_block(4, b"short"),
                     lambda: card.authenticate(4, b"\xff" * 5), lambda: reader.sam(9)]:
            with pytest.raises(ValueError):
                call()


def test_closed_reader_raises_and_never_reaches_another():
    with Simulator(FIELD) as first, Simulator({"reader": {"serial": "SECOND01"}}) as second:
        reader = varrok.open(first.open_text)
        card = reader.find()
        other = varrok.open(second.open_text)
        reader.close()
        reader.close()
        for call in [reader.info, card.select, lambda: card.read_block(4), reader.scan]:
            with pytest.raises(varrok.NoReaderError):
                call()
        again = varrok.open(second.open_text)  # the library replaces a reader opened twice
        with pytest.raises(varrok.NoReaderError):
            other.info()
        assert again.info().serial == b"SECOND01"
        again.close()


def test_a_bad_scenario_stops_the_start_with_the_simulators_reason(tmp_path):
    with pytest.raises(RuntimeError, match="unknown card kind"):
        Simulator({"cards": [{"kind": "classic2k", "uid": "11223344"}]}).start()
    (tmp_path / "field.json").write_text('{"cards": [{"kind": "ultralight", "uid": "04112233445566"}]}')
    with Simulator(tmp_path / "field.json") as sim:
        assert [card.description for card in sim.cards()] == ["Ultralight 04 11 22 33 44 55 66"]


def test_no_reader():
    with Simulator() as sim:
        port = sim.port
    with pytest.raises(varrok.NoReaderError):
        varrok.open(f"TCP://127.0.0.1:{port}")
    with pytest.raises(ValueError):
        varrok.open("USB1")
