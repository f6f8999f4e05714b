#!/usr/bin/env python3
# End-to-end cases of the `scrivlet` command-line host.
#
# Usage: cli_test.py <path of scrivlet> <case>. Each case runs in a fresh temporary directory,
# waits seconds at most for anything, and fails with an assertion that names the row that
# differed. The helpers come first (running the tool, ring files written by hand, writers and
# followers), then the cases.
import contextlib, datetime, fcntl, json, os, pty, signal, socket, stat, struct, subprocess, sys
import tempfile, termios, time

TOOL = os.path.abspath(sys.argv[1])
STARTED = []  # every process a case starts; those still running at its end are killed


def spawn(args, **kwargs):
    STARTED.append(subprocess.Popen([TOOL] + args, **kwargs))
    return STARTED[-1]


def run(args, data=b"", prefix=()):
    return subprocess.run(list(prefix) + [TOOL] + args, input=data, capture_output=True, timeout=20)


def utf16(*lines):
    return "".join(f"{line}\r\n" for line in lines).encode("utf-16-le")


def stamp(ms):
    return f"2026.01.01 00:00:{ms // 1000:02d}.{ms % 1000:03d} "


def craft(folder, number, counter=None, records=(), footer=None, ms=0, mtime=None):
    # A ring file as the library lays it out, written by hand; mtime in seconds.
    os.makedirs(folder, exist_ok=True)
    lines = [f"{stamp(ms)}{counter} 1 1"] if counter is not None else []
    lines += list(records) + ([f"{stamp(ms + 1)}{footer} 1 3"] if footer is not None else [])
    path = f"{folder}/LogFile_1_{number:04d}.log"
    with open(path, "wb") as f:
        f.write(utf16(*lines))
    if mtime is not None:
        os.utime(path, ns=(0, mtime * 10**9))
    return path


def start_writer(args, stderr=subprocess.PIPE):
    reader, writer = os.pipe()
    process = spawn(["write"] + args, stdin=reader, stderr=stderr)
    os.close(reader)
    return process, writer


def wait_for(condition, what):
    for _ in range(400):
        if condition():
            return
        time.sleep(0.025)
    raise AssertionError(f"timed out waiting for {what}")


def pipe_holds(fd):
    return struct.unpack("i", fcntl.ioctl(fd, termios.FIONREAD, b"\0\0\0\0"))[0]


@contextlib.contextmanager
def following(args, status=0):
    # `cat --follow` with args, its output in follow.out; stopped with SIGINT at the end, when it
    # must exit with status. Yields the process and a function that reads the output so far.
    with open("follow.out", "wb") as out:
        follower = spawn(["cat", "--follow", "--interval", "0.02"] + args, stdout=out,
                         stderr=subprocess.PIPE)
        yield follower, lambda: open("follow.out").read()
        follower.send_signal(signal.SIGINT)
        assert follower.wait(timeout=10) == status, f"follow {args} did not stop with {status}"


def case_round_trip():
    # Through the pipe and round the ring (the model of what comes out is differential_test.py's):
    # cat gives an unbroken run of the newest lines, verify sees the files the ring overwrote,
    # and the library lines close each file. A raw record as JSON: the bytes that are no UTF-8
    # replaced, the CR of its line end dropped.
    ring = ["-d", "w", "-s", "1024", "-c", "3", "--counter", "--footer", "End"]
    data = b"".join(b"%d\n" % n for n in range(1, 2001))
    assert run(["write"] + ring, data).returncode == 0
    out = run(["cat"] + ring).stdout
    assert data.endswith(b"\n" + out) and len(out) > 99, out[:80]
    report = json.loads(run(["verify", "--json"] + ring).stdout)
    assert (report["ok"] and report["order"] == "counter" and report["overwritten_before"] > 1
            and len(report["files"]) == 3), report
    lines = run(["cat", "--lines"] + ring).stdout.decode().splitlines()
    assert lines[0].endswith(" 1 1") and lines[-1].endswith(" End 1 3"), lines[:2] + lines[-2:]
    assert run(["write", "-d", "r", "--raw"], b"first \x00\xff\xfe line\r\n").returncode == 0
    first = json.loads(run(["cat", "--json", "-d", "r", "--raw"]).stdout)
    assert first["text"] == "first \x00\ufffd\ufffd line" and first["file"] == 1, first


def case_crafted_rings():
    # Rings written by hand, read by cat and verify. The order comes from the counters (across
    # their wrap, against both time stamps and modification times), else the first time stamps,
    # else the modification times.
    closed = ["--counter", "--footer", "End"]
    rows = [  # (name, ring options, files (number, counter, lines, footer, ms, mtime),
        #          bytes cut from the last, what cat prints, verify's status and words)
        ("counter wrap", ["--counter"], [(1, 1, "c", None, 0, 6), (2, 2, "d", None, 0, 7),
                                         (3, 4294967294, "a", None, 9, 8),
                                         (4, 4294967295, "b", None, 9, 9)],
         0, "a b c d", 0, ["ok: no problems"]),
        ("first stamp", ["--footer", "End"], [(1, None, "s300", "End", 300, 1),
                                               (2, None, "s100", "End", 100, 3),
                                               (3, None, "s200", "End", 200, 2)],
         0, "s100 s200 s300", 0, ["oldest first by first time stamp"]),
        ("mtime", [], [(1, None, "m2", None, 0, 8), (2, None, "m3", None, 0, 7),
                       (3, None, "m1", None, 0, 9)], 0, "m3 m2 m1", 0, ["modification time"]),
        ("gap", closed, [(1, 7, "a", "End", 10, None), (2, 9, "b", "End", 20, None)],
         0, "a b", 1, ["jumps from 7 to 9: 1 file(s) missing"]),
        ("restart", closed, [(1, 7, "a", "End", 10, None), (2, 1, "b", "End", 20, None)],
         0, "a b", 1, ["starts again at 1 after 7"]),
        ("torn", closed, [(1, 7, "a", "End", 10, None), (2, 8, "b c", None, 20, None)],
         3, None, 1, ["torn tail: ends inside a record", "not closed in an orderly way"]),
        ("torn line", closed, [(1, 7, "a", "End", 10, None), (2, 8, "", None, 20, None)],
         3, None, 1, ["ends inside a library line"]),
    ]
    for number, (name, options, files, cut, printed, status, words) in enumerate(rows):
        ring = ["-d", f"c{number}", "-c", "5"] + options
        for n, counter, records, footer, ms, mtime in files:
            path = craft(f"c{number}", n, counter, records.split(), footer, ms, mtime)
        os.truncate(path, os.path.getsize(path) - cut)
        out = run(["cat"] + ring).stdout.decode().split()
        assert printed is None or out == printed.split(), f"{name}: cat printed {out}"
        result = run(["verify"] + ring)
        assert result.returncode == status and all(w.encode() in result.stdout for w in words), (
            f"{name}: {result.returncode}, not all of {words} in {result.stdout}")


def case_refusals():
    # What each command refuses, with the words and exit status it gives (2: a usage error), and
    # where a command finds no ring, what it found instead.
    open("file", "w").close()
    craft("other", 3, records=["x"])
    os.rename("other/LogFile_1_0003.log", "other/app_0003.log")
    open("other/notes.txt", "w").close()
    rows = [  # (arguments, exit status, words in the output)
        (["write", "-c", "0"], 1, ["the file count is too small: 0 (file count; at least 1)"]),
        (["check", "--header", "h" * 70], 1, ["header text is too long: 70 "]),
        (["write", "-d", "file/sub"], 1, ["creating the folder", "system error 3, path not found"]),
        (["write", "--no-such-option"], 2, ["no-such-option"]),
        (["check", "-d", "a/b", "-c", "7"], 0, ["ok", "a/b/LogFile_1_0007.log"]),
        (["cat", "-d", "other"], 1, ["no file other/LogFile_1_NNNN.log", "notes.txt",
                                     "found instead: app_0003.log (1 file(s): --name app)"]),
        (["verify", "-d", "missing"], 1, ["does not exist"]),
        (["cat", "--since", "yesterday"], 2, ["2026-12-05 19:47"]),
        (["--version"], 0, ["library interface version 5"]),
        ([], 2, ["A subcommand is required"]),
    ]
    for args, status, words in rows:
        result = run(args, b"line\n")
        text = result.stdout + result.stderr
        assert result.returncode == status and all(w.encode() in text for w in words), (
            f"{args}: {result.returncode}, not all of {words} in {text}")
    assert not os.path.exists("LogFile_1_0001.log"), "a refused configuration created a file"


def case_writer_processes():
    # A second writer on the ring is refused while the first holds it; SIGTERM and SIGINT close
    # the ring with its footer after every line read, and exit with 128 + the signal. On a
    # terminal the writer shows its progress, unless --quiet. A line that arrives alone is written
    # by the thread that read it, without a hand-off (--stats counts those).
    for sig, quiet in ((signal.SIGTERM, []), (signal.SIGINT, ["--quiet"])):
        ring = ["-d", sig.name, "--footer", "Stopped"]
        master, slave = pty.openpty()
        first, pipe = start_writer(ring + quiet + ["--stats"], stderr=slave)
        os.close(slave)
        for line in (b"kept\n", b"more\n"):  # the progress shows from half a second on
            os.write(pipe, line)
            wait_for(lambda: run(["cat"] + ring).stdout.endswith(line), f"{sig.name}: {line}")
            time.sleep(0.6)
        second = run(["write"] + ring, b"intruder\n")
        assert (second.returncode == 1 and b"sharing violation" in second.stderr
                and b"opening the next file" in second.stderr), second.stderr
        first.send_signal(sig)
        assert first.wait(timeout=10) == 128 + sig, f"exit status after {sig.name}"
        os.close(pipe)
        screen = b""
        with contextlib.suppress(OSError):  # the terminal's output ends in an error
            while chunk := os.read(master, 4096):
                screen += chunk
        os.close(master)
        shown = b"lines/s" in screen and f"file {sig.name}/LogFile_1_0001.log".encode() in screen
        assert shown != bool(quiet), f"{sig.name} {quiet}: {screen}"
        assert b"2 groups written on arrival" in screen, screen
        stored = open(f"{sig.name}/LogFile_1_0001.log", "rb").read()
        assert stored.startswith(utf16("kept", "more")), stored
        assert stored.endswith(utf16(" Stopped 1 3")), stored


def case_kill_loses_at_most_two_groups():
    # A SIGKILL loses at most the group being written and the one filling (2 MiB each as stored,
    # and the unfinished line of a read of 256 KiB): the rest of what the writer took from the
    # pipe is in the ring, in order, whole. A batch that found the pipe empty and nothing in
    # flight is written before the next read: once batch k + 1 has left the pipe, batch k is in.
    for round_ in range(3):
        folder = f"k{round_}"
        writer, pipe = start_writer(["-d", folder, "-s", "8192", "-c", "500", "--raw"])
        batches = []
        for k in range(4 + 3 * round_):
            batches.append(b"".join(b"%d.%d.%d %s\n" % (round_, k, i, b"y" * (i * 37 % 300))
                                    for i in range(30 + 40 * k)))
            os.write(pipe, batches[-1])
            deadline = time.monotonic() + 10  # no sleep: the kill follows the drain at once
            while pipe_holds(pipe) > 0 and time.monotonic() < deadline:
                pass
        writer.send_signal(signal.SIGKILL)
        writer.wait(timeout=10)
        os.close(pipe)
        stored = b"".join(open(f"{folder}/{f}", "rb").read() for f in sorted(os.listdir(folder)))
        acknowledged = b"".join(batches[:-1])
        assert stored.startswith(acknowledged), f"round {round_}: an acknowledged line is lost"
        assert batches[-1].startswith(stored[len(acknowledged):]), f"round {round_}: stray bytes"
    # Bursts read from a file, far faster than they are stored, stopped and killed while they
    # flow, early and late.
    data = b"".join(b"%07d %s\n" % (i, b"z" * (i % 90)) for i in range(800000))
    open("burst.in", "wb").write(data)
    for megabytes in (2, 5, 8, 12, 16):
        folder = f"burst{megabytes}"
        with open("burst.in", "rb") as source:
            writer = spawn(["write", "-d", folder, "-c", "20", "-s", "10485760", "--raw"],
                           stdin=source)
        sizes = lambda: sum(os.path.getsize(f"{folder}/{f}") for f in os.listdir(folder))
        deadline = time.monotonic() + 20
        while not (os.path.isdir(folder) and sizes() > megabytes << 20):
            assert time.monotonic() < deadline and writer.poll() is None, f"{folder}: no burst"
            time.sleep(0.002)
        writer.send_signal(signal.SIGSTOP)
        taken = int(open(f"/proc/{writer.pid}/fdinfo/0").read().split()[1])  # "pos: N"
        writer.send_signal(signal.SIGKILL)
        writer.wait(timeout=10)
        kept = b"".join(open(f"{folder}/{f}", "rb").read() for f in sorted(os.listdir(folder)))
        assert data.startswith(kept), f"{folder}: not the lines written, in order"
        assert taken - len(kept) <= 2 * 2**21 + 2**18, f"{folder}: {taken - len(kept)} bytes lost"


def iso(stamp_text, shift_ms=0):
    moment = datetime.datetime.strptime(stamp_text, "%Y.%m.%d %H:%M:%S.%f")
    return (moment + datetime.timedelta(milliseconds=shift_ms)).isoformat(timespec="milliseconds")


def case_json_and_time_range():
    # A stamped ring written in three reads: every line starts with the library's stamp, one
    # stamp per read, --json gives every record (whatever its text) with its file, counter and
    # stamp, and --since/--until keep a read by its stamp, boundaries included.
    tricky = ['quote " and \\ backslash', 'tab\tand \x01 control', 'caf\u00e9 \U0001F600',
              '{"looks": "like json"}'] * 8
    ring = ["-d", "t", "--counter", "-s", "2048", "-c", "50"]
    writer, pipe = start_writer(ring + ["--stamp"])
    for burst in range(3):
        os.write(pipe, "".join(f"b{burst} {line}\n" for line in tricky).encode())
        wait_for(lambda: pipe_holds(pipe) == 0, "the pipe to drain")
        time.sleep(0.05)
    os.close(pipe)
    assert writer.wait(timeout=20) == 0, writer.stderr.read()
    records = [json.loads(line) for line in run(["cat", "--json"] + ring).stdout.splitlines()]
    texts = [f"b{burst} {line}" for burst in range(3) for line in tricky]
    assert [r["text"][24:] for r in records] == texts, [r["text"] for r in records][:4]
    assert all(r["text"][:24] == r["stamp"] + " " for r in records), records[0]
    assert records[0]["file"] == 1 and records[0]["counter"] == 1, records[0]
    assert records[-1]["file"] > 1 and records[-1]["counter"] == records[-1]["file"], records[-1]
    stamps = sorted({r["stamp"] for r in records})
    assert len(stamps) == 3, stamps
    # Unstamped records go by the time their file was open: from its counter line to its
    # footer, or to the next file's counter line.
    craft("u", 1, counter=1, records=["a"], footer="End", ms=0)
    craft("u", 2, counter=2, records=["b"], ms=2000)
    craft("u", 3, counter=3, records=["c"], ms=4000)
    unstamped = ["-d", "u", "-c", "3", "--footer", "End"]
    # Records stamped 10 minutes ago, give or take 10 seconds: a relative time is that moment.
    now = datetime.datetime.now()
    craft("rel", 1, counter=1, records=[(now - datetime.timedelta(seconds=600 + s)).strftime(
        "%Y.%m.%d %H:%M:%S.000 ") + name for s, name in ((10, "o1"), (-10, "n1"))])
    rows = [  # (ring, --since, --until, the reads or lines kept)
        (ring, iso(stamps[1]), iso(stamps[1]), "b1"),
        (ring, iso(stamps[1], 1), None, "b2"),
        (ring, None, iso(stamps[1], -1), "b0"),
        (ring, "-1d", None, "b0 b1 b2"),
        (ring, None, "-1d", ""),
        (unstamped, "2026-01-01T00:00:01.500", None, "b c"),
        (unstamped, None, "2026-01-01 00:00:03.999", "a b"),
        (unstamped, "2026.01.01 00:00:00.001", "2026-01-01 00:00:04", "a b c"),
        (unstamped, "2026-01-01T00:00:04.5", None, "c"),  # file 2 ended with file 3's first line
        (["-d", "rel"], "-10m", None, "n1"),
        (["-d", "rel"], None, "-10m", "o1"),
    ]
    for args, since, until, kept in rows:
        args = ["cat"] + args + (["--since", since] if since else [])
        args += ["--until", until] if until else []
        got = " ".join(sorted({line[24:26] if len(line) > 24 else line
                               for line in run(args).stdout.decode().splitlines()}))
        assert got == kept, f"{since}..{until}: {got!r}, not {kept!r}"


def case_follow():
    # Across rotations and the wrap of the ring, a new writer starting again at file 1 included.
    ring = ["-d", "f", "-s", "1024", "-c", "3", "--counter", "--footer", "End"]
    assert run(["write"] + ring, b"".join(b"%d\n" % n for n in range(1, 51))).returncode == 0
    with following(ring) as (_, output):
        wait_for(lambda: output().split()[-1:] == ["50"], "the records so far")
        writer, pipe = start_writer(ring)
        # Paced so that one round of the ring takes over a second: a follower that falls a whole
        # ring behind (a loaded machine, a sanitizer build) would miss records by the ring's nature.
        for n in range(51, 651):
            os.write(pipe, b"%d\n" % n)
            time.sleep(0.05 if n % 10 == 0 else 0)
        os.close(pipe)
        assert writer.wait(timeout=20) == 0, writer.stderr.read()
        wait_for(lambda: output().split()[-1:] == ["650"], "the last record")
    seen = output().split()
    assert seen == [str(n) for n in range(1, 651)], f"{len(seen)} records, last {seen[-3:]}"
    # The current file looks older than the next one by modification time (as a file being
    # replaced does for a moment); its counter line says it is the newest, so nothing repeats.
    for number, record in ((1, "a"), (2, "b"), (3, "c")):
        craft("n", number, number + 3, [record], "End" if number < 3 else None, 10 * number,
              400 - 100 * number)
    with following(["-d", "n", "-c", "3", "--counter", "--footer", "End"]) as (_, output):
        wait_for(lambda: "c" in output().split(), "the records so far")
        time.sleep(0.5)
    assert output().split() == ["a", "b", "c"], output()
    # The file followed shrinks, is replaced by a new file, by a FIFO and by a file again.
    craft("s", 1, counter=1, records=[f"old {n}" for n in range(20)])
    with following(["-d", "s", "-c", "1", "--counter"], status=1) as (follower, output):
        wait_for(lambda: "old 19" in output(), "the first records")
        os.truncate("s/LogFile_1_0001.log", 100)
        for step in ("shrunk", "fifo", "new"):
            time.sleep(0.2)
            os.remove("s/LogFile_1_0001.log")
            if step == "fifo":
                os.mkfifo("s/LogFile_1_0001.log")
            else:
                craft("s", 1, counter=2, records=[f"{step} {n}" for n in range(3)])
                wait_for(lambda: f"{step} 2" in output(), step)
    assert b"a FIFO" in follower.stderr.read(), "no report of the FIFO"


def case_hostile_files():
    # Folder contents named like ring files that are not ring files: a clear report, exit 1,
    # never a hang; the good file is still printed.
    root = os.geteuid() == 0
    rows = [  # (name, make file 2, words, cat's status)
        ("fifo", os.mkfifo, "a FIFO", 1),
        ("directory", os.mkdir, "a directory", 1),
        ("dangling link", lambda p: os.symlink("nowhere", p), "a symbolic link to nothing", 1),
        ("link loop", lambda p: os.symlink(os.path.basename(p), p), "a loop of symbolic links", 1),
        ("sparse", lambda p: open(p, "wb").truncate(5 << 30), "larger than any file of a ring", 1),
        ("unreadable", lambda p: (open(p, "wb").write(utf16("x")), os.chmod(p, 0)),
         "Permission denied", 1),
        ("odd length", lambda p: open(p, "wb").write(utf16(f"{stamp(5)}2 1 1") + b"odd"),
         "torn tail", 0),
        ("garbage", lambda p: open(p, "wb").write(bytes(range(256)) * 9), "no counter line", 0),
    ]
    if root:
        rows.append(("device", lambda p: os.mknod(p, 0o600 | stat.S_IFCHR, os.makedev(1, 3)),
                     "a character device", 1))
    # Root obeys the permission bits only without the capabilities that override them.
    prefix = ["setpriv", "--bounding-set", "-dac_override,-dac_read_search"] if root else []
    for number, (name, make, words, cat_status) in enumerate(rows):
        craft(f"h{number}", 1, counter=1, records=["good"])
        make(f"h{number}/LogFile_1_0002.log")
        for command, status in (("cat", cat_status), ("verify", 1)):
            result = run([command, "-d", f"h{number}", "--counter"], prefix=prefix)
            text = result.stdout + result.stderr
            assert (result.returncode == status and (words.encode() in text or status == 0)
                    and (command == "verify" or result.stdout.startswith(b"good\n"))), (
                f"{name} {command}: {result.returncode}, no '{words}' in {text[:300]}")


def case_hostile_writer():
    # A ring file's place held by what is not a regular file, or by a file the writer may not
    # write: `write` refuses it with its words and exit status 1 before anything is written; the
    # thing and what it points to stay as they were, nothing appears beside it, and no line goes
    # into a FIFO.
    open("victim", "wb").write(b"not the ring's")
    not_regular = "system error 222, the ring file is not a regular file"
    rows = [  # (name, make the ring's first file, words)
        ("link to a file", lambda p: os.symlink(os.path.abspath("victim"), p), not_regular),
        ("link to a device", lambda p: os.symlink("/dev/null", p), not_regular),
        ("dangling link", lambda p: os.symlink("nowhere", p), not_regular),
        ("fifo", os.mkfifo, not_regular),
        ("socket", lambda p: socket.socket(socket.AF_UNIX).bind(p), not_regular),
        ("directory", os.mkdir, not_regular),
        ("other owner", lambda p: [open(p, "wb").write(b"theirs"), os.chmod(p, 0o444),
                                   os.geteuid() == 0 and os.chown(p, 65534, 65534)],  # nobody's
         "system error 5, access denied"),
    ]
    for number, (name, make, words) in enumerate(rows):
        path = f"w{number}/LogFile_1_0001.log"
        os.mkdir(f"w{number}")
        make(path)
        seen = lambda: [(s.st_ino, s.st_mode, s.st_size, s.st_ctime_ns)
                        for s in (os.lstat(path), os.stat("victim"))] + [os.listdir(f"w{number}")]
        before, fifo = seen(), os.open(path, os.O_RDONLY | os.O_NONBLOCK) if name == "fifo" else None
        result = run(["write", "-d", f"w{number}"], b"line\n")
        assert (result.returncode == 1 and words.encode() in result.stderr and seen() == before
                and (fifo is None or os.read(fifo, 99) == b"")), f"{name}: {result.stderr}"


def case_manual_shipping_example():
    # The manual's command line that ships a ring to a syslog collector, run as written against
    # a listener on this machine.
    manual = open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../docs/cli.md"))
    line = next(text.strip() for text in manual if "| logger --tcp --server" in text)
    server = socket.create_server(("127.0.0.1", 0))
    server.settimeout(20)
    port = server.getsockname()[1]
    command = (line.replace("scrivlet ", TOOL + " ", 1)
               .replace(line.split("--folder ")[1].split()[0], "ship")
               .replace("logs.example.org --port 514", f"127.0.0.1 --port {port}"))
    assert run(["write", "-d", "ship"], b"pump 3 started\npump 3 stopped\n").returncode == 0
    shipper = subprocess.Popen(command, shell=True, start_new_session=True)
    try:
        connection = server.accept()[0]
        connection.settimeout(20)
        received = b""
        while received.count(b'"kind":"record"') < 2 and (chunk := connection.recv(4096)):
            received += chunk
        assert b'"text":"pump 3 started"' in received and b'"text":"pump 3 stopped"' in received, (
            received)
    finally:
        os.killpg(shipper.pid, signal.SIGKILL)
        shipper.wait()


def main(cases):
    with tempfile.TemporaryDirectory() as directory:
        os.chdir(directory)
        try:
            cases["case_" + sys.argv[2]]()
        finally:
            for process in STARTED:
                if process.poll() is None:
                    process.kill()
                    process.wait()
    print("passed:", sys.argv[2])


if __name__ == "__main__":
    main(globals())
