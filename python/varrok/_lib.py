"""The ctypes layer: finds libVarrok and declares the C functions the package calls.

Nothing here is public. Every function is declared with its argument and result
types, so a wrong type fails in Python instead of reaching the library.
"""

from __future__ import annotations

import ctypes
import ctypes.util
import os
from ctypes import POINTER, c_char_p, c_int, c_uint, c_ushort, c_ubyte
from pathlib import Path

from .errors import VarrokError

_NAME = "libVarrok.so"
_U8P = POINTER(c_ubyte)
_U16 = c_ushort

# name: (result, argument types). Byte buffers are char pointers so that both
# `bytes` (read only) and ctypes string buffers (written) can be passed.
_SIGNATURES: dict[str, tuple[type | None, list[type]]] = {
    "lib_ver": (c_int, [POINTER(c_uint)]),
    "rf_init_com": (c_int, [c_int, c_int]),
    "rf_init_net": (c_int, [c_char_p, c_int]),
    "rf_ClosePortVer5": (c_int, [_U16]),
    "rf_Reader_GetID": (c_int, [_U16, POINTER(c_ushort)]),
    "rf_Reader_GetFirmwareVer": (c_int, [_U16, c_char_p]),
    "rf_Reader_GetSN": (c_int, [_U16, c_char_p]),
    "rf_Reader_SetBeep": (c_int, [_U16, c_ubyte]),
    "rf_Reader_SetISOType": (c_int, [_U16, c_ubyte]),
    "rf_Reader_SetAntenna": (c_int, [_U16, c_ubyte]),
    "rf_Reader_SetLight": (c_int, [_U16, c_ubyte]),
    "rf_ISO14443A_GetCard": (c_int, [_U16, c_ubyte, c_char_p, _U8P]),
    "rf_ISO14443A_Halt": (c_int, [_U16]),
    "rf_select": (c_int, [_U16, c_char_p, c_ubyte, _U8P]),
    "rf_M1_Authentication": (c_int, [_U16, c_ubyte, c_ubyte, c_char_p]),
    "rf_M1_Read": (c_int, [_U16, c_ubyte, c_char_p]),
    "rf_M1_Write": (c_int, [_U16, c_ubyte, c_char_p]),
    "rf_M1_PurseCreate": (c_int, [_U16, c_ubyte, c_int]),
    "rf_M1_PurseRead": (c_int, [_U16, c_ubyte, c_char_p]),
    "rf_M1_PurseIncrement": (c_int, [_U16, c_ubyte, c_int]),
    "rf_M1_PurseDecrement": (c_int, [_U16, c_ubyte, c_int]),
    "rf_M1_PurseRestore": (c_int, [_U16, c_ubyte]),
    "rf_M1_PurseTransfer": (c_int, [_U16, c_ubyte]),
    "rf_UltraLight_Read": (c_int, [_U16, c_ubyte, c_char_p]),
    "rf_UltraLight_Write": (c_int, [_U16, c_ubyte, c_char_p]),
    "rf_UltraLightC_Authentication": (c_int, [_U16, c_char_p]),
    "rf_ISO14443B_Request": (c_int, [_U16, c_ubyte, c_char_p]),
    "rf_ISO14443B_Attribute": (c_int, [_U16, c_char_p, c_ubyte]),
    "rf_ISO14443_4_TypeA_RATS": (c_int, [_U16, c_char_p, _U8P]),
    "rf_ISO14443_4_COS": (c_int, [_U16, c_char_p, c_ubyte, c_char_p, _U8P, c_uint]),
    "rf_SAM_RST": (c_int, [_U16, c_ubyte, c_char_p, _U8P]),
    "rf_SAM_COS": (c_int, [_U16, c_ubyte, c_char_p, c_ubyte, c_char_p, _U8P, c_uint]),
    "rf_ISO15693_Inventory": (c_int, [_U16, c_char_p, _U8P]),
    "rf_ISO15693_Read": (c_int, [_U16, c_ubyte, c_char_p, c_ubyte, c_ubyte, c_char_p, _U8P]),
    "rf_ISO15693_Write": (c_int, [_U16, c_ubyte, c_char_p, c_ubyte, c_char_p]),
    "rf_ISO15693_GetSystemInfomation": (c_int, [_U16, c_ubyte, c_char_p, c_char_p, _U8P]),
    "rf_DES_Encrypt": (c_int, [c_char_p, c_char_p, c_int, c_char_p, c_int]),
    "rf_DES_Decrypt": (c_int, [c_char_p, c_char_p, c_int, c_char_p, c_int]),
}


def _candidates() -> list[str]:
    """Where the library is looked for, in order."""
    places = []
    configured = os.environ.get("VARROK_LIBRARY")
    if configured:
        path = Path(configured)
        places.append(str(path / _NAME if path.is_dir() else path))
    places.append(str(Path(__file__).resolve().parent / _NAME))
    places.append(ctypes.util.find_library("Varrok") or _NAME)  # the system's library path
    return places


def _load() -> ctypes.CDLL:
    tried = []
    for place in _candidates():
        try:
            library = ctypes.CDLL(place)
            break
        except OSError as error:
            tried.append(f"  {place}: {error}")
    else:
        raise VarrokError(
            -1,
            "libVarrok not found; set VARROK_LIBRARY to the library or its folder. Looked in:\n"
            + "\n".join(tried),
        )
    for name, (result, arguments) in _SIGNATURES.items():
        function = getattr(library, name)
        function.restype = result
        function.argtypes = arguments
    return library


_library: ctypes.CDLL | None = None


def lib() -> ctypes.CDLL:
    """The loaded library, loaded on first use so that importing never fails."""
    global _library
    if _library is None:
        _library = _load()
    return _library


def buffer(size: int) -> ctypes.Array:
    return ctypes.create_string_buffer(size)


def length() -> c_ubyte:
    return c_ubyte(0)


byref = ctypes.byref
