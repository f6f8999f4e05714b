#!/usr/bin/env python3
# The pipe host against a model of what must come out, and `cat` when the folder changes under it.
#
# Usage: differential_test.py <path of scrivlet> <case> [seed]. The differential case sends random
# input through `scrivlet write` and reads it back through `scrivlet cat`: lines from empty to
# longer than a file holds, bursts larger than one read of the pipe, CR LF, NUL, invalid and
# overlong UTF-8, into text and raw rings of several shapes. Each round comes from its seed, which
# a failure names; given on the command line, that round runs alone. Rounds go on for
# SCRIVLET_DIFFERENTIAL_SECONDS (default 15).
import bisect, itertools, os, random, sys, time

sys.dont_write_bytecode = True  # nothing written beside the sources
import cli_test  # noqa: E402
from cli_test import craft, pipe_holds, run, spawn, start_writer  # noqa: E402

# What lines are made of: text, and bytes a decoder must not take for text (overlong forms of LF,
# '/' and U+007F, surrogates, values past U+10FFFF, stray and missing continuation bytes).
PIECES = [b"word ", b"\t", b"\x00", b"\r", b"\xc3\xa9", b"\xe2\x82\xac", b"\xf0\x9f\x98\x80",
          b"\xe0\x80\x8a", b"\xc0\x8a", b"\xc0\xaf", b"\xc1\xbf", b"\xf0\x80\x80\x8a",
          b"\xed\xa0\x80", b"\xed\xbf\xbf", b"\xf4\x90\x80\x80", b"\xf8\x88\x80\x80\x80", b"\xff",
          b"\x80", b"\xbf", b"\xe2\x82", b"\xf0\x9f\x98", b"\xc2"]
SIZES = [688, 1000, 4096, 65536, 1 << 20]


def line(rnd, longest):
    lengths = [0, 1, 10, 80, 80, 80, longest // 2, longest, 2 * longest]
    target, parts, length = rnd.choice(lengths), [], 0
    while length < target:
        x = b"x" * rnd.randrange(1, 40 + target // 50)
        parts.append(rnd.choice(PIECES) if rnd.random() < 0.3 else x)
        length += len(parts[-1])
    return b"".join(parts) + rnd.choice([b"\n", b"\n", b"\n", b"\r\n"])


def same(got, want, what):
    if got != want:
        at = next((i for i, (a, b) in enumerate(zip(got, want)) if a != b), len(got))
        near = slice(max(at - 20, 0), at + 20)
        raise AssertionError(f"{what} {got[near]!r} at byte {at} of {len(got)}, not "
                             f"{want[near]!r} of {len(want)}")


def differential_round(seed):
    rnd = random.Random(seed)
    raw, size = seed % 3 == 1, SIZES[seed % len(SIZES)]
    header, footer = rnd.choice(["", "Head"]), rnd.choice(["", "End"])
    counter = rnd.random() < 0.5
    ring = ["-d", f"d{seed}", "-s", str(size), "-c", "9999"] + ["--counter"] * counter
    ring += (["--header", header] if header else []) + (["--footer", footer] if footer else [])
    # The largest record every file takes, beside the longest counter line there can be (lengths
    # in characters of 2 bytes).
    head, foot = (len(header) + 30) * bool(header), (len(footer) + 30) * bool(footer)
    room = size - 2 * (40 * counter + head + foot)
    bursts, total = [], 0
    # Bursts of more than one read of the pipe (1 MiB) where files are large enough, one behind
    # the other so that the pipe fills while the group before is written; a few seconds a round.
    while total < min(room * (120 if size >= 65536 else 40), 8 << 20):
        big = size >= 65536 and (not bursts or rnd.random() < 0.5)
        lines, count, length = [], rnd.randrange(1, 40), 0
        while length < 1536 << 10 if big else len(lines) < count:
            lines.append(line(rnd, room if raw else room // 2))
            length += len(lines[-1])
        bursts.append(b"".join(lines))
        total += len(bursts[-1]) * (1 if raw else 2)
    if seed % 4 > 1:  # the input ends inside a line, perhaps just behind a CR
        bursts[-1] = bursts[-1].rstrip(b"\r\n") + b"\r" * (seed % 4 == 3)
    data = b"".join(bursts)
    writer, pipe = start_writer(ring + ["--raw"] * raw)
    for burst in bursts:
        with memoryview(burst) as rest:
            while rest:
                rest = rest[os.write(pipe, rest):]
        if rnd.random() < 0.3:
            cli_test.wait_for(lambda: pipe_holds(pipe) == 0, "the pipe to drain")
    os.close(pipe)
    status, said = writer.wait(timeout=60), writer.stderr.read()
    assert status == 0, said

    # The model: each line's bytes (raw), or its text without LF or CR LF, invalid UTF-8 as U+FFFD
    # for each maximal ill-formed part, stored as UTF-16LE ending in CR LF.
    lines = data.split(b"\n")
    texts = [t[:-1] if t.endswith(b"\r") and i + 1 < len(lines) else t for i, t in enumerate(lines)]
    texts = [t.decode("utf-8", "replace") for t in texts[:-1] + [texts[-1]] * bool(texts[-1])]
    stored = ([t + b"\n" for t in lines[:-1]] + [lines[-1]] * bool(lines[-1]) if raw else
              [t.encode("utf-16-le") + b"\r\0\n\0" for t in texts])
    printed = data if raw else "".join(t + "\n" for t in texts).encode()
    assert (b"several records" in said) == any(len(s) > room for s in stored), said

    same(run(["cat"] + ring + ["--raw"] * raw).stdout, printed, "cat prints")

    # The files: none over its size, the records of each in order, a line cut across files only
    # where it is longer than a file holds, and never inside a surrogate pair.
    regions = []
    for k, name in enumerate(sorted(os.listdir(f"d{seed}")), 1):
        file = open(f"d{seed}/{name}", "rb").read()
        top = (24 + len(f"{k} 1 1\r\n")) * counter + head
        regions.append(file[2 * top:len(file) - 2 * foot])
        assert len(file) <= size, f"file {k}: {len(file)} bytes"
        assert raw or regions[-1].decode("utf-16-le") is not None  # raises on a parted pair
    same(b"".join(regions), b"".join(stored), "the files hold")
    ends = [0, *itertools.accumulate(map(len, stored))]
    for at in itertools.accumulate(map(len, regions[:-1])):
        i = bisect.bisect_left(ends, at)
        assert ends[i] == at or len(stored[i - 1]) > room, f"line {i} parted at byte {at}"
    # A raw ring whose last line has no LF and no footer behind it has a torn tail.
    torn = raw and not footer and not data.endswith(b"\n")
    assert run(["verify"] + ring + ["--raw"] * raw).returncode == torn, "verify's status"


def case_pipe_host_against_model():
    given = len(sys.argv) > 3
    seed = int(sys.argv[3]) if given else random.SystemRandom().randrange(1 << 30)
    deadline = time.monotonic() + float(os.environ.get("SCRIVLET_DIFFERENTIAL_SECONDS", 15))
    for n in itertools.count():
        try:
            differential_round(seed + n)
        except Exception as e:
            raise AssertionError(f"round {seed + n} (run it alone: differential_test.py <scrivlet> "
                                 f"pipe_host_against_model {seed + n}): {e!r}") from e
        if given or time.monotonic() > deadline:
            print(f"rounds {seed}..{seed + n} passed")
            return


def case_fifo_after_listing():
    # A FIFO put in a ring file's place after cat listed the folder: cat opens it without blocking,
    # names it and goes on. cat is held while it writes file 1, its output unread.
    craft("q", 1, counter=1, records=["x" * 1000] * 300)
    craft("q", 2, counter=2, records=["two"])
    cat = spawn(["cat", "-d", "q", "--counter", "--since", "2000-01-01"], stdout=-1, stderr=-1)
    cli_test.wait_for(lambda: pipe_holds(cat.stdout.fileno()) >= 65536, "cat to fill its pipe")
    os.remove("q/LogFile_1_0002.log")
    os.mkfifo("q/LogFile_1_0002.log")
    out, said = cat.communicate(timeout=10)
    assert cat.returncode == 1 and b"FIFO" in said and out.count(b"x" * 1000) == 300, said


if __name__ == "__main__":
    cli_test.main(globals())
