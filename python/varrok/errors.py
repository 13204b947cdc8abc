"""Exceptions: every failed library call raises one, carrying the library's code."""

from __future__ import annotations

# What the reader's own status bytes mean (the reader passes them through the library).
_STATUS = {
    0x01: "no card answered",
    0x02: "the card rejected the key",
    0x03: "the operation needs an authentication first",
    0x04: "access conditions or locks forbid it",
    0x05: "not a value block",
    0x06: "block, page or sector beyond the card's memory",
    0x07: "the card refused the command",
    0x08: "the card is not in the state the command needs",
    0x10: "the request's length does not fit the command",
    0x11: "a parameter out of range",
    0x12: "flash address out of range",
    0x20: "the reader does not know the command",
    0x21: "the command failed inside the reader",
    0x30: "no SAM in the slot",
    0x31: "the SAM does not answer",
    0x32: "the SAM was not reset",
    0x33: "the SAM kept its rate",
}

_LIBRARY = {
    -1: "no reader is open",
    -5: "link failure or an answer of the wrong length",
    -6: "not an open reader",
    9: "the reader did not answer (no well-formed answer header)",
    252: "the answer's checksum was wrong",
}


class VarrokError(Exception):
    """A library call failed. `code` is the library's return code, `function` the C call."""

    def __init__(self, code: int, message: str, function: str = "") -> None:
        self.code = code
        self.function = function
        super().__init__(f"{function}: {message} (code {code})" if function else f"{message} (code {code})")


class NoReaderError(VarrokError):
    """No reader could be opened, or the reader is closed."""


class LinkError(VarrokError):
    """The reader was silent, its answer was cut, corrupted or of the wrong length."""


class NoCardError(VarrokError):
    """No card of the wanted kind answered in the reader's field."""


class RefusedError(VarrokError):
    """The card or the reader refused the command; `status` is the reader's status byte."""

    @property
    def status(self) -> int:
        """The reader's status byte (1-255)."""
        return self.code


def check(code: int, function: str) -> None:
    """Raises the exception that fits a non-zero return code of `function`."""
    if code == 0:
        return
    if code in (-1, -6):
        raise NoReaderError(code, _LIBRARY[code], function)
    if code in _LIBRARY:
        raise LinkError(code, _LIBRARY[code], function)
    if code == 0x01:
        raise NoCardError(code, _STATUS[code], function)
    if 0 < code < 256:
        raise RefusedError(code, _STATUS.get(code, f"status 0x{code:02X}"), function)
    raise LinkError(code, "unexpected return code", function)
