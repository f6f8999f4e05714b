#!/usr/bin/env python3
"""End-to-end cases of the `scrivlet` command-line host.

Usage: cli_test.py <path of scrivlet> <case>. Each case runs in a fresh temporary directory and
fails with an assertion that says what differed.
"""
import datetime
import fcntl
import json
import os
import pty
import signal
import socket
import stat
import struct
import subprocess
import sys
import tempfile
import termios
import time

TOOL = os.path.abspath(sys.argv[1])
STARTED = []  # every process a case starts; those still running at its end are killed


def spawn(args, **kwargs):
    process = subprocess.Popen([TOOL] + args, **kwargs)
    STARTED.append(process)
    return process


def run(args, data=b"", cwd=None, timeout=60, prefix=()):
    return subprocess.run(list(prefix) + [TOOL] + args, input=data, capture_output=True, cwd=cwd,
                          timeout=timeout)


def numbers(count, start=1):
    return "".join(f"{n}\n" for n in range(start, start + count)).encode()


def stamp(ms):
    return f"2026.01.01 00:00:{ms // 1000:02d}.{ms % 1000:03d} "


def library_line(text):
    return text.encode("utf-16-le")


def craft(folder, number, counter=None, records=b"", footer=None, ms=0):
    """A ring file as the library lays it out, written by hand."""
    os.makedirs(folder, exist_ok=True)
    data = b""
    if counter is not None:
        data += library_line(f"{stamp(ms)}{counter} 1 1\r\n")
    data += records
    if footer is not None:
        data += library_line(f"{stamp(ms + 1)}{footer} 1 3\r\n")
    path = os.path.join(folder, f"LogFile_1_{number:04d}.log")
    with open(path, "wb") as f:
        f.write(data)
    return path


def text_records(*lines):
    return b"".join(f"{line}\r\n".encode("utf-16-le") for line in lines)


def check(condition, message):
    if not condition:
        raise AssertionError(message)


def case_rotation_and_wrap():
    ring = ["-d", "logs/app", "-s", "1024", "-c", "3", "--counter", "--footer", "End"]
    result = run(["write"] + ring, numbers(2000))
    check(result.returncode == 0, result.stderr)
    files = sorted(os.listdir("logs/app"))
    check(files == ["LogFile_1_0001.log", "LogFile_1_0002.log", "LogFile_1_0003.log"], files)
    check(all(os.path.getsize(f"logs/app/{f}") <= 1024 for f in files), "a file over the limit")
    # After the wrap the oldest file is not file 1; cat still gives an unbroken run ending at 2000.
    out = run(["cat"] + ring).stdout.decode().split()
    check(out == [str(n) for n in range(2001 - len(out), 2001)], out[:5] + out[-5:])
    check(len(out) < 2000, "the ring did not wrap")
    verify = run(["verify"] + ring)
    check(verify.returncode == 0, verify.stdout)
    check(b"were in files that the ring has overwritten" in verify.stdout, verify.stdout)
    lines = run(["cat", "--lines"] + ring).stdout.decode().splitlines()
    check(lines[0].endswith(" 1 1") and lines[-1].endswith(" End 1 3"), lines[:2] + lines[-2:])


def case_round_trip():
    # Lines through the pipe in bursts of many sizes, so that groups of every size meet rotations;
    # the files hold exactly the records, no line is split across files, and cat gives them back.
    raw = b"first \x00\xff\xfe line\r\n\x80 second\n\n" + bytes(range(11, 256)) + b"\n"
    lines = b"".join(b"%d %s\n" % (n, b"x" * (n % 97)) for n in range(3000)) + b"last"
    text = b"ok \xc3\xa9 \xf0\x9f\x98\x80\n\xff bad\n\xe2\x82 cut\n\xed\xa0\x80 surrogate\n"
    table = [  # (options, input, the text cat prints)
        (["--raw"], raw + lines, None),
        ([], lines, lines.decode() + "\n"),
        ([], text,
         "ok \u00e9 \U0001F600\n\ufffd bad\n\ufffd cut\n\ufffd\ufffd\ufffd surrogate\n"),
    ]
    for number, (options, data, printed) in enumerate(table):
        ring = ["-d", f"r{number}", "-s", "4096", "-c", "200"] + options
        writer, pipe = start_writer(ring)
        for at, size in enumerate_bursts(len(data)):
            os.write(pipe, data[at:at + size])
            time.sleep(0.002 * (size % 3))
        os.close(pipe)
        check(writer.wait(timeout=60) == 0, writer.stderr.read())
        names = sorted(os.listdir(f"r{number}"))
        stored = [open(f"r{number}/{name}", "rb").read() for name in names]
        check(all(len(f) <= 4096 for f in stored) and (len(stored) > 3 or len(data) < 4096),
              [len(f) for f in stored])
        if "--raw" in options:
            check(b"".join(stored) == data, f"{number}: the files do not hold the bytes written")
            check(all(f.endswith(b"\n") for f in stored[:-1]), f"{number}: a line split")
            check(run(["cat"] + ring).stdout == data, f"{number}: cat --raw changed the bytes")
        else:
            check(all(f.endswith("\r\n".encode("utf-16-le")) for f in stored), "a line split")
            out = run(["cat"] + ring).stdout.decode()
            check(out == printed, f"{number}: {out[:80]!r} against {printed[:80]!r}")
        # A raw last line without its LF is a torn tail to verify.
        check(run(["verify"] + ring).returncode == ("--raw" in options), f"{number}: verify")


def enumerate_bursts(total):
    at, size = 0, 1
    while at < total:
        yield at, size
        at += size
        size = size * 7 % 50021 + 1


def case_long_lines_split():
    ring = ["-s", "688", "-c", "50", "--counter", "--header", "Head"]
    long_line = "x" * 1500 + "\U0001F600" * 300 + "y" * 333
    data = f"short\n{long_line}\nmiddle\n{long_line[::-1]}\nend\n".encode()
    result = run(["write"] + ring, data)
    check(result.returncode == 0, result.stderr)
    check(result.stderr.count(b"written as several records") == 1, result.stderr)
    check(run(["cat"] + ring).stdout == data, "the split lines did not come back whole")
    for name in os.listdir("."):
        check(os.path.getsize(name) <= 688, f"{name} is over the limit")
    check(run(["verify"] + ring).returncode == 0, "a split line was taken for a torn tail")


def case_counter_wrap_order():
    # Numbered against their age, same time stamps, modification times reversed: only the
    # counters, across their wrap, give the order.
    craft("w", 1, counter=1, records=text_records("c"))
    craft("w", 2, counter=2, records=text_records("d"))
    craft("w", 3, counter=4294967294, records=text_records("a"))
    craft("w", 4, counter=4294967295, records=text_records("b"))
    for number in range(1, 5):
        os.utime(f"w/LogFile_1_{number:04d}.log", ns=(0, (10 - number) * 10**9))
    ring = ["-d", "w", "-c", "4"]
    check(run(["cat"] + ring).stdout == b"a\nb\nc\nd\n", run(["cat"] + ring).stdout)
    verify = run(["verify", "--json"] + ring)
    check(verify.returncode == 0 and b'"gaps":[]' in verify.stdout, verify.stdout)
    # Without counter lines the first time stamp decides; without those, modification time.
    for number, ms in ((1, 300), (2, 100), (3, 200)):
        craft("s", number, records=text_records(f"at {ms}"), footer="End", ms=ms)
    check(run(["cat", "-d", "s", "--footer", "End"]).stdout == b"at 100\nat 200\nat 300\n",
          "not ordered by first time stamp")
    for number, age in ((1, 2), (2, 3), (3, 1)):
        craft("m", number, records=text_records(f"age {age}"))
        os.utime(f"m/LogFile_1_{number:04d}.log", ns=(0, (10 - age) * 10**9))
    check(run(["cat", "-d", "m"]).stdout == b"age 3\nage 2\nage 1\n", "not ordered by mtime")


def case_verify_findings():
    ring = ["-d", "v", "-c", "5", "--counter", "--footer", "End"]
    cases = [
        # (files as (number, counter, records, footer), extra step, exit status, expected words)
        ("clean", [(1, 7, ["a"], "End"), (2, 8, ["b"], "End")], None, 0, ["ok: no problems"]),
        ("gap", [(1, 7, ["a"], "End"), (2, 9, ["b"], "End")], None, 1,
         ["jumps from 7 to 9: 1 file(s) missing"]),
        ("restart", [(1, 7, ["a"], "End"), (2, 1, ["b"], "End")], None, 1,
         ["starts again at 1 after 7"]),
        ("torn", [(1, 7, ["a"], "End"), (2, 8, ["b", "c"], None)], "cut", 1,
         ["torn tail: ends inside a record", "not closed in an orderly way"]),
        ("torn line", [(1, 7, ["a"], "End"), (2, 8, [], None)], "cut", 1,
         ["ends inside a library line"]),
    ]
    for name, files, step, status, words in cases:
        for old in os.listdir("v") if os.path.isdir("v") else []:
            os.remove(os.path.join("v", old))
        paths = [craft("v", n, counter=c, records=text_records(*r), footer=f, ms=10 * n)
                 for n, c, r, f in files]
        if step == "cut":
            os.truncate(paths[-1], os.path.getsize(paths[-1]) - 3)
        result = run(["verify"] + ring)
        check(result.returncode == status, f"{name}: {result.stdout}")
        for word in words:
            check(word.encode() in result.stdout, f"{name}: no '{word}' in {result.stdout}")


def case_failures():
    os.makedirs("blocked")
    open("blocked/file", "w").close()
    cases = [
        (["write", "-c", "0"], 1, ["the file count is too small: 0 (file count; at least 1)"]),
        (["write", "-s", "104857601"], 1, ["file size is too large: 104857601"]),
        (["check", "--header", "h" * 70], 1, ["header text is too long: 70 "]),
        (["write", "-d", "blocked/file/sub"], 1, ["creating the folder", "system error 3, path not found"]),
        (["write", "-s", "99999999999"], 2, ["--size"]),
        (["write", "--no-such-option"], 2, ["no-such-option"]),
        (["check", "-d", "a/b", "-c", "7"], 0, ["ok", "a/b/LogFile_1_0007.log"]),
    ]
    for args, status, words in cases:
        result = run(args, b"line\n")
        text = result.stdout + result.stderr
        check(result.returncode == status, f"{args}: {result.returncode} {text}")
        for word in words:
            check(word.encode() in text, f"{args}: no '{word}' in {text}")
    check(not os.path.exists("LogFile_1_0001.log"), "a refused configuration created a file")


def start_writer(args):
    reader, writer = os.pipe()
    process = spawn(["write"] + args, stdin=reader, stderr=subprocess.PIPE)
    os.close(reader)
    return process, writer


def wait_for(condition, what):
    for _ in range(400):
        if condition():
            return
        time.sleep(0.025)
    raise AssertionError(f"timed out waiting for {what}")


def case_second_writer():
    first, pipe = start_writer(["--footer", "End"])
    os.write(pipe, b"kept\n")
    wait_for(lambda: run(["cat", "--footer", "End"]).stdout == b"kept\n", "the first record")
    second = run(["write", "--footer", "End"], b"intruder\n")
    check(second.returncode == 1, second.stderr)
    check(b"sharing violation" in second.stderr and b"opening the next file" in second.stderr,
          second.stderr)
    os.close(pipe)
    check(first.wait(timeout=60) == 0, first.stderr.read())
    check(run(["cat", "--footer", "End"]).stdout == b"kept\n", "the first writer's file changed")


def case_signal_closes_ring():
    for sig, status in ((signal.SIGTERM, 128 + 15), (signal.SIGINT, 128 + 2)):
        if os.path.exists("LogFile_1_0001.log"):
            os.remove("LogFile_1_0001.log")
        process, pipe = start_writer(["--footer", "Stopped"])
        os.write(pipe, b"before the signal\n")
        wait_for(lambda: os.path.exists("LogFile_1_0001.log")
                 and os.path.getsize("LogFile_1_0001.log") > 0, "the record")
        process.send_signal(sig)
        check(process.wait(timeout=60) == status, f"exit status for {sig}")
        os.close(pipe)
        with open("LogFile_1_0001.log", "rb") as f:
            stored = f.read()
        check(stored.startswith(text_records("before the signal")), stored)
        check(stored.endswith(" Stopped 1 3\r\n".encode("utf-16-le")), "no footer after the signal")


def case_follow():
    ring = ["-d", "f", "-s", "1024", "-c", "3", "--counter", "--footer", "End"]
    check(run(["write"] + ring, numbers(50)).returncode == 0, "first write")
    with open("follow.out", "wb") as out:
        follower = spawn(["cat", "--follow", "--interval", "0.02"] + ring,
                                    stdout=out)
        wait_for(lambda: open("follow.out").read().split()[-1:] == ["50"], "the records so far")
        writer, pipe = start_writer(ring)  # a new writer: starts again at file 1
        # Paced so that one round of the ring takes over a second: a follower that falls a whole
        # ring behind (a loaded machine, a sanitizer build) would miss records by the ring's nature.
        for n in range(51, 651):
            os.write(pipe, f"{n}\n".encode())
            if n % 10 == 0:
                time.sleep(0.05)
        os.close(pipe)
        check(writer.wait(timeout=120) == 0, writer.stderr.read())
        expected = [str(n) for n in range(1, 651)]
        wait_for(lambda: open("follow.out").read().split()[-1:] == ["650"], "the last record")
        follower.send_signal(signal.SIGINT)
        check(follower.wait(timeout=60) == 0, "follow did not stop on SIGINT")
    seen = open("follow.out").read().split()
    check(seen == expected, f"{len(seen)} records, first {seen[:3]}, last {seen[-3:]}")


def case_follow_trusts_counters():
    # The current file looks older than the next one by modification time (as a file being
    # replaced does for a moment); its counter line says it is the newest, so nothing repeats.
    craft("f", 1, counter=4, records=text_records("a"), footer="End", ms=0)
    craft("f", 2, counter=5, records=text_records("b"), footer="End", ms=10)
    current = craft("f", 3, counter=6, records=text_records("c"), ms=20)
    later = os.path.getmtime(current) + 100
    os.utime("f/LogFile_1_0001.log", (later, later))
    ring = ["-d", "f", "-c", "3", "--counter", "--footer", "End"]
    with open("follow.out", "wb") as out:
        follower = spawn(["cat", "--follow", "--interval", "0.02"] + ring,
                                    stdout=out)
        wait_for(lambda: "c" in open("follow.out").read().split(), "the records so far")
        time.sleep(0.5)
        follower.send_signal(signal.SIGINT)
        check(follower.wait(timeout=60) == 0, "follow did not stop on SIGINT")
    seen = open("follow.out").read().split()
    check(seen == ["a", "b", "c"], seen)


def pipe_holds(fd):
    return struct.unpack("i", fcntl.ioctl(fd, termios.FIONREAD, b"\0\0\0\0"))[0]


def case_kill_loses_no_acknowledged_group():
    # The writer reads again only once the group it holds is on the storage: when the pipe has
    # drained after batch k + 1, batch k is acknowledged, and a SIGKILL must not lose it.
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
        writer.wait(timeout=60)
        os.close(pipe)
        names = sorted(os.listdir(folder))
        stored = b"".join(open(f"{folder}/{name}", "rb").read() for name in names)
        acknowledged = b"".join(batches[:-1])
        check(stored.startswith(acknowledged), f"round {round_}: an acknowledged line is lost")
        check(batches[-1].startswith(stored[len(acknowledged):]), f"round {round_}: stray bytes")


def iso(stamp_text, shift_ms=0):
    moment = datetime.datetime.strptime(stamp_text, "%Y.%m.%d %H:%M:%S.%f")
    return (moment + datetime.timedelta(milliseconds=shift_ms)).isoformat(timespec="milliseconds")


def case_time_range():
    # A stamped ring written in three reads: every line starts with the library's stamp, one
    # stamp per read, and --since/--until keep a read by its stamp, boundaries included.
    ring = ["-d", "t", "--counter", "-s", "2048", "-c", "50"]
    writer, pipe = start_writer(ring + ["--stamp"])
    for burst in range(3):
        os.write(pipe, b"".join(b"b%d n%d\n" % (burst, i) for i in range(30)))
        wait_for(lambda: pipe_holds(pipe) == 0, "the pipe to drain")
        time.sleep(0.05)
    os.close(pipe)
    check(writer.wait(timeout=60) == 0, writer.stderr.read())
    records = [json.loads(line) for line in run(["cat", "--json"] + ring).stdout.splitlines()]
    check(len(records) == 90, len(records))
    for record in records:
        check(record["text"] == record["stamp"] + " " + record["text"][24:], record)
    stamps = sorted({r["stamp"] for r in records})
    check(len(stamps) == 3, stamps)
    middle = stamps[1]

    def bursts(*args):
        out = run(["cat"] + ring + list(args)).stdout.decode().splitlines()
        return sorted({line[24:26] for line in out})

    check(bursts("--since", iso(middle), "--until", iso(middle)) == ["b1"], "the middle read")
    check(bursts("--since", iso(middle, 1)) == ["b2"], "--since is inclusive and exact")
    check(bursts("--until", iso(middle, -1)) == ["b0"], "--until is inclusive and exact")
    check(bursts("--since", "-1d") == ["b0", "b1", "b2"] and bursts("--until", "-1d") == [],
          "relative times")
    # Unstamped records go by the time their file was open: from its counter line to its
    # footer, or to the next file's counter line.
    craft("u", 1, counter=1, records=text_records("a"), footer="End", ms=0)
    craft("u", 2, counter=2, records=text_records("b"), ms=2000)
    craft("u", 3, counter=3, records=text_records("c"), ms=4000)
    for since, until, kept in (("2026-01-01T00:00:01.500", "", b"b\nc\n"),
                               ("", "2026-01-01 00:00:03.999", b"a\nb\n"),
                               ("2026.01.01 00:00:00.001", "2026-01-01 00:00:04", b"a\nb\nc\n")):
        args = ["cat", "-d", "u", "-c", "3", "--footer", "End"]
        args += ["--since", since] if since else []
        args += ["--until", until] if until else []
        check(run(args).stdout == kept, f"{since}..{until}: {run(args).stdout}")
    bad = run(["cat", "-d", "u", "--since", "yesterday"])
    check(bad.returncode == 2 and b"2026-12-05 19:47" in bad.stderr, bad.stderr)


def case_json():
    lines = ['plain', 'quote " and \\ backslash', 'tab\tand \x01 control', 'caf\u00e9 \U0001F600',
             '{"looks": "like json"}']
    data = "".join(line + "\n" for line in lines).encode()
    for options, expected in (([], lines), (["--raw"], lines + ["bad \ufffd byte"])):
        ring = ["-d", f"j{len(options)}", "--counter", "-s", "1024", "-c", "9"] + options
        extra = b"bad \xff byte\n" if options else b""
        check(run(["write"] + ring, data * 20 + extra).returncode == 0, "write")
        records = [json.loads(line) for line in run(["cat", "--json"] + ring).stdout.splitlines()]
        check([r["text"] for r in records] == lines * 20 + expected[len(lines):],
              [r["text"] for r in records][:6])
        check(records[0]["file"] == 1 and records[0]["counter"] == 1, records[0])
        check(records[-1]["file"] > 1 and records[-1]["counter"] == records[-1]["file"], records[-1])
    verify = json.loads(run(["verify", "--json", "-d", "j0", "-c", "9", "--counter"]).stdout)
    check(verify["ok"] and len(verify["files"]) > 1 and verify["order"] == "counter", verify)
    with open("follow.out", "wb") as out:
        follower = spawn(["cat", "--json", "--follow", "--interval", "0.02",
                                     "-d", "jf"], stdout=out)
        time.sleep(0.3)
        check(run(["write", "-d", "jf"], data).returncode == 0, "write while following")
        wait_for(lambda: open("follow.out").read().count("\n") == len(lines), "the records")
        follower.send_signal(signal.SIGINT)
        check(follower.wait(timeout=60) == 0, "follow --json did not stop")
    followed = [json.loads(line)["text"] for line in open("follow.out")]
    check(followed == lines, followed)


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
        ("unreadable", lambda p: (open(p, "wb").write(text_records("x")), os.chmod(p, 0)),
         "Permission denied", 1),
        ("odd length", lambda p: open(p, "wb").write(library_line(f"{stamp(5)}2 1 1\r\n") + b"odd"),
         "torn tail", 0),
        ("garbage", lambda p: open(p, "wb").write(bytes(range(256)) * 9), "no counter line", 0),
    ]
    if root:
        rows.append(("device", lambda p: os.mknod(p, 0o600 | stat.S_IFCHR, os.makedev(1, 3)),
                     "a character device", 1))
    # Root obeys the permission bits only without the capabilities that override them.
    prefix = ["setpriv", "--bounding-set", "-dac_override,-dac_read_search"] if root else []
    for name, make, words, cat_status in rows:
        subprocess.run(["rm", "-rf", "h"], check=True)
        craft("h", 1, counter=1, records=text_records("good"))
        make("h/LogFile_1_0002.log")
        for command, status in (("cat", cat_status), ("verify", 1)):
            result = run([command, "-d", "h", "--counter"], timeout=20, prefix=prefix)
            text = result.stdout + result.stderr
            check(result.returncode == status, f"{name} {command}: {result.returncode} {text[:300]}")
            check(words.encode() in text or status == 0,
                  f"{name} {command}: no '{words}' in {text[:300]}")
            if command == "cat":
                check(result.stdout.startswith(b"good\n"), f"{name}: {result.stdout[:60]}")
    # No ring at all: what was looked for and what was found instead.
    craft("other", 3, records=text_records("x"))
    os.rename("other/LogFile_1_0003.log", "other/app_0003.log")
    open("other/notes.txt", "w").close()
    for command in ("cat", "verify"):
        result = run([command, "-d", "other"])
        check(result.returncode == 1 and b"no file other/LogFile_1_NNNN.log" in result.stderr
              and b"found instead: app_0003.log (1 file(s): --name app)" in result.stderr
              and b"notes.txt" in result.stderr, result.stderr)
    check(b"does not exist" in run(["verify", "-d", "missing"]).stderr, "a missing folder")


def case_follow_survives_changes():
    # The file being followed shrinks, is replaced by a new file, by a FIFO and by a file again.
    craft("c", 1, counter=1, records=text_records(*[f"old {n}" for n in range(20)]))
    ring = ["-d", "c", "-c", "1", "--counter"]
    with open("follow.out", "wb") as out:
        follower = spawn(["cat", "--follow", "--interval", "0.02"] + ring,
                                    stdout=out, stderr=subprocess.PIPE)
        wait_for(lambda: "old 19" in open("follow.out").read(), "the first records")
        os.truncate("c/LogFile_1_0001.log", 100)
        time.sleep(0.2)
        for step, make in (("shrunk", None), ("fifo", os.mkfifo), ("new", None)):
            path = "c/LogFile_1_0001.log"
            os.remove(path)
            if make:
                make(path)
                time.sleep(0.2)
                continue
            craft("c", 1, counter=2, records=text_records(*(f"{step} {n}" for n in range(3))))
            wait_for(lambda: f"{step} 2" in open("follow.out").read(), step)
        follower.send_signal(signal.SIGINT)
        check(follower.wait(timeout=10) == 1, "follow did not stop, or said nothing of the FIFO")
        check(b"a FIFO" in follower.stderr.read(), "no report of the FIFO")


def case_progress_on_a_terminal():
    for options, shown in (([], True), (["--quiet"], False)):
        master, slave = pty.openpty()
        writer = spawn(["write", "-d", "p"] + options, stdin=subprocess.PIPE,
                                  stderr=slave)
        os.close(slave)
        for n in range(8):
            writer.stdin.write(numbers(500, n * 500))
            writer.stdin.flush()
            time.sleep(0.1)
        writer.stdin.close()
        check(writer.wait(timeout=60) == 0, "write on a terminal")
        screen = b""
        while True:
            try:
                chunk = os.read(master, 4096)
            except OSError:
                break
            if not chunk:
                break
            screen += chunk
        os.close(master)
        check((b"lines/s" in screen and b"p/LogFile_1_0001.log" in screen) == shown, screen)


def case_readme_shipping_example():
    # The README's command line that ships a ring to a syslog collector, run as written against
    # a listener on this machine.
    readme = open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../README.md"))
    line = next(text.strip() for text in readme if "| logger --tcp" in text)
    server = socket.create_server(("127.0.0.1", 0))
    folder = line.split("--folder ")[1].split()[0]
    command = (line.replace("scrivlet ", TOOL + " ", 1).replace(folder, "ship")
               .replace("logs.example.org", "127.0.0.1")
               .replace("--port 514", f"--port {server.getsockname()[1]}"))
    check(run(["write", "-d", "ship"], b"pump 3 started\npump 3 stopped\n").returncode == 0, "write")
    shipper = subprocess.Popen(command, shell=True, start_new_session=True)
    try:
        server.settimeout(20)
        connection, _ = server.accept()
        connection.settimeout(20)
        received = b""
        while received.count(b'"kind":"record"') < 2:
            received += connection.recv(4096)
        check(b'"text":"pump 3 started"' in received and b'"text":"pump 3 stopped"' in received,
              received)
    finally:
        os.killpg(shipper.pid, signal.SIGKILL)
        shipper.wait()


def case_help_and_version():
    for args in (["--help"], ["write", "--help"], ["cat", "--help"], ["verify", "--help"],
                 ["check", "--help"]):
        result = run(args)
        check(result.returncode == 0 and b"--folder" in result.stdout or args == ["--help"],
              f"{args}: {result.stdout}")
        check(result.returncode == 0 and b"Usage" in result.stdout, f"{args}: {result.stdout}")
    version = run(["--version"])
    check(version.returncode == 0 and b"library interface version 5" in version.stdout,
          version.stdout)
    check(run([]).returncode == 2, "no command is a usage error")


if __name__ == "__main__":
    with tempfile.TemporaryDirectory() as directory:
        os.chdir(directory)
        try:
            globals()["case_" + sys.argv[2]]()
        finally:
            for process in STARTED:
                if process.poll() is None:
                    process.kill()
                    process.wait()
    print("passed:", sys.argv[2])
