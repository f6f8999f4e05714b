#!/usr/bin/env python3
"""End-to-end cases of the `scrivlet` command-line host.

Usage: cli_test.py <path of scrivlet> <case>. Each case runs in a fresh temporary directory and
fails with an assertion that says what differed.
"""
import os
import signal
import subprocess
import sys
import tempfile
import time

TOOL = os.path.abspath(sys.argv[1])


def run(args, data=b"", cwd=None):
    return subprocess.run([TOOL] + args, input=data, capture_output=True, cwd=cwd, timeout=240)


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


def case_raw_bytes_exact():
    data = b"first \x00\xff\xfe line\r\n\x80 second\n\n" + bytes(range(256)).replace(b"\n", b"") + b"\nlast"
    result = run(["write", "--raw"], data)
    check(result.returncode == 0, result.stderr)
    with open("LogFile_1_0001.log", "rb") as f:
        check(f.read() == data, "the file does not hold exactly the bytes written")
    check(run(["cat", "--raw"]).stdout == data, "cat --raw changed the bytes")


def case_invalid_utf8():
    data = b"ok \xc3\xa9\n\xff bad\n\xe2\x82 cut\n\xed\xa0\x80 surrogate\n"
    result = run(["write"], data)
    check(result.returncode == 0, result.stderr)
    expected = text_records("ok \u00e9", "\ufffd bad", "\ufffd cut", "\ufffd\ufffd\ufffd surrogate")
    with open("LogFile_1_0001.log", "rb") as f:
        stored = f.read()
    check(stored == expected, stored)
    check(run(["cat"]).stdout.decode() == "ok \u00e9\n\ufffd bad\n\ufffd cut\n\ufffd\ufffd\ufffd surrogate\n",
          "cat did not decode the records")


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
    process = subprocess.Popen([TOOL, "write"] + args, stdin=reader, stderr=subprocess.PIPE)
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
        follower = subprocess.Popen([TOOL, "cat", "--follow", "--interval", "0.02"] + ring,
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
        follower = subprocess.Popen([TOOL, "cat", "--follow", "--interval", "0.02"] + ring,
                                    stdout=out)
        wait_for(lambda: "c" in open("follow.out").read().split(), "the records so far")
        time.sleep(0.5)
        follower.send_signal(signal.SIGINT)
        check(follower.wait(timeout=60) == 0, "follow did not stop on SIGINT")
    seen = open("follow.out").read().split()
    check(seen == ["a", "b", "c"], seen)


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
        globals()["case_" + sys.argv[2]]()
    print("passed:", sys.argv[2])
