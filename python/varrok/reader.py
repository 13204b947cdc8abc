"""Readers, the cards found in their field, and SAM slots."""

from __future__ import annotations

import re
import threading
import weakref
from typing import NamedTuple, Optional

from . import _lib
from .errors import NoCardError, NoReaderError, check

_TCP = re.compile(r"TCP://(\d{1,3}(?:\.\d{1,3}){3}):(\d{1,5})", re.IGNORECASE)
_COM = re.compile(r"COM(\d+):(\d+)", re.IGNORECASE)

# One Python reader per open text: the library replaces a reader opened twice,
# so the older object must stop, not reach whatever the library routes it to.
_open_readers: "weakref.WeakValueDictionary[str, Reader]" = weakref.WeakValueDictionary()

MAX_CARDS = 16  # a field never holds more; bounds every search loop


class ReaderInfo(NamedTuple):
    """Identity of a reader: 8-byte serial number, 2-byte firmware version, device address."""

    serial: bytes
    firmware: bytes
    address: int


class Reader:
    """One open reader. Use as a context manager, or call close().

    Calls on one reader take turns (a lock per reader), so several threads may share
    it; a card conversation (select, authenticate, read) belongs on one thread.
    """

    def __init__(self, text: str) -> None:
        """Opens "TCP://a.b.c.d:port" or "COM<n>:<baud>" (any case); raises NoReaderError."""
        self.text = text
        self._icdev: Optional[int] = None
        self._lock = threading.RLock()
        library = _lib.lib()
        tcp, com = _TCP.fullmatch(text), _COM.fullmatch(text)
        if tcp:
            handle = library.rf_init_net(tcp[1].encode(), int(tcp[2]))
        elif com:
            handle = library.rf_init_com(int(com[1]), int(com[2]))
        else:
            raise ValueError(f'open text {text!r}: expected "TCP://a.b.c.d:port" or "COM<n>:<baud>"')
        if handle < 0:
            raise NoReaderError(handle, f"cannot open a reader at {text}", "open")
        key = text.upper().split(":")[0] if com else text.upper()
        if (older := _open_readers.get(key)) is not None:
            older._icdev = None  # the library closed it when this one opened
        _open_readers[key] = self
        self._icdev = handle & 0xFFFF

    def __enter__(self) -> "Reader":
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()

    def __repr__(self) -> str:
        return f"<varrok.Reader {self.text} {'closed' if self.closed else 'open'}>"

    @property
    def closed(self) -> bool:
        """True once the reader is closed; every call then raises NoReaderError."""
        return self._icdev is None

    def close(self) -> None:
        """Closes the reader; closing twice does nothing."""
        with self._lock:
            if self._icdev is not None:
                _lib.lib().rf_ClosePortVer5(self._icdev)
                self._icdev = None

    def turn(self) -> "threading.RLock":
        """Hold it (`with reader.turn():`) around a card conversation when threads share the reader."""
        return self._lock

    def call(self, function: str, *args: object) -> None:
        """Calls a library function with this reader's device address; raises on failure."""
        with self._lock:
            if self._icdev is None:
                raise NoReaderError(-6, "the reader is closed", function)
            check(getattr(_lib.lib(), function)(self._icdev, *args), function)

    def info(self) -> ReaderInfo:
        """Serial number, firmware version and device address of the reader."""
        serial, firmware, address = _lib.buffer(8), _lib.buffer(2), _lib.ctypes.c_ushort()
        with self._lock:
            self.call("rf_Reader_GetSN", serial)
            self.call("rf_Reader_GetFirmwareVer", firmware)
            self.call("rf_Reader_GetID", _lib.byref(address))
        return ReaderInfo(serial.raw, firmware.raw, address.value)

    def beep(self, time: int = 10) -> None:
        """Sounds the beeper; `time` (0-255) is passed to the firmware, which sets its unit."""
        self.call("rf_Reader_SetBeep", _byte(time, "time"))

    def light(self, color: int) -> None:
        """Sets the LED colour code (0-255, the firmware's codes)."""
        self.call("rf_Reader_SetLight", _byte(color, "color"))

    def field(self, protocol: str) -> None:
        """Restarts the field in one protocol: 'A', 'B' or '1' (ISO 15693). Cards power up afresh."""
        with self._lock:
            self.call("rf_Reader_SetAntenna", 0)
            self.call("rf_Reader_SetISOType", ord(protocol))
            self.call("rf_Reader_SetAntenna", 1)

    def scan(self) -> "list[Card]":
        """Every card in the field, of every family, none left selected.

        Call select() on a card before working with it, or use find()."""
        from .cards import SEARCHES

        with self._lock:
            return [card for search in SEARCHES.values() for card in search(self)]

    def find(self, kind: "Optional[type[Card]]" = None) -> "Card":
        """The first card (of this class, when given), selected and ready; raises NoCardError."""
        from .cards import SEARCHES

        # Only the family a card class belongs to; every family for a class across them (SmartCard).
        searches = [search for family, search in SEARCHES.items()
                    if kind is None or not any(issubclass(kind, other) for other in SEARCHES if other is not family)]
        with self._lock:
            for card in (card for search in searches for card in search(self)):
                if kind is None or isinstance(card, kind):
                    card.select()
                    return card
        raise NoCardError(1, f"no {kind.__name__ if kind else 'card'} in the field", "find")

    def sam(self, slot: int = 1) -> "Sam":
        """The reader's contact SAM slot (1-8)."""
        if not 1 <= slot <= 8:
            raise ValueError("SAM slots are numbered 1 to 8")
        return Sam(self, slot)


def open(text: str) -> Reader:  # noqa: A001 - the package's entry point, as varrok.open()
    """Opens a reader: "TCP://127.0.0.1:4000" or "COM3:115200". Returns a Reader."""
    return Reader(text)


class Card:
    """A card found in a reader's field; the subclasses add what each family can do."""

    family = "card"

    def __init__(self, reader: Reader, uid: bytes, name: str) -> None:
        self.reader = reader
        self.uid = uid
        self.name = name

    def __repr__(self) -> str:
        return f"<{type(self).__name__} {self.name} UID {self.uid.hex().upper()}>"

    def select(self) -> None:
        """Makes this card the one the reader talks to."""
        raise NotImplementedError


class Sam:
    """A contact SAM slot of the reader."""

    def __init__(self, reader: Reader, slot: int) -> None:
        self.reader = reader
        self.slot = slot

    def reset(self) -> bytes:
        """Resets the SAM and returns its ATR."""
        atr, n = _lib.buffer(256), _lib.length()
        self.reader.call("rf_SAM_RST", self.slot, atr, _lib.byref(n))
        return atr.raw[: n.value]

    def apdu(self, command: bytes, timeout_ms: int = 0) -> bytes:
        """Sends an APDU to the SAM (after reset()) and returns its answer with the status word."""
        return transceive(self.reader, "rf_SAM_COS", command, self.slot, timeout=timeout_ms)


def transceive(reader: Reader, function: str, command: bytes, *lead: int, timeout: int = 0) -> bytes:
    """One APDU through `function` (a card's or a SAM's), answer and status word back."""
    command = bytes(command)
    if not 1 <= len(command) <= 250:
        raise ValueError("an APDU holds 1 to 250 bytes")
    answer, n = _lib.buffer(256), _lib.length()
    reader.call(function, *lead, command, len(command), answer, _lib.byref(n), timeout)
    return answer.raw[: n.value]


def _byte(value: int, what: str) -> int:
    if not 0 <= value <= 255:
        raise ValueError(f"{what} must be 0 to 255")
    return value


def des(data: bytes, key: bytes, decrypt: bool = False) -> bytes:
    """DES (8-byte key) or two-key triple DES (16-byte key) in ECB over whole 8-byte blocks."""
    if len(key) not in (8, 16):
        raise ValueError("a DES key has 8 bytes, a triple-DES key 16")
    if len(data) % 8:
        raise ValueError("DES works on whole 8-byte blocks")
    out = _lib.buffer(len(data))
    function = "rf_DES_Decrypt" if decrypt else "rf_DES_Encrypt"
    check(getattr(_lib.lib(), function)(out, bytes(data), len(data), bytes(key), len(key)), function)
    return out.raw


