#!/usr/bin/env python3
"""The Python rows of bench/run: scrivlet.RingHandler against the standard library's answer,
logging.handlers.RotatingFileHandler, as shipped (flushed, never synced) and with os.fsync after
each record (durable, as every record of the ring is), with 1 and 8 threads logging through one
handler into a ring of 5 files of 1 MiB (the rotating handler: 1 MiB and 4 backups) on the
working file system.

Each run logs 64-byte messages for a fixed time; the contenders take turns, run after run, so
that drift on a shared machine falls on all of them. Records/s are medians over the runs; a
ratio is RingHandler / the other. RingHandler's rows also give records per write-through call
(its group commit).

Usage: python.py FOLDER [--quick]. The package comes from bindings/python of this checkout, the
ring library from SCRIVLET_RING_LIBRARY (bench/run names its build).
"""

import logging
import logging.handlers
import os
import platform
import shutil
import statistics
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "bindings",
                                "python"))
import scrivlet  # noqa: E402  (from the checkout)

MESSAGE = "m" * 64
COUNT, SIZE = 5, 1 << 20


class SyncedRotatingFileHandler(logging.handlers.RotatingFileHandler):
    """RotatingFileHandler with os.fsync after each record (under the handler's lock)."""

    def emit(self, record):
        super().emit(record)
        if self.stream:
            os.fsync(self.stream.fileno())


def contenders(folder):
    rotating = os.path.join(folder, "rotating.log")
    return {
        "RingHandler": lambda: scrivlet.RingHandler(folder, count=COUNT, size=SIZE, fresh=True),
        "RotatingFileHandler": lambda: logging.handlers.RotatingFileHandler(
            rotating, maxBytes=SIZE, backupCount=COUNT - 1),
        "RotatingFileHandler+fsync": lambda: SyncedRotatingFileHandler(
            rotating, maxBytes=SIZE, backupCount=COUNT - 1),
    }


def run(make, folder, threads, seconds):
    """Records/s of threads logging through one new handler for the given time, and records per
    write of a ring (None for the others)."""
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    handler = make()
    handler.setFormatter(logging.Formatter("%(message)s"))
    logger = logging.getLogger("scrivlet.bench")
    logger.propagate, logger.handlers = False, [handler]
    logger.setLevel(logging.INFO)
    counts = [0] * threads
    start = threading.Barrier(threads + 1)

    def work(index):
        start.wait()
        n = 0
        while time.perf_counter() < deadline:
            logger.info(MESSAGE)
            n += 1
        counts[index] = n

    workers = [threading.Thread(target=work, args=(i,)) for i in range(threads)]
    for worker in workers:
        worker.start()
    began = time.perf_counter()
    deadline = began + seconds
    start.wait()
    for worker in workers:
        worker.join()
    elapsed = time.perf_counter() - began
    ring = getattr(handler, "ring", None)
    grouping = ring.stats.records / max(ring.stats.writes, 1) if ring else None
    handler.close()
    return sum(counts) / elapsed, grouping


def main():
    if len(sys.argv) not in (2, 3) or sys.argv[2:] not in ([], ["--quick"]):
        sys.exit("usage: python.py FOLDER [--quick]")
    folder, quick = sys.argv[1], sys.argv[2:] == ["--quick"]
    runs, seconds = (1, 0.3) if quick else (5, 1.0)
    makers = contenders(folder)
    print(f"python:         {platform.python_implementation()} {platform.python_version()}"
          f" ({sys.executable}), logging {len(MESSAGE)} B messages, {runs} run(s) of"
          f" {seconds} s per contender and thread count, in {folder}")
    print("                RingHandler and RotatingFileHandler+fsync: durable records;"
          " RotatingFileHandler: flushed, not synced")
    print()
    print(f"{'case':<48}{'RingHandler':<20}{'baseline':<38}ratio")
    print("-" * 112)
    for threads in (1, 8):
        results = {name: [] for name in makers}
        for _ in range(runs):
            for name, make in makers.items():
                results[name].append(run(make, folder, threads, seconds))
        ring = statistics.median(rate for rate, _ in results["RingHandler"])
        grouping = statistics.median(group for _, group in results["RingHandler"])
        for name in ("RotatingFileHandler", "RotatingFileHandler+fsync"):
            other = statistics.median(rate for rate, _ in results[name])
            case = f"py 64 B {threads} thread{'s' * (threads > 1)}: rec/s (rec/write)"
            print(f"{case:<48}{f'{ring:,.0f} ({grouping:.1f})':<20}{f'{other:,.0f} {name}':<38}"
                  f"{ring / other:.3f}")
    shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    main()
