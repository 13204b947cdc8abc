"""Varrok: desktop contactless (13.56 MHz) card readers from Python.

    import varrok
    with varrok.open("TCP://127.0.0.1:4000") as reader:
        card = reader.find(varrok.ClassicCard)
        card.authenticate(4, b"\\xff" * 6)
        print(card.read_block(4).hex())

Bytes go in and out as `bytes`. Every failure raises a VarrokError subclass.
"""

from __future__ import annotations

from . import _lib
from .cards import (ClassicCard, SmartCard, TypeACard, TypeASmartCard, TypeBCard, UltralightCard,
                    VicinityCard, TRANSPORT_KEY)
from .dumpfile import Dump, DumpError
from .errors import LinkError, NoCardError, NoReaderError, RefusedError, VarrokError
from .reader import Card, Reader, ReaderInfo, Sam, open


def library_version() -> int:
    """The library's version number."""
    version = _lib.ctypes.c_uint()
    _lib.lib().lib_ver(_lib.byref(version))
    return version.value


def des_encrypt(data: bytes, key: bytes) -> bytes:
    """Encrypts whole 8-byte blocks with DES (8-byte key) or two-key triple DES (16 bytes)."""
    from .reader import des

    return des(data, key)


def des_decrypt(data: bytes, key: bytes) -> bytes:
    """Decrypts whole 8-byte blocks with DES (8-byte key) or two-key triple DES (16 bytes)."""
    from .reader import des

    return des(data, key, decrypt=True)


__all__ = ["open", "Reader", "ReaderInfo", "Sam", "Card", "TypeACard", "ClassicCard", "UltralightCard",
           "SmartCard", "TypeASmartCard", "TypeBCard", "VicinityCard", "TRANSPORT_KEY", "Dump", "DumpError",
           "VarrokError", "NoReaderError", "LinkError", "NoCardError", "RefusedError", "library_version",
           "des_encrypt", "des_decrypt"]
