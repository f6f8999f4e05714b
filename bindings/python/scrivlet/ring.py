"""scrivlet.Ring, a ring of log files written through the library's C interface, and
scrivlet.RingError, its failures. Divided into: the error record's values, RingError, the
conversion of the options, and Ring."""

from __future__ import annotations

import ctypes
import operator
import os
import threading
from typing import NamedTuple, Optional, Union

from . import _library
from ._library import Info

# Values of the error record's fields (ring_c.h, scrivlet_c.h).
MODULE_LOGFILE = 46  # the log file underneath the ring
MODULE_RING = 50  # the ring itself
ERRORTYPE_SYSTEM = 2  # a system call failed: error is the Windows error code, on every platform
ERRORTYPE_PARAMETER = 4  # a value or a record does not fit a limit: error is the reason
ERRORTYPE_RUNTIME = 8  # a call ended in an unexpected way: error is the reason

# The places of the failures that this module records itself, as the class would record them.
_RING_NOT_OPEN = 1
_COUNT_TOO_SMALL, _SIZE_TOO_SMALL, _REASON_TOO_SMALL = 1, 3, 9

Record = Union[str, bytes, bytearray, memoryview]
Folder = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]


class RingError(OSError):
    """A failure of the ring: the library's error record and its words.

    ``str(error)`` is the library's message, for example ``configuration: the file size is too
    small: 100 (file size in bytes; at least 688) [log file 46, place 3, parameter error, reason
    9 too small]``. The attributes are the record's fields: ``module`` (MODULE_LOGFILE, the log
    file underneath, or MODULE_RING), ``error`` (the Windows error code for ERRORTYPE_SYSTEM,
    otherwise the reason), ``error_type``, ``location`` (the reporting place within the module)
    and ``value`` (the offending number or length, the bytes written, or 0). A RingError is an
    OSError, so that code that handles failed I/O handles it too.
    """

    def __init__(
        self, message: str, module: int = 0, error: int = 0, error_type: int = 0,
        location: int = 0, value: int = 0,
    ) -> None:
        super().__init__(message)
        self.module, self.error, self.error_type = module, error, error_type
        self.location, self.value = location, value

    @classmethod
    def _from_info(cls, info: Info) -> "RingError":
        """The error of a record that the library filled."""
        return cls(_library.message(info), info.uiModule, info.uiError, info.uiErrorType,
                   info.uiLocation, info.uiValue)

    @classmethod
    def _record(cls, module: int, error: int, error_type: int, location: int) -> "RingError":
        return cls._from_info(Info(module, error, error_type, location, 0, 1))


class RingStats(NamedTuple):
    """Counts since the ring was opened: how well writes were grouped is records per writes."""

    records: int  # records written
    writes: int  # write-through calls that wrote them
    bytes: int  # bytes of those records, as stored
    waiting: int  # records handed in and not yet written


def _unsigned(what: str, value: Optional[int]) -> int:
    if value is None:
        return 0  # the library's default
    value = operator.index(value)
    if not 0 <= value <= 0xFFFFFFFF:
        raise ValueError(f"{what} must be from 0 to 4294967295, not {value}")
    return value


def _text(what: str, value: Optional[Folder], path: bool = False) -> Optional[bytes]:
    if value is None:
        return None
    data = os.fsencode(value) if path else str(value).encode("utf-8")
    if b"\0" in data:
        raise ValueError(f"{what} holds a null character")
    return data


class Ring:
    """A ring of log files: a fixed number of files, each at most a set size, written in turn.

    ``Ring(folder, ...)`` opens the ring (it creates the folder as needed); ``write`` puts one
    record into it and returns once the record is on the storage. ``write`` is safe from any
    number of threads at once: records that arrive while a write is in flight go to the storage
    together in the next single write-through call (group commit). Use it as a context manager,
    or call ``close``, which writes the footer and closes the file.

    Options (None asks for the library's default):

    - folder: str or path; '/' (or '\\') separates directories; "" is the current directory.
    - name: files are <name>_0001.log and on (default LogFile_1); cut at its first '.'.
    - count: files in the ring, 1 to 9999 (default 5).
    - size: largest size of one file in bytes, 688 to 104857600 (default 10 MiB).
    - header, footer: a line that opens or closes every file, at most 63 characters.
    - counter: a "<stamp> <counter> 1 1" line opens every file.
    - raw: records are stored as their bytes exactly; otherwise each record is UTF-8 text, one
      line (a trailing LF or CR LF is dropped), stored as UTF-16LE ending in CR LF.
    - split: a record longer than a file holds is written as several records that each fit,
      instead of being refused.
    - fresh: start at file 1 with counter 1; otherwise the ring that the folder holds is
      continued after its newest file.

    A refused configuration, like every failure, raises RingError with the library's record and
    words; a value that no configuration can hold (a negative count, a null character in a text)
    raises ValueError.
    """

    def __init__(
        self,
        folder: Folder,
        *,
        name: Optional[str] = None,
        count: Optional[int] = None,
        size: Optional[int] = None,
        header: Optional[str] = None,
        footer: Optional[str] = None,
        counter: bool = False,
        raw: bool = False,
        split: bool = False,
        fresh: bool = False,
    ) -> None:
        self._handle: Optional[int] = None
        self._users = 0  # calls inside the library; close waits for them
        self._lock = threading.Condition()
        self._final = RingStats(0, 0, 0, 0)
        self._lib = _library.library()
        options = _library.Options(
            cbSize=ctypes.sizeof(_library.Options),
            pszFolder=_text("folder", folder, path=True),
            pszName=_text("name", name, path=True),
            uiCount=_unsigned("count", count),
            uiSize=_unsigned("size", size),
            pszHeader=_text("header", header),
            pszFooter=_text("footer", footer),
            bCounter=bool(counter), bRaw=bool(raw), bSplit=bool(split), bFresh=bool(fresh))
        # The C interface reads a count or size of 0 as "the default", where the class refuses
        # it (the count first, as its configuration check does): so does this one.
        for place, given, number in ((_COUNT_TOO_SMALL, count, options.uiCount),
                                     (_SIZE_TOO_SMALL, size, options.uiSize)):
            if given is not None and number == 0:
                raise RingError._record(MODULE_LOGFILE, _REASON_TOO_SMALL, ERRORTYPE_PARAMETER,
                                        place)
        info = Info()
        handle = self._lib.ScrivletRing_Open_1(ctypes.byref(options), ctypes.byref(info))
        if not handle:
            raise RingError._from_info(info)
        self._handle = handle

    def write(self, record: Record) -> None:
        """Writes one record (str as UTF-8, or bytes) and returns once it is on the storage.

        Safe from any number of threads at once. Raises RingError on a failure (the record may
        or may not be in the ring then), and on a closed ring (the ring is not open).
        """
        data = record.encode("utf-8") if isinstance(record, str) else bytes(record)
        info = Info()
        # The calls inside the library are counted, so that close never ends the ring under one.
        with self._lock:
            handle = self._handle
            if handle is None:
                raise RingError._record(MODULE_RING, 0, ERRORTYPE_RUNTIME, _RING_NOT_OPEN)
            self._users += 1
        try:
            written = self._lib.ScrivletRing_Write_1(handle, data, len(data), ctypes.byref(info))
        finally:
            with self._lock:
                self._users -= 1
                if self._users == 0:
                    self._lock.notify_all()
        if not written:
            raise RingError._from_info(info)

    def close(self) -> None:
        """Waits for the writes in flight, writes the footer and closes the file.

        The ring is closed whatever happens; a failure raises RingError. Closing a closed ring
        does nothing.
        """
        with self._lock:
            handle, self._handle = self._handle, None
            if handle is None:
                return
            self._lock.wait_for(lambda: self._users == 0)
            self._final = self._stats(handle)
        info = Info()
        if not self._lib.ScrivletRing_Close_1(handle, ctypes.byref(info)):
            raise RingError._from_info(info)

    @property
    def closed(self) -> bool:
        """Whether the ring has been closed."""
        return self._handle is None

    @property
    def stats(self) -> RingStats:
        """The counts since the ring was opened (after close: its last counts)."""
        with self._lock:
            return self._final if self._handle is None else self._stats(self._handle)

    @property
    def path(self) -> str:
        """The path of the current file, or "" once the ring is closed."""
        with self._lock:
            size = 512
            while self._handle is not None:
                buffer = ctypes.create_string_buffer(size)
                needed = self._lib.ScrivletRing_GetPath_1(self._handle, buffer, size)
                if needed < size:
                    return os.fsdecode(buffer.value)
                size = needed + 1
            return ""

    def _stats(self, handle: int) -> RingStats:
        stats = _library.Stats(ctypes.sizeof(_library.Stats))
        info = Info()
        if not self._lib.ScrivletRing_GetStats_1(handle, ctypes.byref(stats), ctypes.byref(info)):
            raise RingError._from_info(info)
        return RingStats(stats.ullRecords, stats.ullWrites, stats.ullBytes, stats.ullWaiting)

    def __enter__(self) -> "Ring":
        return self

    def __exit__(self, *exception: object) -> None:
        self.close()

    def __del__(self) -> None:
        if getattr(self, "_handle", None) is not None:
            try:
                self.close()
            except Exception:
                pass

    def __repr__(self) -> str:
        return f"<scrivlet.Ring {self.path!r}>" if not self.closed else "<scrivlet.Ring closed>"
