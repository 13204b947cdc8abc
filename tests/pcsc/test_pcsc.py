"""pcscd serving the simulator through the driver, driven by real PC/SC clients.

The stage script (tools/pcsc_stage.sh) runs this with pytest after building the
driver and the simulator; VARROK_BUILD names the build tree.
"""
import ctypes
import os
import shutil
import signal
import socket
import subprocess
import tempfile
import time
from pathlib import Path

import pytest

HERE = Path(__file__).resolve().parent
BUILD = Path(os.environ.get("VARROK_BUILD", HERE.parents[1] / "build"))
RUN = Path(tempfile.mkdtemp(prefix="varrok-pcsc-"))
os.environ["PCSCLITE_CSOCK_NAME"] = str(RUN / "pcscd.comm")

from smartcard import scard  # noqa: E402 (reads the socket's name from the environment)

BEEP, LED, ANTENNA, FEATURES = (0x42000000 + n for n in (3600, 3601, 3602, 3400))
POLL_CODES = {0x03, 0x08, 0x66, 0x68, 0x6A}  # the reader ping and SAM resets a presence check may send


def hx(text):
    return list(bytes.fromhex(text))


def wait_for(predicate, timeout, what):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if predicate():
            return
        time.sleep(0.05)
    raise AssertionError("timed out waiting for " + what)


class Rig:
    """The simulator on a fixed port and a pcscd of our own, both stopped at the end."""

    def __init__(self):
        with socket.socket() as s:
            s.bind(("127.0.0.1", 0))
            self.port = s.getsockname()[1]
        self.sim_log = RUN / "sim.log"
        self.start_simulator()
        conf = RUN / "reader.conf.d"
        conf.mkdir()
        sample = (HERE.parents[1] / "pcsc/reader.conf.d/varrok-simulator").read_text()
        (conf / "varrok").write_text(
            sample.replace("TCP://127.0.0.1:4000", f"TCP://127.0.0.1:{self.port}").replace(
                "build/pcsc/libvarrok_ifd.so", str(BUILD / "pcsc/libvarrok_ifd.so")))
        self.pcscd = subprocess.Popen(
            ["systemd-socket-activate", "-l", os.environ["PCSCLITE_CSOCK_NAME"], "pcscd", "-f", "-c", str(conf)],
            stdout=open(RUN / "pcscd.log", "w"), stderr=subprocess.STDOUT)
        self.ctx = None
        try:
            wait_for(lambda: Path(os.environ["PCSCLITE_CSOCK_NAME"]).exists(), 5, "pcscd's socket")
            _, self.ctx = scard.SCardEstablishContext(scard.SCARD_SCOPE_USER)
            wait_for(lambda: len(self.readers()) == 5, 10, "pcscd to list the reader's five slots")
        except AssertionError:
            self.stop()
            raise
        self.field, self.sam = self.readers()[0], self.readers()[1]

    def start_simulator(self):
        self.sim = subprocess.Popen(
            [str(BUILD / "simulator/varrok-sim"), "--tcp", str(self.port), "--scenario", str(HERE / "field.json"),
             "--hand", "--verbose"],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=open(self.sim_log, "a"), text=True)
        assert self.sim.stdout.readline().startswith("tcp 127.0.0.1:")

    def readers(self):
        rc, names = scard.SCardListReaders(self.ctx, [])
        return sorted(names) if rc == scard.SCARD_S_SUCCESS else []

    def hand(self, command):
        self.sim.stdin.write(command + "\n")
        self.sim.stdin.flush()

    def state(self, reader=None):
        rc, states = scard.SCardGetStatusChange(self.ctx, 0, [(reader or self.field, scard.SCARD_STATE_UNAWARE)])
        return states[0][1] if rc == scard.SCARD_S_SUCCESS else 0

    def present(self, reader=None):
        return bool(self.state(reader) & scard.SCARD_STATE_PRESENT)

    def only(self, card):
        """Leaves one card on the reader and waits until pcscd has it."""
        self.hand(f"only {card}")
        time.sleep(0.5)  # the previous card is reported gone first
        wait_for(self.present, 5, f"card {card}")

    def field_requests(self):
        """Requests that reached the field: everything but what a presence check sends."""
        lines = self.sim_log.read_text().splitlines()
        codes = [int(line.split()[8], 16) for line in lines if " -> AA BB" in line and len(line.split()) > 8]
        return sum(code not in POLL_CODES for code in codes)

    def stop(self):
        if self.ctx is not None:
            scard.SCardReleaseContext(self.ctx)
        for process in (self.pcscd, self.sim):
            process.terminate()
            process.wait(5)


@pytest.fixture(scope="module")
def rig():
    r = Rig()
    yield r
    r.stop()
    shutil.rmtree(RUN, ignore_errors=True)


class Card:
    def __init__(self, rig, reader=None):
        rc, self.handle, _ = scard.SCardConnect(rig.ctx, reader or rig.field, scard.SCARD_SHARE_SHARED,
                                                scard.SCARD_PROTOCOL_T0 | scard.SCARD_PROTOCOL_T1)
        assert rc == scard.SCARD_S_SUCCESS, scard.SCardGetErrorMessage(rc)
        rc, _, _, _, self.atr = scard.SCardStatus(self.handle)

    def send(self, apdu):
        """The answer's data and status word, as hex."""
        rc, answer = scard.SCardTransmit(self.handle, scard.SCARD_PCI_T1, hx(apdu))
        assert rc == scard.SCARD_S_SUCCESS, scard.SCardGetErrorMessage(rc)
        return bytes(answer[:-2]).hex().upper(), bytes(answer[-2:]).hex().upper()

    def close(self):
        scard.SCardDisconnect(self.handle, scard.SCARD_RESET_CARD)


ATRS = [  # card on the reader, its ATR, its UID (Get Data), historical bytes or ATQB data (Get Data 01)
    (1, "3B8F8001804F0CA000000306030001000000006A", "11223344", "6A81"),
    (2, "3B8F8001804F0CA0000003060300030000000068", "04112233445566", "6A81"),
    (6, "3B8F8001804F0CA00000030603003A0000000051", "04A1B2C3D4E5F6", "6A81"),
    (3, "3B8F8001804F0CA0000003060B00140000000077", "08070605040304E0", "6A81"),
    (4, "3B8480018031806551", "08887766", "80318065"),
    (5, "3B888001001122330071710009", "A1B2C3D4", "00112233007171"),
]


@pytest.mark.parametrize("card, atr, uid, historical", ATRS)
def test_atr_and_get_data(rig, card, atr, uid, historical):
    rig.only(card)
    c = Card(rig)
    assert bytes(c.atr).hex().upper() == atr
    assert c.send("FFCA000000") == (uid, "9000")
    data, sw = c.send("FFCA010000")
    assert (data or sw) == historical
    c.close()


def test_classic_session_survives_presence_checks(rig):
    rig.only(1)
    c = Card(rig)
    assert c.send("FF82000006FFFFFFFFFFFF") == ("", "9000")
    assert c.send("FF860000050100046000") == ("", "9000")
    time.sleep(1.3)  # three presence checks
    assert c.send("FFB0000410") == (b"Hello, PC/SC!\0\0\0".hex().upper(), "9000")
    assert c.send("FFD6000610" + "00112233445566778899AABBCCDDEEFF") == ("", "9000")
    assert c.send("FFB0000610") == ("00112233445566778899AABBCCDDEEFF", "9000")
    assert c.send("FFD700050501" + "00000005") == ("", "9000")  # increment the purse of 100
    assert c.send("FFB1000504") == ("00000069", "9000")
    assert c.send("FF88000C6000") == ("", "9000")  # the older Authenticate, sector 3
    assert c.send("FFB0000C10") == ("00" * 16, "9000")
    c.close()


def test_ultralight_pages_and_vicinity_blocks(rig):
    rig.only(2)
    c = Card(rig)
    assert c.send("FFB0000410") == ("DEADBEEF01020304" + "00" * 8, "9000")
    assert c.send("FFD6000604CAFEF00D") == ("", "9000")
    assert c.send("FFB0000604") == ("CAFEF00D", "9000")
    c.close()
    rig.only(3)
    c = Card(rig)
    assert [c.send(f"FFB0000{block}04") for block in (0, 1)] == [("0A0B0C0D", "9000"), ("11121314", "9000")]
    assert c.send("FFD60002082233445566778899") == ("", "9000")
    assert [c.send(f"FFB0000{block}00") for block in (2, 3)] == [("22334455", "9000"), ("66778899", "9000")]
    c.close()


@pytest.mark.parametrize("card, content", [(4, "CAFE0001"), (5, "BEEF")])
def test_apdus_reach_iso14443_4_cards(rig, card, content):
    rig.only(card)
    c = Card(rig)
    assert c.send("00A4040005F001020304") == ("6F078405F001020304", "9000")  # its FCI
    time.sleep(0.9)  # presence checks must not end the card's session
    assert c.send("00B0000000") == (content, "9000")
    assert c.send("0012000000") == ("", "6D00")  # the card's own answer
    c.close()


def test_sam_slot(rig):
    c = Card(rig, rig.sam)
    assert bytes(c.atr).hex().upper() == "3B96188131FE45564152524F4B96"
    assert c.send("00A4040003F00A0B")[1] == "9000"
    assert c.send("00B0000000") == ("5A5A", "9000")
    c.close()
    empty = rig.readers()[2]  # SAM slot 2
    assert not rig.present(empty)
    assert scard.SCardConnect(rig.ctx, empty, scard.SCARD_SHARE_SHARED, scard.SCARD_PROTOCOL_T1)[0] != 0


BAD = [  # APDU, status word; none of them may reach the card
    ("FFB000", "6700"),  # shorter than a header
    ("FFD600041001", "6700"),  # Lc says 16, one byte follows
    ("FFB0000411", "6C10"),  # Le beyond the block
    ("FF12000000", "6D00"),  # unknown instruction
    ("FFB0004010", "6A82"),  # block beyond a 1K card
    ("FF860000050100086007", "6984"),  # nothing loaded as key 7
    ("FF860000050100086200", "6986"),  # key type neither A nor B
    ("FF82002006FFFFFFFFFFFF", "6988"),  # key number beyond the key slots
    ("FF82400006FFFFFFFFFFFF", "6B00"),  # key structure not supported
    ("FFCA000002", "6C04"),  # UID longer than Le
    ("FFCA010000", "6A81"),  # a storage card has no historical bytes
    ("FFD6000710" + "FFFFFFFFFFFF" + "FF0788" + "69" + "FFFFFFFFFFFF", "6A80"),  # access bits that ruin the sector
    ("00A40400023F00", "6E00"),  # an ISO APDU to a storage card
    ("FFB1000704", "6A82"),  # a trailer is no value block
]


def test_bad_apdus_get_status_words_and_send_nothing(rig):
    rig.only(1)
    c = Card(rig)
    assert c.send("FF82000006FFFFFFFFFFFF") == ("", "9000")  # loads a key: no request either
    before = rig.field_requests()
    answers = [c.send(apdu)[1] for apdu, _ in BAD]
    assert answers == [sw for _, sw in BAD]
    assert rig.field_requests() == before
    # A refused authentication does reach the card, and the card stays usable.
    assert c.send("FF82000106000000000000") == ("", "9000")
    assert c.send("FF860000050100046001") == ("", "6300")
    assert rig.field_requests() > before
    assert c.send("FF860000050100046000") == ("", "9000")
    c.close()


def test_clients_see_cards_come_and_go(rig):
    rig.only(1)
    listing = subprocess.run(["opensc-tool", "-l"], capture_output=True, text=True, timeout=20).stdout
    assert "Varrok simulator 00 00" in listing
    atr = subprocess.run(["opensc-tool", "-r", "0", "-a"], capture_output=True, text=True, timeout=20).stdout
    assert "3b:8f:80:01:80:4f:0c:a0:00:00:03:06:03:00:01:00:00:00:00:6a" in atr
    scan = subprocess.Popen(["pcsc_scan", "-n", "-t", "4"], stdout=subprocess.PIPE, text=True)
    time.sleep(1)
    counter = rig.state() >> 16
    rig.hand("only 7")  # another Classic card in place of the first: gone, then a new one
    wait_for(lambda: rig.state() >> 16 >= counter + 2 and rig.present(), 5, "the swapped card")
    c = Card(rig)
    assert c.send("FFCA000000") == ("55667788", "9000")
    c.close()
    rig.hand("take 7")
    wait_for(lambda: not rig.present(), 5, "the card to leave")
    output = scan.communicate(timeout=20)[0]
    assert "Card inserted" in output and "Card removed" in output


def test_card_swapped_mid_conversation_shows_at_the_next_apdu(rig):
    rig.only(1)
    c = Card(rig)
    assert c.send("FF82000006FFFFFFFFFFFF") == ("", "9000")
    assert c.send("FF860000050100046000") == ("", "9000")
    counter = rig.state() >> 16
    rig.hand("only 7")
    time.sleep(0.9)  # presence checks leave the conversation alone: no event yet
    assert rig.state() >> 16 == counter
    rc, _ = scard.SCardTransmit(c.handle, scard.SCARD_PCI_T1, hx("FFB0000410"))
    assert rc != scard.SCARD_S_SUCCESS  # the card that was authenticated is gone
    wait_for(lambda: rig.state() >> 16 >= counter + 2 and rig.present(), 5, "the new card")
    scard.SCardDisconnect(c.handle, scard.SCARD_LEAVE_CARD)
    c = Card(rig)
    assert c.send("FFCA000000") == ("55667788", "9000")
    c.close()


def test_reader_killed_and_restarted(rig):
    rig.only(1)
    c = Card(rig)
    rig.sim.send_signal(signal.SIGKILL)
    rig.sim.wait()
    started = time.monotonic()
    rc, _ = scard.SCardTransmit(c.handle, scard.SCARD_PCI_T1, hx("FFB0000410"))
    assert rc != scard.SCARD_S_SUCCESS and time.monotonic() - started < 3
    wait_for(lambda: not rig.present(), 5, "pcscd to see the reader gone")
    scard.SCardDisconnect(c.handle, scard.SCARD_LEAVE_CARD)
    rig.start_simulator()
    rig.only(1)
    c = Card(rig)
    assert c.send("FFCA000000") == ("11223344", "9000")
    c.close()


def test_reader_controls(rig):
    rig.only(1)
    rc, direct, _ = scard.SCardConnect(rig.ctx, rig.field, scard.SCARD_SHARE_DIRECT, 0)
    assert rc == scard.SCARD_S_SUCCESS
    assert scard.SCardControl(direct, FEATURES, []) == [scard.SCARD_S_SUCCESS, []]
    for code, value in ((BEEP, 5), (LED, 2), (ANTENNA, 0)):
        assert scard.SCardControl(direct, code, [value])[0] == scard.SCARD_S_SUCCESS
    wait_for(lambda: not rig.present(), 5, "the card to fall silent with the field off")
    assert scard.SCardControl(direct, ANTENNA, [2])[0] != scard.SCARD_S_SUCCESS
    assert scard.SCardControl(direct, ANTENNA, [1])[0] == scard.SCARD_S_SUCCESS
    wait_for(rig.present, 5, "the card with the field on again")
    scard.SCardDisconnect(direct, scard.SCARD_LEAVE_CARD)


class IoHeader(ctypes.Structure):
    _fields_ = [("protocol", ctypes.c_ulong), ("length", ctypes.c_ulong)]


def test_driver_entry_points_keep_to_callers_buffers(rig):
    """The driver loaded as pcscd loads it, beside pcscd, with a connection of its own."""
    ifd = ctypes.CDLL(str(BUILD / "pcsc/libvarrok_ifd.so"))
    lun, size = 0x70000, ctypes.c_ulong()
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        closed = s.getsockname()[1]
    assert ifd.IFDHCreateChannelByName(lun, b"TCP://localhost:4000") == 617  # no such device
    assert ifd.IFDHCreateChannelByName(lun, f"TCP://127.0.0.1:{closed}".encode()) == 612  # nobody answers
    assert ifd.IFDHCreateChannelByName(lun, f"TCP://127.0.0.1:{rig.port}".encode()) == 0
    out = (ctypes.c_ubyte * 64)(*[0xEE] * 64)
    size.value = 1
    assert ifd.IFDHGetCapabilities(lun, 0x0FAE, ctypes.byref(size), out) == 0 and out[0] == 5  # slots
    assert ifd.IFDHGetCapabilities(lun, 0x1234, ctypes.byref(size), out) == 600  # unknown tag
    rig.only(1)
    size.value = 4
    assert ifd.IFDHPowerICC(lun, 500, out, ctypes.byref(size)) == 618  # a 20-byte ATR, 4 bytes of room
    assert list(out[1:64]) == [0xEE] * 63
    size.value = 64
    assert ifd.IFDHPowerICC(lun, 500, out, ctypes.byref(size)) == 0 and size.value == 20
    get_uid = (ctypes.c_ubyte * 5)(*hx("FFCA000000"))
    answer = (ctypes.c_ubyte * 64)(*[0xEE] * 64)
    size.value = 3
    assert ifd.IFDHTransmitToICC(lun, IoHeader(2, 8), get_uid, 5, answer, ctypes.byref(size), None) == 618
    assert size.value == 0 and list(answer[3:]) == [0xEE] * 61
    size.value = 64
    assert ifd.IFDHTransmitToICC(lun, IoHeader(2, 8), get_uid, 5, answer, ctypes.byref(size), None) == 0
    assert bytes(answer[: size.value]).hex().upper() == "112233449000"
    assert ifd.IFDHCloseChannel(lun) == 0
    assert ifd.IFDHICCPresence(lun) == 617
