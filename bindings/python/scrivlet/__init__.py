"""Scrivlet for Python: durable, bounded rings of log files.

``scrivlet.Ring`` writes records into a ring of log files: a fixed number of files, each at most
a set size, every record on the storage when ``write`` returns, threads sharing the writes.
``scrivlet.RingHandler`` is the same ring as a ``logging`` handler. Both use the ring library
(libscrivlet-ring, scrivlet-ring.dll) through its C interface; the environment variable
SCRIVLET_RING_LIBRARY names the library, or its folder, when it is not installed.

    import logging, scrivlet
    logging.basicConfig(handlers=[scrivlet.RingHandler("logs/app", size=1 << 20)])
    logging.warning("pump 3 started")  # on the storage when this returns

Read a ring back with the command-line host: ``scrivlet cat --folder logs/app``.
"""

from ._library import VERSION as __version__
from .handler import RingHandler
from .ring import (
    ERRORTYPE_PARAMETER,
    ERRORTYPE_RUNTIME,
    ERRORTYPE_SYSTEM,
    MODULE_LOGFILE,
    MODULE_RING,
    Ring,
    RingError,
    RingStats,
)

__all__ = [
    "Ring", "RingError", "RingHandler", "RingStats", "MODULE_LOGFILE", "MODULE_RING",
    "ERRORTYPE_SYSTEM", "ERRORTYPE_PARAMETER", "ERRORTYPE_RUNTIME",
]
