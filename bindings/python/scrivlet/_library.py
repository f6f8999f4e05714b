"""The ring library (libscrivlet-ring) through ctypes: where it is found, and the records and
functions of its C interface (ring_c.h) as ctypes declares them.

The library is the first of these that exists:

1. the environment variable SCRIVLET_RING_LIBRARY: the library file, or the folder that holds it
   (a build tree, for example build/default/src/ring); when it is set nothing else is tried;
2. ``ctypes.util.find_library("scrivlet-ring")``: the system's own search (ld.so's cache on
   Linux, PATH on Windows);
3. the prefix this package is installed under, then ``sys.prefix``: their lib/, lib/<multiarch>/,
   lib64/ and bin/ folders (``cmake --install`` or the Debian package put it there).

ctypes releases the GIL during every call, so Python threads that write at once do meet inside
the library and share its write-through calls.
"""

from __future__ import annotations

import ctypes
import ctypes.util
import os
import sys
import sysconfig
import threading
from ctypes import c_char_p, c_int, c_size_t, c_uint, c_void_p
from pathlib import Path
from typing import List, Optional

# The library's version (CMakeLists.txt checks it); its major is the interface version.
VERSION = "5.0.0"
SOVERSION = int(VERSION.split(".")[0])
ENVIRONMENT = "SCRIVLET_RING_LIBRARY"



class Info(ctypes.Structure):
    """tagScrivletInfoData_1: the error record."""

    _fields_ = [
        ("uiModule", c_uint),
        ("uiError", c_uint),
        ("uiErrorType", c_uint),
        ("uiLocation", c_uint),
        ("uiValue", c_uint),
        ("uiErrorSet", c_uint),
    ]


class Options(ctypes.Structure):
    """tagScrivletRingOptions_1: the configuration; zero or NULL asks for a default."""

    _fields_ = [
        ("cbSize", c_uint),
        ("pszFolder", c_char_p),
        ("pszName", c_char_p),
        ("uiCount", c_uint),
        ("uiSize", c_uint),
        ("pszHeader", c_char_p),
        ("pszFooter", c_char_p),
        ("bCounter", c_int),
        ("bRaw", c_int),
        ("bSplit", c_int),
        ("bFresh", c_int),
    ]


class Stats(ctypes.Structure):
    """tagScrivletRingStats_1: the counts since the ring was opened."""

    _fields_ = [
        ("cbSize", c_uint),
        ("uiReserved", c_uint),
        ("ullRecords", ctypes.c_uint64),
        ("ullWrites", ctypes.c_uint64),
        ("ullBytes", ctypes.c_uint64),
        ("ullWaiting", ctypes.c_uint64),
    ]


_INFO = ctypes.POINTER(Info)
_SIGNATURES = {
    "ScrivletRing_Open_1": (c_void_p, [ctypes.POINTER(Options), _INFO]),
    "ScrivletRing_Write_1": (c_int, [c_void_p, c_char_p, c_size_t, _INFO]),
    "ScrivletRing_GetStats_1": (c_int, [c_void_p, ctypes.POINTER(Stats), _INFO]),
    "ScrivletRing_GetPath_1": (c_size_t, [c_void_p, c_char_p, c_size_t]),
    "ScrivletRing_Close_1": (c_int, [c_void_p, _INFO]),
    "ScrivletRing_Message_1": (c_size_t, [_INFO, c_char_p, c_size_t]),
}


def _file_names() -> List[str]:
    if sys.platform == "win32":
        return ["scrivlet-ring.dll"]
    if sys.platform == "darwin":
        return [f"libscrivlet-ring.{SOVERSION}.dylib", "libscrivlet-ring.dylib"]
    return [f"libscrivlet-ring.so.{SOVERSION}", "libscrivlet-ring.so"]


def _in_folder(folder: Path) -> Optional[str]:
    for name in _file_names():
        if (folder / name).is_file():
            return str(folder / name)
    return None


def _prefixes() -> List[Path]:
    # The installed package lies in <prefix>/lib/python3.../site-packages (Lib\site-packages on
    # Windows, lib/python3/dist-packages on Debian).
    prefixes = [p.parent for p in Path(__file__).resolve().parents if p.name.lower() == "lib"]
    return prefixes[:1] + [Path(sys.prefix)]


def _candidates() -> List[str]:
    override = os.environ.get(ENVIRONMENT)
    if override:
        path = Path(override)
        return [(_in_folder(path) or str(path)) if path.is_dir() else str(path)]
    found = ctypes.util.find_library("scrivlet-ring")
    candidates = [found] if found else []
    multiarch = sysconfig.get_config_var("MULTIARCH")
    subs = ["lib"] + ([f"lib/{multiarch}"] if multiarch else []) + ["lib64", "bin"]
    for prefix in _prefixes():
        candidates += filter(None, (_in_folder(prefix / sub) for sub in subs))
    return candidates


def _load() -> ctypes.CDLL:
    tried = []
    for candidate in _candidates():
        try:
            library = ctypes.CDLL(candidate)
            for name, (restype, argtypes) in _SIGNATURES.items():
                function = getattr(library, name)  # AttributeError: a library without it
                function.restype, function.argtypes = restype, argtypes
        except (OSError, AttributeError) as error:
            tried.append(f"{candidate}: {error}")
            continue
        return library
    found = "could not be loaded: " + "; ".join(tried) if tried else "was not found"
    raise OSError(f"the scrivlet ring library (libscrivlet-ring) {found}; install it, or set"
                  f" {ENVIRONMENT} to the library or its folder")


_library: Optional[ctypes.CDLL] = None
_lock = threading.Lock()


def library() -> ctypes.CDLL:
    """The ring library, loaded on first use; OSError when it cannot be found or loaded."""
    global _library
    with _lock:
        if _library is None:
            _library = _load()
        return _library


def message(info: Info) -> str:
    """The library's words for an error record (scrivlet::Error::message())."""
    lib = library()
    size = 512
    while True:
        buffer = ctypes.create_string_buffer(size)
        needed = lib.ScrivletRing_Message_1(ctypes.byref(info), buffer, size)
        if needed < size:
            return buffer.value.decode("utf-8", "replace")
        size = needed + 1
