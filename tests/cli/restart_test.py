#!/usr/bin/env python3
# End-to-end cases of restarts: rings that writers continued, and shippers that resume.
#
# Usage: restart_test.py <path of scrivlet> <case>, as cli_test.py, whose helpers it uses. Rings
# with run marks written by hand; cursor files; `scrivlet write` killed at random and started
# again; a shipper into rsyslog killed at random while the writer is too. SCRIVLET_SEED repeats
# a run's random moments, SCRIVLET_RESTART_ROUNDS sets the writer's rounds (at least 50).
import contextlib, json, os, random, shutil, signal, socket, subprocess, sys, tempfile
import threading, time

import cli_test
from cli_test import craft, following, pipe_holds, run, spawn, stamp, start_writer, utf16, wait_for

SEED = int(os.environ.get("SCRIVLET_SEED", time.time_ns() % 10**6))
ROUNDS = max(50, int(os.environ.get("SCRIVLET_RESTART_ROUNDS", 50)))


def counter(ms, value):
    return f"{stamp(ms)}{value} 1 1"


class Writer:
    # `scrivlet write` on a ring, started again and again: each round feeds it batches of
    # numbered lines and stops it at a random moment. It reads a batch only once the one before
    # is on the storage, so every batch but the last of a round is acknowledged (all of them
    # when it stops on SIGTERM, which writes what it read and closes the ring).
    def __init__(self, ring):
        self.ring, self.lines, self.acked, self.next = ring, [], set(), 0

    def round(self, rng, stop):
        writer, pipe = start_writer(self.ring, stderr=subprocess.DEVNULL)
        batch = []
        for _ in range(rng.randint(stop is None, 4)):
            self.acked.update(batch)
            batch = [f"{n} {'y' * (n * 37 % 200)}" for n in range(self.next,
                                                               self.next + rng.randint(1, 40))]
            self.next += len(batch)
            self.lines += batch
            os.write(pipe, "".join(line + "\n" for line in batch).encode())
            wait_for(lambda: pipe_holds(pipe) == 0, "the writer to read")
        time.sleep(rng.random() * 0.01)
        os.close(pipe) if stop is None else writer.send_signal(stop)  # None: the input ends
        status = writer.wait(timeout=10)
        with contextlib.suppress(OSError):
            os.close(pipe)
        if stop != signal.SIGKILL:  # before it took a line, it may not yet be listening
            assert status == (0 if stop is None else 128 + stop) or not batch, f"status {status}"
            self.acked.update(batch)

    def missing(self, printed):
        # Checks that lines printed are whole lines written, once and in order, and returns the
        # acknowledged lines from the oldest printed on that are not among them.
        numbers = [int(line.split()[0]) for line in printed]
        assert numbers == sorted(set(numbers)), "a line twice or out of order"
        assert set(printed) <= set(self.lines), "a line that was not written"
        shown = set(printed)
        return [line for line in self.lines[numbers[0] if numbers else 0:]
                if line in self.acked and line not in shown]


def case_run_marks():
    # Rings continued after restarts, written by hand. The run marks (the footer of a run that
    # closed cleanly, the opening lines again) are no records; --since and --until take each
    # run's records by its marks; verify names the restarts and finds no problem in them; a
    # ring restarted without resuming reads in the order it was written.
    head, end = (lambda ms: f"{stamp(ms)}H 1 2"), (lambda ms: f"{stamp(ms)}End 1 3")
    os.makedirs("m")
    for number, lines in ((2, [counter(1000, 4), head(1000), "x", counter(1200, 9), end(1500)]),
                          (1, [counter(2000, 5), head(2000), "a", end(3000), counter(4000, 5),
                               head(4000), "b", counter(6000, 5), head(6000), "c", end(7000)])):
        open(f"m/LogFile_1_{number:04d}.log", "wb").write(utf16(*lines))
    os.makedirs("r")
    open("r/LogFile_1_0001.log", "wb").write(utf16(counter(0, 1)) + b"p\n" + utf16(counter(9, 1))
                                             + b"q\n")
    craft("o", 1, records=["a", end(1000), "b"], footer="End", ms=2000)
    for folder, counters, stamps in (("s", (1, 2, 3, 4), (9, 1, 2, 3)),
                                     ("t", (1, 2, 3, 4), (9, 5, 1, 2))):
        for number in range(1, 5):
            craft(folder, number, counters[number - 1], [str(number)], ms=stamps[number - 1] * 1000)
    marked, odd = ["-d", "m", "--header", "H", "--footer", "End"], counter(1200, 9)
    rows = [  # (ring, cat's more arguments, what it prints, verify's status and words)
        (marked, [], f"x|{odd}|a|b|c", 0, "continued after 2 restart(s) of its writer, at 2026.01"
         ".01 00:00:04.000, 2026.01.01 00:00:06.000 (1 after a clean close)"),
        (marked, ["--since", "2026-01-01 00:00:03.500"], "b|c", None, ""),
        (marked, ["--until", "2026-01-01 00:00:05"], f"x|{odd}|a|b", None, ""),
        (marked, ["--since", "2026-01-01 00:00:06.500"], "c", None, ""),
        (["-d", "r", "--raw", "--counter"], [], "p|q", 0, "after 1 restart(s)"),
        (["-d", "o", "--footer", "End"], [], "a|b", 0, "after 1 restart(s)"),
        (["-d", "s"], [], "2|3|4|1", 1, "starts again at 1 after 4, in file 0001 after file 0004:"
         " a writer started afresh, so file 0001 is the newest and the files it replaced are gone"),
        (["-d", "t"], [], "3|4|2|1", 1, "2 after 4, in file 0002 after file 0004: a writer "
         "started afresh (its files before counter 2 replaced since)|1 after 2, in file 0001"),
    ]
    for ring, more, printed, status, words in rows:
        out = run(["cat"] + ring + more).stdout.decode()
        assert out.splitlines() == printed.split("|"), f"{ring} {more}: {out!r}"
        said = run(["verify"] + ring) if status is not None else None
        assert said is None or said.returncode == status and all(
            w.encode() in said.stdout for w in words.split("|") + ["ok: no problems"] * (not status)
        ), f"{ring}: {said.returncode}, not all of {words} in {said.stdout.decode()}"
    lines = [json.loads(line) for line in run(["cat", "--lines", "--json"] + marked).stdout.splitlines()]
    assert [line["kind"] for line in lines if line.get("restart")] == [
        "footer", "counter", "header", "counter", "header"], lines


def case_cursor():
    # A shipper's cursor file: only the records behind it, across appends and a writer that
    # continued the file, saved within a second while following; where the ring wrapped past it,
    # from the oldest record still there, said on stderr; a clear refusal of a file that holds no
    # cursor of this ring. A follower forgets the torn record that a continuing writer drops.
    ring = ["-d", "c", "-c", "3", "--counter"]

    def ship(*extra):
        result = run(["cat", "--json", "--cursor-file", "cursor"] + ring + list(extra))
        return [json.loads(line)["text"] for line in result.stdout.splitlines()], result

    craft("c", 1, counter=7, records=["a", "b"])
    assert ship()[0] == ["a", "b"]
    open("c/LogFile_1_0001.log", "ab").write(utf16("c", counter(5, 7), "d"))
    assert ship()[0] == ["c", "d"] and ship()[0] == []
    for number, value, record in ((2, 9, "e"), (3, 10, "f"), (1, 11, "g")):
        craft("c", number, counter=value, records=[record], ms=value * 1000)
    texts, result = ship()
    assert texts == ["e", "f", "g"] and b"file 0001 (counter 7) has been replaced; the ring has" \
        b" wrapped past it: 1 file(s) written after it were replaced" in result.stderr, result.stderr
    good = open("cursor").read()
    for text, words in (("garbage\n", "not a cursor of scrivlet cat"),  # and what cat says
                        (good.replace("v=1", "v=2"), "a cursor of another version (2)"),
                        (good.replace(good[4:14], "r=00000000"), "one of another ring"),
                        (good.replace(";o=", ";o=1"), "the cursor does not fit file 0001")):
        open("cursor", "w").write(text)
        texts, result = ship()
        assert result.returncode == 1 and words.encode() in result.stderr and not texts, (
            f"{text}: {result.returncode} {result.stderr}")
    open("cursor", "w").close()
    assert ship()[0] == ["e", "f", "g"]
    # Following: the cursor saved at once, then within a second; a torn record dropped.
    path = "c/LogFile_1_0001.log"
    with following(ring + ["--json", "--cursor-file", "cursor"]) as (_, output):
        for record in ("h", "i"):
            open(path, "ab").write(utf16(record))
            wait_for(lambda: f'"{record}"' in output(), "the record")
            printed = time.monotonic()
            wait_for(lambda: open("cursor").read().strip() in output().splitlines()[-1], "a save")
            assert time.monotonic() - printed < 1, "the cursor was not saved within a second"
        # A writer killed with a record half written and a rotation cut short, then continued.
        for change in ("torn", "rotation", "cut", "continued"):
            time.sleep(0.1)
            if change == "rotation":
                open("c/LogFile_1_0002.log", "wb").close()
            elif change == "cut":
                os.truncate(path, os.path.getsize(path) - 8)
            else:
                open(path, "ab").write("torn".encode("utf-16-le") if change == "torn" else
                                       utf16(counter(20000, 11), "j"))
        wait_for(lambda: '"j"' in output(), "the record after the restart")
    printed = [json.loads(line) for line in output().splitlines()]
    assert [record["text"] for record in printed] == ["h", "i", "j"], printed
    assert open("cursor").read().strip() == printed[-1]["cursor"], "not saved at the end"
    with following(ring + ["--cursor-file", "cursor"]) as (_, output):  # not from the empty file
        time.sleep(0.3)
        open(path, "ab").write(utf16("k"))
        wait_for(lambda: output() == "k\n", "the record in the newest file with records")


def case_writer_restarts():
    # The pipe host killed at random moments (while it starts and continues the ring too) and
    # started again, in a ring that wraps, then closed at the end of its input: every line of
    # every group whose write returned is in the ring once and in order, and verify finds no
    # problem.
    ring = ["-d", "w", "-s", "16384", "-c", "8", "--counter", "--header", "H", "--footer", "End"]
    rng, writer = random.Random(SEED), Writer(ring)
    for round_ in range(ROUNDS):
        writer.round(rng, None if round_ == ROUNDS - 1 else
                     signal.SIGTERM if round_ % 5 == 4 else signal.SIGKILL)
    printed = run(["cat"] + ring).stdout.decode().splitlines()
    missing = writer.missing(printed)
    assert not missing and len(printed) > 100, f"seed {SEED}: lost {missing[:3]}"
    report = json.loads(run(["verify", "--json"] + ring).stdout)
    assert report["ok"] and report["restarts"] > 0, f"seed {SEED}: {report}"
    print(f"seed {SEED}: {ROUNDS} rounds, {writer.next} lines, {len(printed)} in the ring")


def case_shipping():
    # A shipper (cat --follow --json --cursor-file, through logger --tcp) into rsyslog, killed
    # and started again at random while the writer is too: the collector gets every record of
    # the ring, and gets twice only records that a shipper printed after its last save.
    rsyslogd = shutil.which("rsyslogd") or shutil.which("rsyslogd", path="/usr/sbin")
    if rsyslogd is None:
        assert not os.environ.get("CI"), "rsyslogd is missing (Debian package rsyslog)"
        print("skipped: no rsyslogd")
        sys.exit(77)
    with socket.create_server(("127.0.0.1", 0)) as probe:
        port = probe.getsockname()[1]
    here = os.getcwd()
    with open("rsyslog.conf", "w") as conf:
        conf.write(f'global(workDirectory="{here}")\nmodule(load="imtcp")\n'
                   'template(name="shipped" type="string" string="%programname% %msg%\\n")\n'
                   f'input(type="imtcp" address="127.0.0.1" port="{port}")\n'
                   f'action(type="omfile" file="{here}/collected" template="shipped")\n')
    cli_test.STARTED.append(subprocess.Popen([rsyslogd, "-n", "-f", "rsyslog.conf", "-i",
                                              f"{here}/rsyslog.pid"]))
    wait_for(lambda: socket.socket().connect_ex(("127.0.0.1", port)) == 0, "rsyslog")
    ring = ["-d", "s", "-s", "8192", "-c", "16", "--counter"]
    rng, writer, stop = random.Random(SEED), Writer(ring), threading.Event()

    def write():
        writes = random.Random(SEED + 1)
        while not stop.is_set():
            writer.round(writes, signal.SIGKILL)
            time.sleep(0.2)
        writer.round(writes, None)

    def collected():
        messages = []
        for line in open("collected", errors="replace") if os.path.exists("collected") else []:
            tag, _, message = line.partition(" ")
            with contextlib.suppress(ValueError):  # a line a killed shipper printed in part
                messages.append((tag, json.loads(message)))
        return messages

    saved, said = [], b""
    thread = threading.Thread(target=write)
    for run_ in range(16):
        last = run_ == 15
        if last:
            stop.set()
            thread.join()
            kept = {json.loads(r)["text"] for r in run(["cat", "--json"] + ring).stdout.splitlines()}
        cat = spawn(["cat", "--follow", "--json", "--interval", "0.05", "--cursor-file",
                     "cursor"] + ring, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        logger = subprocess.Popen(["logger", "--tcp", "-n", "127.0.0.1", "-P", str(port), "-t",
                                   f"ship{run_}", "--size", "8192"], stdin=cat.stdout)
        cat.stdout.close()
        if run_ == 0:  # the first shipper waits for the ring's folder
            time.sleep(0.2)
            thread.start()
        if last:
            wait_for(lambda: kept <= {m["text"] for _, m in collected()}, "every record")
        else:
            time.sleep(rng.uniform(0.1, 0.6) + 0.5 * (run_ == 0))  # the first prints something
        cat.send_signal(signal.SIGTERM if last or rng.random() < 0.25 else signal.SIGKILL)
        status, _ = cat.wait(timeout=10), logger.wait(timeout=10)
        said += cat.stderr.read()
        assert status in (0, -signal.SIGKILL), f"{status}: {said}"
        saved.append(open("cursor").read().strip() if os.path.exists("cursor") else None)
    time.sleep(0.5)  # what rsyslog received, written
    messages = collected()
    texts = [m["text"] for _, m in messages]
    twice, bound = len(texts) - len(set(texts)), 0
    for run_, cursor in enumerate(saved):
        cursors = [m.get("cursor") for tag, m in messages if tag == f"ship{run_}"]
        bound += len(cursors) - (cursors.index(cursor) + 1 if cursor in cursors else 0)
    missing = writer.missing(sorted(set(texts), key=lambda text: int(text.split()[0])))
    assert kept <= set(texts) and twice <= bound, f"seed {SEED}: {twice} twice, bound {bound}"
    assert not missing or b"wrapped past" in said, f"seed {SEED}: lost {missing[:3]}"
    print(f"seed {SEED}: {writer.next} lines written, {len(kept)} in the ring at the end, "
          f"{len(texts)} collected, {twice} twice (bound {bound}), {said.count(b'wrapped')} wraps")


if __name__ == "__main__":
    with tempfile.TemporaryDirectory() as directory:
        os.chdir(directory)
        try:
            globals()["case_" + sys.argv[2]]()
        finally:
            for process in cli_test.STARTED:
                if process.poll() is None:
                    process.kill()
                    process.wait()
    print("passed:", sys.argv[2])
