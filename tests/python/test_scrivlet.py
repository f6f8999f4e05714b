# The scrivlet package over the built ring library: its options in the files and its refusals in
# the class's words, many threads through one handler, a writer killed at random, dictConfig.
import logging, logging.config, os, random, signal, subprocess, sys, threading

import pytest

import scrivlet

# Refused configurations: Ring's options, which are also `scrivlet check`'s.
REFUSED = [{"count": 0, "name": "n" * 55}, {"count": 10000}, {"size": 687}, {"size": 104857601},
           {"size": 0, "header": "h" * 64}, {"name": "n" * 55}, {"folder": "d" * 196},
           {"header": "é" * 64}, {"footer": "f" * 64}]


@pytest.mark.parametrize("options", REFUSED)
def test_refusals_in_the_class_words(tmp_path, monkeypatch, tool, options):
    monkeypatch.chdir(tmp_path)
    options = {"folder": "ring", **options}
    with pytest.raises(scrivlet.RingError) as refused:
        scrivlet.Ring(**options)
    check = tool("check", *(f"--{option}={value}" for option, value in options.items()))
    error = refused.value
    assert (check.returncode, check.stdout.strip()) == (1, str(error))
    assert f": {error.value} (" in str(error) and (error.module, error.error_type) == (46, 4)
    assert f", place {error.location}, parameter error, reason {error.error} " in str(error)
    assert os.listdir() == []
    for value in ({"count": -1}, {"size": 1 << 32}, {"header": "a\0b"}):
        pytest.raises(ValueError, scrivlet.Ring, "ring", **value)


def test_options_reach_the_files(tmp_path, cat):
    options = dict(name="pump.log", count=3, size=1000, header="head", footer="foot", counter=True)
    with scrivlet.Ring(tmp_path, **options) as ring:
        for n in range(120):
            ring.write(f"record {n}" if n % 2 else f"record {n}\n".encode())
        assert ring.path == str(tmp_path / "pump_0001.log")  # the fourth file replaced the first
    assert ring.stats == (120, 120, sum(2 * len(f"record {n}\r\n") for n in range(120)), 0)
    assert sorted(os.listdir(tmp_path)) == [f"pump_000{n}.log" for n in (1, 2, 3)]
    lines = cat(tmp_path, "--name", "pump", "--lines")
    assert [line.split(" ", 2)[2] for line in lines if " 1 " in line][:4] == [
        "2 1 1", "head 1 2", "foot 1 3", "3 1 1"]
    assert [line for line in lines if line.startswith("record")][-1] == "record 119"
    with pytest.raises(scrivlet.RingError, match=r"the ring is not open \[ring 50, place 1,"):
        ring.write("late")
    ring.close()
    raw = bytes(range(256)) * 6  # longer than a file of 688 bytes holds
    with scrivlet.Ring(tmp_path / "raw", size=688, raw=True, split=True) as ring:
        ring.write(raw)
    assert b"".join((tmp_path / f"raw/LogFile_1_000{n}.log").read_bytes() for n in (1, 2, 3)) == raw
    with scrivlet.Ring(tmp_path / "raw", size=688, raw=True, fresh=True) as ring:
        with pytest.raises(scrivlet.RingError, match="place 17, parameter error, reason 6"):
            ring.write(raw)
    for fresh, record, kept in ((True, "1", ["1"]), (False, "2", ["1", "2"]), (True, "3", ["3"])):
        with scrivlet.Ring(tmp_path / "again", count=1, fresh=fresh) as ring:
            ring.write(record)
        assert cat(tmp_path / "again", "--count", "1") == kept


def test_threads_share_writes_through_one_handler(tmp_path, cat):
    handler = scrivlet.RingHandler(tmp_path, count=8, size=64 * 1024)
    handler.setFormatter(logging.Formatter("%(threadName)s %(message)s"))
    logger = logging.getLogger("threads")
    logger.addHandler(handler)
    logger.propagate = False
    logger.setLevel(logging.INFO)
    threads = [threading.Thread(target=lambda: [logger.info("%04d %s", n, "x" * (n % 50))
                                                for n in range(300)], name=f"t{t}")
               for t in range(8)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    stats = handler.ring.stats
    handler.close()
    lines = cat(tmp_path, "--count", "8")
    for t in range(8):  # once, whole, in order
        assert [line for line in lines if line.startswith(f"t{t} ")] == [
            f"t{t} {n:04d} {'x' * (n % 50)}" for n in range(300)]
    assert len(lines) == stats.records == 2400 and stats.writes < stats.records


# A writer of four threads that prints each record once its write has returned.
CHILD = r"""
import os, sys, threading, scrivlet
ring = scrivlet.Ring(sys.argv[1], count=4, size=1 << 20, counter=True, header="child")
def work(t):
    for n in range(1000000):
        ring.write(f"t{t} {n:06d}")
        os.write(1, f"t{t} {n:06d}\n".encode())
for t in range(4):
    threading.Thread(target=work, args=(t,)).start()
"""


@pytest.mark.parametrize("round", range(3))
def test_killed_writer_keeps_every_acknowledged_record(tmp_path, cat, round):
    child = subprocess.Popen([sys.executable, "-c", CHILD, tmp_path], stdout=subprocess.PIPE)
    printed = [child.stdout.readline() for _ in range(random.randrange(1, 3000))]
    child.send_signal(signal.SIGKILL)
    child.wait()
    printed += child.stdout.readlines()
    acknowledged = {line.decode().rstrip("\n") for line in printed if line.endswith(b"\n")}
    assert acknowledged and not acknowledged - set(cat(tmp_path))


def test_dict_config_makes_the_handler(tmp_path, cat):
    logging.config.dictConfig({
        "version": 1,
        "disable_existing_loggers": False,
        "formatters": {"plain": {"format": "%(levelname)s %(name)s %(message)s"}},
        "handlers": {"ring": {"class": "scrivlet.RingHandler", "folder": str(tmp_path),
                              "name": "app", "count": 2, "size": 4096, "header": "app 1.0",
                              "level": "INFO", "formatter": "plain"}},
        "loggers": {"app": {"handlers": ["ring"], "level": "DEBUG"}},
    })
    log = logging.getLogger("app")
    log.debug("not kept")
    log.info("kept %d", 1)
    log.error("kept %s", "two")
    log.handlers[0].close()
    assert os.listdir(tmp_path) == ["app_0001.log"]
    lines = cat(tmp_path, "--name", "app", "--count", "2", "--lines")
    assert lines[0].endswith(" app 1.0 1 2")
    assert lines[1:] == ["INFO app kept 1", "ERROR app kept two"]
