"""The card families: what each can do once found in a reader's field."""

from __future__ import annotations

from typing import Callable, Iterable, Optional, Union

from . import _lib
from .dumpfile import Dump, classic_layout, save
from .errors import LinkError, NoCardError, RefusedError
from .reader import MAX_CARDS, Card, Reader, transceive

TRANSPORT_KEY = b"\xff" * 6


class TypeACard(Card):
    """An ISO 14443 Type A card: UID, ATQA (as the card sends it) and SAK."""

    family = "iso14443a"

    def __init__(self, reader: Reader, uid: bytes, atqa: bytes, sak: int, name: str) -> None:
        super().__init__(reader, uid, name)
        self.atqa = atqa
        self.sak = sak

    def select(self) -> None:
        """Wakes the field and selects this card, halting any other that answers first."""
        with self.reader._lock:
            self.reader.field("A")
            mode = 0x52
            for _ in range(MAX_CARDS):
                if _get_card(self.reader, mode)[0] == self.uid:
                    return self._activate()
                self.reader.call("rf_ISO14443A_Halt")
                mode = 0x26
        raise NoCardError(1, f"card {self.uid.hex().upper()} is not in the field", "select")

    def _activate(self) -> None:
        pass


class ClassicCard(TypeACard):
    """MIFARE Classic: sectors of blocks, opened by a 6-byte key A or B."""

    @property
    def blocks(self) -> int:
        """Number of 16-byte blocks: 20 (Mini), 64 (1K) or 256 (4K)."""
        return {0x09: 20, 0x18: 256}.get(self.sak, 64)

    def authenticate(self, block: int, key: bytes = TRANSPORT_KEY, key_type: str = "A") -> None:
        """Opens the sector of `block` with a 6-byte key; key_type 'A' or 'B'."""
        if len(key) != 6 or key_type not in ("A", "B"):
            raise ValueError("a Classic key has 6 bytes and is of type 'A' or 'B'")
        self.reader.call("rf_M1_Authentication", 0x60 if key_type == "A" else 0x61, _block(block), bytes(key))

    def read_block(self, block: int) -> bytes:
        """The 16 bytes of a block of the authenticated sector."""
        data = _lib.buffer(16)
        self.reader.call("rf_M1_Read", _block(block), data)
        return data.raw

    def write_block(self, block: int, data: bytes) -> None:
        """Writes 16 bytes to a block of the authenticated sector."""
        if len(data) != 16:
            raise ValueError("a Classic block holds 16 bytes")
        self.reader.call("rf_M1_Write", _block(block), bytes(data))

    def value(self, block: int) -> int:
        """The signed 32-bit value of a value block."""
        data = _lib.buffer(4)
        self.reader.call("rf_M1_PurseRead", _block(block), data)
        return int.from_bytes(data.raw, "little", signed=True)

    def set_value(self, block: int, value: int) -> None:
        """Formats a block as a value block holding `value`."""
        self.reader.call("rf_M1_PurseCreate", _block(block), _int32(value))

    def increment(self, block: int, amount: int) -> None:
        """Adds `amount` to a value block."""
        self.reader.call("rf_M1_PurseIncrement", _block(block), _int32(amount))

    def decrement(self, block: int, amount: int) -> None:
        """Takes `amount` from a value block."""
        self.reader.call("rf_M1_PurseDecrement", _block(block), _int32(amount))

    def copy_value(self, source: int, target: int) -> None:
        """Copies a value block to another block of the same sector."""
        with self.reader._lock:
            self.reader.call("rf_M1_PurseRestore", _block(source))
            self.reader.call("rf_M1_PurseTransfer", _block(target))

    def _open_sector(self, first: int, keys: Iterable[bytes]) -> Optional[tuple[str, bytes]]:
        """The key type and key that open the sector, or None. A card that left the
        field or a failing link raises: only a refused key moves on to the next."""
        for key in keys:
            for key_type in ("A", "B"):
                try:
                    self.select()  # a refused key halts the card
                    self.authenticate(first, key, key_type)
                    return key_type, bytes(key)
                except RefusedError:
                    continue
        return None

    def dump(self, path: Optional[str] = None, keys: Iterable[bytes] = (TRANSPORT_KEY,), format: Optional[str] = None) -> Dump:
        """Reads every sector a key opens; others are left unread (a partial dump).

        Known keys are put into the trailers. With `path`, also writes the dump there
        (format from the extension: .json, .bin/.mfd/.dump, .eml, .mct)."""
        keys = list(keys)
        blocks: list[Optional[bytes]] = [None] * self.blocks
        for first, count in classic_layout(self.blocks):
            opened = self._open_sector(first, keys)
            if opened is None:
                continue
            for n in range(first, first + count):
                try:
                    blocks[n] = self.read_block(n)
                except RefusedError:  # the access conditions keep this block from this key
                    self._open_sector(first, [opened[1]])
            if blocks[first + count - 1] is None:
                continue
            trailer = bytearray(blocks[first + count - 1])
            if opened[0] == "A":
                trailer[0:6] = opened[1]
            else:
                trailer[10:16] = opened[1]
            blocks[first + count - 1] = bytes(trailer)
        result = Dump("classic", self.uid, blocks, atqa=self.atqa, sak=self.sak)
        if path is not None:
            save(path, result, format)
        return result

    def restore(self, dump: Union[Dump, str], keys: Iterable[bytes] = (TRANSPORT_KEY,), trailers: bool = False) -> int:
        """Writes a dump's data blocks back (not block 0; trailers only when asked).

        `dump` is a Dump or a file name. Returns the number of blocks written;
        raises when a sector holding data cannot be opened with any key."""
        if isinstance(dump, str):
            from .dumpfile import load

            dump = load(dump)
        if len(dump.blocks) != self.blocks:
            raise ValueError(f"the dump has {len(dump.blocks)} blocks, the card {self.blocks}")
        keys, written = list(keys), 0
        for first, count in classic_layout(self.blocks):
            wanted = [n for n in range(first, first + count) if n != 0 and dump.blocks[n] is not None
                      and (trailers or n != first + count - 1)]
            if not wanted:
                continue
            if self._open_sector(first, keys) is None:
                raise RefusedError(2, f"no key opens the sector of block {first}", "restore")
            for n in wanted:
                self.write_block(n, dump.blocks[n])
                written += 1
        return written


class UltralightCard(TypeACard):
    """MIFARE Ultralight (C): 4-byte pages, read four at a time."""

    def read(self, page: int) -> bytes:
        """16 bytes: four pages from `page`."""
        data = _lib.buffer(16)
        self.reader.call("rf_UltraLight_Read", _block(page), data)
        return data.raw

    def read_page(self, page: int) -> bytes:
        """The 4 bytes of one page."""
        return self.read(page)[:4]

    def write_page(self, page: int, data: bytes) -> None:
        """Writes 4 bytes to a page."""
        if len(data) != 4:
            raise ValueError("an Ultralight page holds 4 bytes")
        self.reader.call("rf_UltraLight_Write", _block(page), bytes(data))

    def authenticate(self, key: bytes) -> None:
        """Ultralight C: authenticates with the 16-byte 3DES key."""
        if len(key) != 16:
            raise ValueError("an Ultralight C key has 16 bytes")
        self.reader.call("rf_UltraLightC_Authentication", bytes(key))


class SmartCard(Card):
    """An ISO 14443-4 card (Type A or B) that speaks APDUs."""

    def apdu(self, command: bytes, timeout_ms: int = 0) -> bytes:
        """Sends an APDU and returns the card's answer with its status word (SW1 SW2 last)."""
        return transceive(self.reader, "rf_ISO14443_4_COS", command, timeout=timeout_ms)


class TypeASmartCard(SmartCard, TypeACard):
    """An ISO 14443-4 Type A card; selecting it also asks for its ATS."""

    ats = b""

    def _activate(self) -> None:
        ats, n = _lib.buffer(256), _lib.length()
        self.reader.call("rf_ISO14443_4_TypeA_RATS", ats, _lib.byref(n))
        self.ats = ats.raw[: n.value]


class TypeBCard(SmartCard):
    """An ISO 14443 Type B card: `uid` is its 4-byte PUPI, `atqb` its whole answer."""

    family = "iso14443b"

    def __init__(self, reader: Reader, atqb: bytes) -> None:
        super().__init__(reader, atqb[1:5], "ISO 14443-4 Type B")
        self.atqb = atqb

    @property
    def pupi(self) -> bytes:
        """The card's 4-byte PUPI (the same as uid)."""
        return self.uid

    def select(self) -> None:
        """Wakes the card and sends it ATTRIB."""
        with self.reader._lock:
            self.reader.field("B")
            if _request_b(self.reader)[1:5] != self.uid:
                raise NoCardError(1, f"card {self.uid.hex().upper()} is not in the field", "select")
            self.reader.call("rf_ISO14443B_Attribute", self.uid, 0)


class VicinityCard(Card):
    """An ISO 15693 tag: 8-byte UID (as the reader returns it), DSFID, 4-byte blocks."""

    family = "iso15693"
    _FLAGS = 0x22  # high data rate, addressed to this UID

    def __init__(self, reader: Reader, uid: bytes, dsfid: int) -> None:
        super().__init__(reader, uid, "ISO 15693 tag")
        self.dsfid = dsfid

    def select(self) -> None:
        """Switches the field to ISO 15693; every command is addressed to this UID."""
        self.reader.field("1")

    def read_blocks(self, block: int, count: int = 1) -> bytes:
        """`count` (1-15) blocks from `block`, concatenated."""
        if not 1 <= count <= 15:
            raise ValueError("read 1 to 15 blocks at a time")
        data, n = _lib.buffer(256), _lib.length()
        self.reader.call("rf_ISO15693_Read", self._FLAGS, self.uid, _block(block), count, data, _lib.byref(n))
        return data.raw[: n.value]

    def read_block(self, block: int) -> bytes:
        """One block."""
        return self.read_blocks(block, 1)

    def write_block(self, block: int, data: bytes) -> None:
        """Writes one 4-byte block."""
        if len(data) != 4:
            raise ValueError("ISO 15693 blocks written here hold 4 bytes")
        self.reader.call("rf_ISO15693_Write", self._FLAGS, self.uid, _block(block), bytes(data))

    def system_info(self) -> bytes:
        """The tag's system information, as it answers."""
        data, n = _lib.buffer(256), _lib.length()
        self.reader.call("rf_ISO15693_GetSystemInfomation", self._FLAGS, self.uid, data, _lib.byref(n))
        return data.raw[: n.value]


def _type_a_card(reader: Reader, uid: bytes, atqa: bytes, sak: int) -> TypeACard:
    if sak in (0x08, 0x09, 0x18, 0x88):
        name = {0x09: "MIFARE Classic Mini", 0x18: "MIFARE Classic 4K"}.get(sak, "MIFARE Classic 1K")
        return ClassicCard(reader, uid, atqa, sak, name)
    if sak == 0x00:
        return UltralightCard(reader, uid, atqa, sak, "MIFARE Ultralight")
    if sak & 0x20:
        name = "DESFire" if atqa == b"\x44\x03" else "ISO 14443-4 Type A"
        return TypeASmartCard(reader, uid, atqa, sak, name)
    return TypeACard(reader, uid, atqa, sak, f"Type A card (SAK {sak:02X})")


def _get_card(reader: Reader, mode: int) -> tuple[bytes, bytes, int]:
    data, n = _lib.buffer(256), _lib.length()
    reader.call("rf_ISO14443A_GetCard", mode, data, _lib.byref(n))
    if n.value < 7:
        raise LinkError(-5, "card search answer too short", "rf_ISO14443A_GetCard")
    return data.raw[3 : n.value], data.raw[0:2], data.raw[2]


def _request_b(reader: Reader) -> bytes:
    atqb = _lib.buffer(12)
    reader.call("rf_ISO14443B_Request", 1, atqb)
    return atqb.raw


def _until_no_card(step: "Callable[[], Card]") -> "list[Card]":
    found = []
    try:
        for _ in range(MAX_CARDS):
            found.append(step())
    except NoCardError:
        pass
    return found


def search_type_a(reader: Reader) -> list[Card]:
    """Every Type A card: each found one is halted so that the next one answers."""
    reader.field("A")

    def step() -> Card:
        uid, atqa, sak = _get_card(reader, 0x26)
        reader.call("rf_ISO14443A_Halt")
        return _type_a_card(reader, uid, atqa, sak)

    return _until_no_card(step)


def search_type_b(reader: Reader) -> list[Card]:
    """The Type B card in the field, if any."""
    reader.field("B")
    try:
        return [TypeBCard(reader, _request_b(reader))]
    except NoCardError:
        return []


def search_vicinity(reader: Reader) -> list[Card]:
    """The ISO 15693 tag that answers the inventory, if any."""
    reader.field("1")
    data, n = _lib.buffer(256), _lib.length()
    try:
        reader.call("rf_ISO15693_Inventory", data, _lib.byref(n))
    except NoCardError:
        return []
    return [VicinityCard(reader, data.raw[1:9], data.raw[0])]


# Each family's search, by the card class it finds.
SEARCHES = {TypeACard: search_type_a, TypeBCard: search_type_b, VicinityCard: search_vicinity}


def _block(n: int) -> int:
    if not 0 <= n <= 255:
        raise ValueError("block and page numbers are 0 to 255")
    return n


def _int32(v: int) -> int:
    if not -(2**31) <= v < 2**31:
        raise ValueError("values are signed 32-bit numbers")
    return v
