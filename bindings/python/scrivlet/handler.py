"""scrivlet.RingHandler: a logging handler that writes every record into a ring of log files."""

from __future__ import annotations

import logging
from typing import Any, Optional

from .ring import Folder, Ring


class RingHandler(logging.Handler):
    """A ``logging`` handler over a ``scrivlet.Ring``: each record, formatted by the handler's
    formatter, is on the storage when the logging call returns.

    It takes the ring's options (see ``scrivlet.Ring``) and ``level``, so that
    ``logging.config.dictConfig`` makes one from a handler entry such as
    ``{"class": "scrivlet.RingHandler", "folder": "logs/app", "count": 5, "size": 1048576,
    "formatter": "plain"}``. Threads that log at once are not serialized by the handler: their
    records go to the storage together (group commit, visible in ``handler.ring.stats``).

    A record's text ends with ``terminator`` ("\\n"), which a text ring drops (it ends each
    record with CR LF) and a raw ring keeps. Characters that UTF-8 cannot hold (lone
    surrogates) are written as backslash escapes. A failed write goes to ``handleError``, as in
    every standard handler.
    """

    terminator = "\n"

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
        level: int = logging.NOTSET,
    ) -> None:
        super().__init__(level)
        self.ring = Ring(folder, name=name, count=count, size=size, header=header,
                         footer=footer, counter=counter, raw=raw, split=split, fresh=fresh)

    def handle(self, record: logging.LogRecord) -> Any:
        # As logging.Handler.handle, without the handler's lock around emit: the ring takes
        # writes from any number of threads, where the lock would let one in at a time.
        accepted = self.filter(record)
        if isinstance(accepted, logging.LogRecord):  # a filter may replace the record
            record = accepted
        if accepted:
            self.emit(record)
        return accepted

    def emit(self, record: logging.LogRecord) -> None:
        """Writes the formatted record; returns once it is on the storage."""
        try:
            text = self.format(record) + self.terminator
            self.ring.write(text.encode("utf-8", "backslashreplace"))
        except RecursionError:
            raise
        except Exception:
            self.handleError(record)

    def close(self) -> None:
        """Closes the ring (footer and close) and the handler."""
        try:
            self.ring.close()
        finally:
            super().close()

    def __repr__(self) -> str:
        return f"<{type(self).__name__} {self.ring.path} ({logging.getLevelName(self.level)})>"
