"""Card dumps in the files the field's tools exchange (standard library only).

Formats: Proxmark3 JSON (.json), plain binary (.bin, .mfd, .dump: memory only),
.eml (a block a line in hex) and MIFARE Classic Tool .mct ("+Sector: N" headers).
An unread block is written as '-' for each hex digit (zeros in a binary dump).
Files are untrusted: any fault raises DumpError naming the file and the place.
"""

from __future__ import annotations

import json
import os
import tempfile
from dataclasses import dataclass, field
from functools import reduce
from typing import Optional

MAX_FILE = 1 << 20  # far beyond any card's dump
FORMATS = {".json": "json", ".bin": "binary", ".mfd": "binary", ".dump": "binary", ".eml": "eml", ".mct": "mct"}
_FILE_TYPES = {"classic": "mfc v2", "ultralight": "mfu", "iso15693": "15693"}
_BLOCK_SIZES = {"classic": 16, "ultralight": 4, "iso15693": 4}


class DumpError(ValueError):
    """A dump file that cannot be read: "FILE: place: problem"."""


@dataclass
class Dump:
    """One card's memory: `blocks[n]` is the bytes of block n, or None when not read."""

    family: str  # "classic", "ultralight" or "iso15693"
    uid: bytes
    blocks: list[Optional[bytes]]
    atqa: bytes = b""  # Type A, as the card sends it
    sak: Optional[int] = None
    extra: dict = field(default_factory=dict)  # DSFID, AFI of an ISO 15693 tag

    @property
    def partial(self) -> bool:
        """True when some block was not read."""
        return any(b is None for b in self.blocks)


def classic_layout(blocks: int) -> list[tuple[int, int]]:
    """(first block, block count) of each sector: 4 blocks, 16 from sector 32 on."""
    return [(n * 4, 4) if n < 32 else (128 + (n - 32) * 16, 16) for n in range({20: 5, 64: 16, 128: 32, 256: 40}[blocks])]


def format_of(path: str) -> str:
    """The format a file name stands for, by its extension."""
    ext = os.path.splitext(path)[1].lower()
    if ext not in FORMATS:
        raise DumpError(f"{path}: unknown dump extension {ext!r} (known: {', '.join(FORMATS)})")
    return FORMATS[ext]


def load(path: str, family: str = "classic") -> Dump:
    """Reads a dump file (at most 1 MiB)."""
    format = format_of(path)
    with open(path, "rb") as f:
        content = f.read(MAX_FILE + 1)
    if len(content) > MAX_FILE:
        raise DumpError(f"{path}: larger than any card's dump")
    return parse(content, format, family, path)


def save(path: str, dump: Dump, format: Optional[str] = None) -> None:
    """Writes through a temporary file and a rename, so a failed write leaves no half file."""
    content = serialize(dump, format or format_of(path))
    fd, temporary = tempfile.mkstemp(dir=os.path.dirname(os.path.abspath(path)), prefix=".dump-")
    try:
        with os.fdopen(fd, "wb") as f:
            f.write(content)
        os.replace(temporary, path)
    except BaseException:
        os.unlink(temporary)
        raise


def serialize(dump: Dump, format: str) -> bytes:
    """The file contents of a dump in one format."""
    hexed = [b.hex().upper() if b is not None else "-" * (2 * _size(dump)) for b in dump.blocks]
    if format == "binary":
        return b"".join(b if b is not None else bytes(_size(dump)) for b in dump.blocks)
    if format == "eml":
        return "".join(line + "\n" for line in hexed).encode()
    if format == "mct":
        if dump.family != "classic":
            raise DumpError(".mct files hold MIFARE Classic dumps only")
        lines = []
        for sector, (first, count) in enumerate(classic_layout(len(dump.blocks))):
            lines += [f"+Sector: {sector}"] + hexed[first : first + count]
        return ("\n".join(lines) + "\n").encode()
    if format != "json":
        raise DumpError(f"unknown dump format {format!r}")
    card = {"UID": dump.uid.hex().upper()}
    if dump.family == "classic":
        card.update(ATQA=dump.atqa.hex().upper(), SAK=f"{dump.sak or 0:02X}")
    card.update({k: f"{v:02X}" for k, v in dump.extra.items()})
    out = {"Created": "varrok", "FileType": _FILE_TYPES[dump.family], "Card": card,
           "blocks": {str(n): h for n, h in enumerate(hexed)}}
    if dump.family == "classic":
        keys = {}
        for sector, (first, count) in enumerate(classic_layout(len(dump.blocks))):
            trailer = dump.blocks[first + count - 1]
            if trailer is not None:
                keys[str(sector)] = {"KeyA": trailer[:6].hex().upper(), "KeyB": trailer[10:].hex().upper(),
                                     "AccessConditions": trailer[6:10].hex().upper()}
        out["SectorKeys"] = keys
    return (json.dumps(out, indent=2) + "\n").encode()


def parse(content: bytes, format: str, family: str = "classic", name: str = "dump") -> Dump:
    """Parses file contents; `name` is used in error messages."""
    if family not in _BLOCK_SIZES:
        raise DumpError(f"{name}: unknown card family {family!r}")
    size = _BLOCK_SIZES[family]
    if format == "binary":
        if not content or len(content) % size:
            raise DumpError(f"{name}: {len(content)} bytes is not whole {size}-byte blocks")
        blocks: list[Optional[bytes]] = [content[i : i + size] for i in range(0, len(content), size)]
        return _finish(Dump(family, b"", blocks), name)
    try:
        text = content.decode("ascii")
    except UnicodeDecodeError as error:
        raise DumpError(f"{name}: byte {error.start}: not text") from None
    if format == "json":
        return _parse_json(text, family, size, name)
    if format not in ("eml", "mct"):
        raise DumpError(f"{name}: unknown dump format {format!r}")
    if format == "mct":
        return _parse_mct(text, name)
    lines = [(n, line.strip()) for n, line in enumerate(text.splitlines(), 1) if line.strip()]
    size = len(lines[0][1].replace(" ", "")) // 2 if family == "iso15693" and lines else size
    return _finish(Dump(family, b"", [_block(line, size, f"{name}: line {n}") for n, line in lines]), name)


def _parse_mct(text: str, name: str) -> Dump:
    """Sectors in rising order; a sector left out was not read."""
    layout = classic_layout(256)
    sectors: dict[int, list[Optional[bytes]]] = {}
    sector = -1
    for number, line in enumerate(text.splitlines(), 1):
        line, place = line.strip(), f"{name}: line {number}"
        if line.startswith("+Sector:"):
            digits = line[8:].strip()
            if not digits.isdigit() or not sector < int(digits) < len(layout):
                raise DumpError(f"{place}: expected a sector number above {sector} and below {len(layout)}")
            sector = int(digits)
            sectors[sector] = []
        elif line:
            if sector < 0 or len(sectors[sector]) == layout[sector][1]:
                raise DumpError(f"{place}: a block outside any sector's room")
            sectors[sector].append(_block(line, 16, place))
    if sector < 0:
        raise DumpError(f"{name}: no '+Sector:' line")
    count = next(n for n in (20, 64, 128, 256) if len(classic_layout(n)) > sector)
    blocks: list[Optional[bytes]] = []
    for s, (first, size) in enumerate(classic_layout(count)):
        if len(sectors.get(s, [None] * size)) != size:
            raise DumpError(f"{name}: sector {s} has {len(sectors[s])} blocks, it takes {size}")
        blocks += sectors.get(s, [None] * size)
    return _finish(Dump("classic", b"", blocks), name)


def _parse_json(text: str, family: str, size: int, name: str) -> Dump:
    try:
        top = json.loads(text)
        card, hexed = top.get("Card", {}), top["blocks"]
        if not isinstance(card, dict) or not isinstance(hexed, dict):
            raise TypeError
    except (ValueError, KeyError, TypeError, AttributeError) as error:
        raise DumpError(f"{name}: not a dump in JSON: {error or 'no blocks'}") from None
    if top.get("FileType") not in (None, _FILE_TYPES[family], "mfcard" if family == "classic" else None):
        raise DumpError(f"{name}: FileType {top.get('FileType')!r} is not a {family} dump")
    if sorted(hexed, key=lambda k: int(k) if k.isdigit() else -1) != [str(n) for n in range(len(hexed))]:
        raise DumpError(f"{name}: blocks: numbers must run from 0 without gaps")
    if family == "iso15693" and hexed and isinstance(hexed["0"], str):
        size = len(hexed["0"]) // 2  # a tag's block size
    blocks = [_block(hexed[str(n)], size, f"{name}: blocks: {n}") for n in range(len(hexed))]
    fields = {k: _hex(card[k], f"{name}: Card: {k}") for k in card if isinstance(card[k], str)}
    dump = Dump(family, fields.pop("UID", b""), blocks, atqa=fields.pop("ATQA", b""))
    if sak := fields.pop("SAK", b""):
        dump.sak = sak[0]
    dump.extra = {k: v[0] for k, v in fields.items() if k in ("DSFID", "AFI") and len(v) == 1}
    return _finish(dump, name)


def _finish(dump: Dump, name: str) -> Dump:
    """Checks the block count and takes the card's identity from block 0 when the file has none."""
    n = len(dump.blocks)
    if dump.family == "classic" and n not in (20, 64, 128, 256):
        raise DumpError(f"{name}: {n} blocks: a Classic card has 20, 64, 128 or 256")
    if not 1 <= n <= 256:
        raise DumpError(f"{name}: {n} blocks: a card has 1 to 256")
    b = dump.blocks
    if dump.family == "classic" and not dump.uid and b[0] is not None and _xor(b[0][:4]) == b[0][4]:
        dump.uid = b[0][:4]  # a 7-byte UID has no check byte to tell it by
    if dump.family == "ultralight" and not dump.uid and n >= 3 and None not in b[:3] \
            and _xor(b"\x88" + b[0][:3]) == b[0][3] and _xor(b[1]) == b[2][0]:
        dump.uid = b[0][:3] + b[1]
    return dump


def _xor(data: bytes) -> int:
    return reduce(lambda a, c: a ^ c, data, 0)


def _block(text: object, size: int, place: str) -> Optional[bytes]:
    if not isinstance(text, str):
        raise DumpError(f"{place}: a block is hex text")
    text = text.replace(" ", "")
    if not size or len(text) != 2 * size:
        raise DumpError(f"{place}: {len(text) // 2} bytes, a block holds {size}")
    if "-" in text:
        return None  # not read, wholly or in part: never passed off as data
    return _hex(text, place)


def _hex(text: str, place: str) -> bytes:
    try:
        return bytes.fromhex(text)
    except ValueError:
        raise DumpError(f"{place}: {text[:40]!r} is not hex") from None


def _size(dump: Dump) -> int:
    return next((len(b) for b in dump.blocks if b is not None), _BLOCK_SIZES[dump.family])
