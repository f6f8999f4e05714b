#!/usr/bin/env python3
"""End-to-end cases of the `scrivlet` command-line host, one function case_<name> per behaviour.

Usage: cli_test.py <path of scrivlet> <name>. Each case runs in a fresh temporary directory and
fails with an assertion that says what differed. Every wait is bounded to seconds, and every
process a case starts is killed and reaped when the case ends (and dies with this script).
"""
import ctypes
import os
import pathlib
import signal
import subprocess
import sys
import tempfile
import time

TOOL = os.path.abspath(sys.argv[1])
CHILDREN = []


def die_with_parent():
    ctypes.CDLL(None).prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG


def run(args, data=b""):
    return subprocess.run([TOOL] + args, input=data, capture_output=True, timeout=20,
                          preexec_fn=die_with_parent)


def start(args, **streams):
    CHILDREN.append(subprocess.Popen([TOOL] + args, preexec_fn=die_with_parent, **streams))
    return CHILDREN[-1]


def start_writer(args):
    reader, writer = os.pipe()
    process = start(["write"] + args, stdin=reader, stderr=subprocess.PIPE)
    os.close(reader)
    return process, writer


def check(condition, message):
    if not condition:
        raise AssertionError(message)


def check_words(result, status, words, what):
    text = result.stdout + result.stderr
    check(result.returncode == status, f"{what}: status {result.returncode}, {text}")
    for word in words:
        check(word.encode() in text, f"{what}: no '{word}' in {text}")


def wait_for(condition, what, seconds=10):
    deadline = time.monotonic() + seconds
    while not condition():
        check(time.monotonic() < deadline, f"timed out waiting for {what}")
        time.sleep(0.025)


def numbers(count, start=1):
    return "".join(f"{n}\n" for n in range(start, start + count)).encode()


def text_records(*lines):
    return b"".join(f"{line}\r\n".encode("utf-16-le") for line in lines)


def craft(folder, number, counter=None, records=(), footer=None, ms=0):
    """A ring file as the library lays it out, written by hand."""
    stamp = lambda ms: f"2026.01.01 00:00:{ms // 1000:02d}.{ms % 1000:03d} "
    data = f"{stamp(ms)}{counter} 1 1\r\n".encode("utf-16-le") if counter is not None else b""
    data += text_records(*records)
    if footer is not None:
        data += f"{stamp(ms + 1)}{footer} 1 3\r\n".encode("utf-16-le")
    os.makedirs(folder, exist_ok=True)
    path = os.path.join(folder, f"LogFile_1_{number:04d}.log")
    pathlib.Path(path).write_bytes(data)
    return path


def read(path):
    return pathlib.Path(path).read_bytes()


def case_rotation_and_wrap():
    ring = ["-d", "logs/app", "-s", "1024", "-c", "3", "--counter", "--footer", "End"]
    result = run(["write"] + ring, numbers(2000))
    check(result.returncode == 0, result.stderr)
    files = sorted(os.listdir("logs/app"))
    check(files == [f"LogFile_1_000{n}.log" for n in (1, 2, 3)], files)
    check(all(os.path.getsize(f"logs/app/{f}") <= 1024 for f in files), "a file over the limit")
    # After the wrap the oldest file is not file 1; cat still gives an unbroken run ending at 2000.
    out = run(["cat"] + ring).stdout.decode().split()
    check(out == [str(n) for n in range(2001 - len(out), 2001)] and len(out) < 2000, out[:5])
    verify = run(["verify"] + ring)
    check(verify.returncode == 0, verify.stdout)
    check(b"were in files that the ring has overwritten" in verify.stdout, verify.stdout)
    lines = run(["cat", "--lines"] + ring).stdout.decode().splitlines()
    check(lines[0].endswith(" 1 1") and lines[-1].endswith(" End 1 3"), lines[:2] + lines[-2:])


def case_raw_bytes_exact():
    data = b"first \x00\xff\xfe line\r\n\x80 second\n\n" + bytes(range(11, 256)) + b"\nlast"
    check(run(["write", "--raw"], data).returncode == 0, "write --raw failed")
    check(read("LogFile_1_0001.log") == data, "the file does not hold exactly the bytes written")
    check(run(["cat", "--raw"]).stdout == data, "cat --raw changed the bytes")


def case_invalid_utf8():
    lines = ["ok \u00e9", "\ufffd bad", "\ufffd cut", "\ufffd\ufffd\ufffd surrogate"]
    check(run(["write"], b"ok \xc3\xa9\n\xff bad\n\xe2\x82 cut\n\xed\xa0\x80 surrogate\n")
          .returncode == 0, "write failed")
    check(read("LogFile_1_0001.log") == text_records(*lines), read("LogFile_1_0001.log"))
    check(run(["cat"]).stdout.decode() == "".join(line + "\n" for line in lines), "cat")


def case_long_lines_split():
    ring = ["-s", "688", "-c", "50", "--counter", "--header", "Head"]
    long_line = "x" * 1500 + "\U0001F600" * 300 + "y" * 333
    data = f"short\n{long_line}\nmiddle\n{long_line[::-1]}\nend\n".encode()
    result = run(["write"] + ring, data)
    check(result.returncode == 0, result.stderr)
    check(result.stderr.count(b"written as several records") == 1, result.stderr)
    check(run(["cat"] + ring).stdout == data, "the split lines did not come back whole")
    check(all(os.path.getsize(name) <= 688 for name in os.listdir(".")), "a file over the limit")
    check(run(["verify"] + ring).returncode == 0, "a split line was taken for a torn tail")


def case_order_of_files():
    # Numbered against their age, the same time stamps, modification times in the order of the
    # numbers: only the counters, across their wrap, give the order.
    for number, counter, record in ((1, 1, "c"), (2, 2, "d"), (3, 4294967294, "a"),
                                    (4, 4294967295, "b")):
        os.utime(craft("w", number, counter, [record]), ns=(0, number * 10**9))
    ring = ["-d", "w", "-c", "4"]
    check(run(["cat"] + ring).stdout == b"a\nb\nc\nd\n", run(["cat"] + ring).stdout)
    verify = run(["verify", "--json"] + ring)
    check(verify.returncode == 0 and b'"gaps":[]' in verify.stdout, verify.stdout)
    # Without counter lines the first time stamp decides; without those, modification time.
    for number, ms in ((1, 300), (2, 100), (3, 200)):
        craft("s", number, records=[f"at {ms}"], footer="End", ms=ms)
        os.utime(craft("m", number, records=[f"age {ms}"]), ns=(0, (10 - ms // 100) * 10**9))
    check(run(["cat", "-d", "s", "--footer", "End"]).stdout == b"at 100\nat 200\nat 300\n",
          "not ordered by first time stamp")
    check(run(["cat", "-d", "m"]).stdout == b"age 300\nage 200\nage 100\n", "not ordered by mtime")


def case_verify_findings():
    ring = ["-d", "v", "-c", "5", "--counter", "--footer", "End"]
    cases = [  # files as (counter, records, footer); whether the last file is cut; expected words
        ("clean", [(7, ["a"], "End"), (8, ["b"], "End")], False, ["ok: no problems"]),
        ("gap", [(7, ["a"], "End"), (9, ["b"], "End")], False, ["from 7 to 9: 1 file(s) missing"]),
        ("restart", [(7, ["a"], "End"), (1, ["b"], "End")], False, ["starts again at 1 after 7"]),
        ("torn", [(7, ["a"], "End"), (8, ["b", "c"], None)], True,
         ["torn tail: ends inside a record", "not closed in an orderly way"]),
        ("torn line", [(7, ["a"], "End"), (8, [], None)], True, ["ends inside a library line"]),
    ]
    for name, files, cut, words in cases:
        for old in os.listdir("v") if os.path.isdir("v") else []:
            os.remove(os.path.join("v", old))
        paths = [craft("v", n + 1, *f, ms=10 * n) for n, f in enumerate(files)]
        if cut:
            os.truncate(paths[-1], os.path.getsize(paths[-1]) - 3)
        check_words(run(["verify"] + ring), int(name != "clean"), words, name)


def case_failures():
    os.makedirs("blocked")
    open("blocked/file", "w").close()
    cases = [
        (["write", "-c", "0"], 1, ["the file count is too small", "value: 0"]),
        (["check", "--header", "h" * 70], 1, ["header text is too long", "value: 70"]),
        (["write", "-d", "blocked/file/sub"], 1, ["creating the folder", "error 3: path not found"]),
        (["write", "-s", "99999999999"], 2, ["--size"]),
        (["check", "-d", "a/b", "-c", "7"], 0, ["ok", "a/b/LogFile_1_0001.log to a/b/LogFile_1_0007"]),
    ]
    for args, status, words in cases:
        check_words(run(args, b"line\n"), status, words, args)
    check(not os.path.exists("LogFile_1_0001.log"), "a refused configuration created a file")


def case_second_writer():
    first, pipe = start_writer(["--footer", "End"])
    os.write(pipe, b"kept\n")
    wait_for(lambda: run(["cat", "--footer", "End"]).stdout == b"kept\n", "the first record")
    second = run(["write", "--footer", "End"], b"intruder\n")
    check(second.returncode == 1, second.stderr)
    check(b"sharing violation" in second.stderr and b"opening the next file" in second.stderr,
          second.stderr)
    os.close(pipe)
    check(first.wait(timeout=10) == 0, first.stderr.read())
    check(run(["cat", "--footer", "End"]).stdout == b"kept\n", "the first writer's file changed")


def case_signal_closes_ring():
    for sig in (signal.SIGTERM, signal.SIGINT):
        process, pipe = start_writer(["--footer", "Stopped"])
        os.write(pipe, b"before the signal\n")
        wait_for(lambda: os.path.exists("LogFile_1_0001.log")
                 and os.path.getsize("LogFile_1_0001.log") > 0, "the record")
        process.send_signal(sig)
        check(process.wait(timeout=10) == 128 + sig, f"exit status for {sig}")
        os.close(pipe)
        stored = read("LogFile_1_0001.log")
        check(stored.startswith(text_records("before the signal")), stored)
        check(stored.endswith(" Stopped 1 3\r\n".encode("utf-16-le")), "no footer after the signal")
        os.remove("LogFile_1_0001.log")


def follow(ring):
    return start(["cat", "--follow", "--interval", "0.02"] + ring, stdout=open("follow.out", "wb"))


def followed():
    return read("follow.out").decode().split()


def stop(follower):
    follower.send_signal(signal.SIGINT)
    check(follower.wait(timeout=10) == 0, "follow did not stop on SIGINT")
    return followed()


def case_follow():
    ring = ["-d", "f", "-s", "1024", "-c", "3", "--counter", "--footer", "End"]
    check(run(["write"] + ring, numbers(50)).returncode == 0, "first write")
    follower = follow(ring)
    wait_for(lambda: followed()[-1:] == ["50"], "the records so far")
    writer, pipe = start_writer(ring)  # a new writer: starts again at file 1
    # Paced so that one round of the ring takes over a second: a follower that falls a whole ring
    # behind (a loaded machine, a sanitizer build) would miss records by the ring's nature.
    for n in range(51, 651):
        os.write(pipe, f"{n}\n".encode())
        if n % 10 == 0:
            time.sleep(0.05)
    os.close(pipe)
    check(writer.wait(timeout=20) == 0, writer.stderr.read())
    wait_for(lambda: followed()[-1:] == ["650"], "the last record")
    seen = stop(follower)
    check(seen == [str(n) for n in range(1, 651)], f"{len(seen)} records, last {seen[-3:]}")


def case_follow_trusts_counters():
    # The current file looks older than the next one by modification time (as a file being
    # replaced does for a moment); its counter line says it is the newest, so nothing repeats.
    craft("f", 1, 4, ["a"], "End", ms=0)
    craft("f", 2, 5, ["b"], "End", ms=10)
    later = os.path.getmtime(craft("f", 3, 6, ["c"], ms=20)) + 100
    os.utime("f/LogFile_1_0001.log", (later, later))
    follower = follow(["-d", "f", "-c", "3", "--counter", "--footer", "End"])
    wait_for(lambda: "c" in followed(), "the records so far")
    time.sleep(0.5)
    check(stop(follower) == ["a", "b", "c"], followed())


def case_help_and_version():
    for command in ("write", "cat", "verify", "check"):
        result = run([command, "--help"])
        check(result.returncode == 0 and b"--folder" in result.stdout, f"{command}: {result}")
    check(b"library interface version 5" in run(["--version"]).stdout, "--version")
    check(run([]).returncode == 2, "no command is a usage error")


if __name__ == "__main__":
    with tempfile.TemporaryDirectory() as directory:
        os.chdir(directory)
        try:
            globals()["case_" + sys.argv[2]]()
        finally:
            for child in CHILDREN:
                child.kill()
                child.wait(timeout=10)
    print("passed:", sys.argv[2])
