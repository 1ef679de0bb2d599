#!/usr/bin/env python3
"""Seeded differential property driver for trep's join and `trep check`.

Every case is made from one seed alone (random.Random(seed)): a random
original, split by one of trep's three split forms, 0 to 3 random damages to
the series folder, then judged against two outside judges: the original
bytes, and par2 (par2cmdline) repairing a copy of the damaged folder.

  python3 tests/series_property.py [--trep PATH] [--seed START] [--cases N]
                                   [--time-limit S] [--exe] [--keep] [--jobs J]

The seeds of tests/series_property_cases.txt (one a line, "# comments"
allowed; "known SEED" for a limit written down in docs/reliability.md,
which is run and reported but fails nothing) run first, then seeds
START .. START+N-1. A failing case prints one
line: its seed, how it was split, the damages, the segment the join started
from, the failed properties and the first line of what trep said. The run
ends with "N passed, N failed" and exit code 1 when any case failed.

Properties:
  a  a join that exits 0 gives the original's bytes, name, last-write time
     (to the second) and read-only state. Where no recovery set vouches for
     the series, what the damage could change unseen is left out: header
     fields the checksum does not cover, and bytes past the part of the file
     the checksum reads (the first quarter of every 10,000,000 bytes).
  b  where par2 repaired the damaged copy back to the split's segments, and
     the damaged segments are no more than the recovery blocks par2 counted
     (par2 also finds blocks moved to other files, which a segment-wise
     mend need not), the join ends 0 with the original.
  c  trep check's exit code is the one the join's outcome implies: join 0 ->
     check 0, join 0 having rebuilt segments from recovery files -> check 1,
     join 1 or 6 -> check 6.
  d  nothing hangs (a time limit per command) or crashes (a signal, exit code
     above 128, sanitizer or abort text); every failing join or split says
     something on stderr, a failing check on stdout or stderr; a join leaves
     no temporaries in its output folder and changes nothing in the series'
     folder; a check writes nothing at all.
  layout  the split itself: its segments hold exactly the original, 0001
     opening with the 652-byte header, later ones with "TREP1600".

--exe also runs the Windows program (build/win64/Trep.exe under Wine, the
build that runs on a machine without 32-bit code) on every case whose seed
is a multiple of 10: `Trep.exe /i=SEGMENT /o=DIR /q`, held to a and b.
"""

import argparse
import fcntl
import hashlib
import os
import re
import shutil
import stat
import struct
import subprocess
import sys
import tempfile
import time
import zlib
from concurrent.futures import ProcessPoolExecutor

import random

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CASES_FILE = os.path.join(ROOT, "tests", "series_property_cases.txt")

HEADER = 652             # bytes of segment 0001's header
MAGIC = b"TREP1600"      # the 8 bytes every later segment opens with
SHORT = len(MAGIC)
CRC_CHUNK = 10_000_000   # the checksum takes the file in chunks of this many bytes
FILETIME_EPOCH = 11644473600  # seconds from 1601-01-01 to 1970-01-01

# Fields of the 652-byte header: (name, first byte, end).
HEADER_FIELDS = [
    ("magic", 0, 8), ("count", 8, 12), ("descflag", 12, 14), ("description", 14, 314),
    ("name", 314, 614), ("size", 614, 622), ("checksum", 622, 626),
    ("ctime", 626, 634), ("atime", 634, 642), ("mtime", 642, 650), ("attributes", 650, 652),
]

# The CRC-32 generator 0x104C11DB7 as zlib feeds bits (lowest bit of each
# byte first): its 33 bits reversed, 0x1DB710641, as 5 little-endian bytes.
# XORed into a message at any offset it adds a multiple of the generator,
# so the CRC-32 of every window holding all of it stays the same.
CRC_POLY_REFLECTED = 0x1DB710641

SANITIZER_TEXT = ("Segmentation fault", "AddressSanitizer", "UndefinedBehaviorSanitizer",
                  "runtime error:", "terminate called", "core dumped", "LeakSanitizer",
                  "Assertion", "Aborted")

WINDOWS_DEVICE_NAMES = {"con", "prn", "aux", "nul"} | {f"{d}{i}" for d in ("com", "lpt")
                                                      for i in range(10)}


# ------------------------------------------------------------- running ---

class Ran:
    """One command's outcome."""

    def __init__(self, argv, rc, out, err, hung=False):
        self.argv, self.rc, self.out, self.err, self.hung = argv, rc, out, err, hung

    def first_err(self):
        for line in self.err.decode("utf-8", "replace").splitlines():
            if line.strip():
                return line.strip()
        return ""

    def err_text(self):
        return self.err.decode("utf-8", "replace")

    def out_text(self):
        return self.out.decode("utf-8", "replace")


def run(argv, env, limit, cwd=None, stdin_bytes=None, stdin_path=None):
    """Runs argv with stdin closed (or fed); a run past `limit` seconds is a hang."""
    stdin = subprocess.DEVNULL
    handle = None
    if stdin_path is not None:
        handle = open(stdin_path, "rb")
        stdin = handle
    elif stdin_bytes is not None:
        stdin = subprocess.PIPE
    try:
        p = subprocess.Popen(argv, cwd=cwd, env=env, stdin=stdin, stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, start_new_session=True)
        try:
            out, err = p.communicate(input=stdin_bytes, timeout=limit)
            return Ran(argv, p.returncode, out, err)
        except subprocess.TimeoutExpired:
            # The whole process group: Wine's loader leaves children behind.
            try:
                os.killpg(p.pid, 9)
            except OSError:
                pass
            out, err = p.communicate()
            return Ran(argv, None, out, err, hung=True)
    finally:
        if handle is not None:
            handle.close()


def crashed(r):
    """Why `r` looks like a crash, or None."""
    if r.hung:
        return "hang"
    if r.rc is not None and (r.rc < 0 or r.rc > 128):
        return f"exit {r.rc}"
    text = r.err_text() + r.out_text()
    for t in SANITIZER_TEXT:
        if t in text:
            return f"'{t}' in its output"
    return None


# ---------------------------------------------------------- the files ---

def read(path):
    with open(path, "rb") as f:
        return f.read()


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def snapshot(folder):
    """Every entry below folder: relative name -> (kind, size, mtime_ns, digest)."""
    found = {}
    if not os.path.isdir(folder):
        return found
    for dirpath, dirnames, filenames in os.walk(folder):
        for name in dirnames + filenames:
            path = os.path.join(dirpath, name)
            rel = os.path.relpath(path, folder)
            st = os.lstat(path)
            if stat.S_ISREG(st.st_mode):
                found[rel] = ("file", st.st_size, st.st_mtime_ns,
                              hashlib.md5(read(path)).hexdigest())
            elif stat.S_ISDIR(st.st_mode):
                found[rel] = ("dir", 0, 0, "")
            else:
                found[rel] = ("other", 0, 0, "")
    return found


def temporaries(names):
    return sorted(n for n in names
                  if os.path.basename(n).startswith((".trep-", "~")) or n.endswith(".tmp"))


def crc_bytes_used(n):
    """How many bytes of a checksum chunk of n bytes the checksum reads."""
    used = (n + 3) // 4 + 3
    return min(used, n)


def unchecked_offset(offset, size):
    """Whether byte `offset` of a file of `size` bytes is one the checksum does not read."""
    chunk = offset // CRC_CHUNK
    n = min(CRC_CHUNK, size - chunk * CRC_CHUNK)
    return offset - chunk * CRC_CHUNK >= crc_bytes_used(n)


def decode_header_text(raw):
    raw = raw.split(b"\0", 1)[0]
    try:
        if any(b > 0x7F for b in raw):
            return raw.decode("utf-8")
    except UnicodeDecodeError:
        pass
    return raw.decode("cp1252", "replace")


# ----------------------------------------------------- making a case ---

def odd_size_near(rng, boundary, spread):
    """A size near a boundary: mostly a few bytes either side, sometimes further."""
    r = rng.random()
    if r < 0.55:
        delta = rng.choice([-3, -2, -1, 0, 1, 2, 3, 5])
    elif r < 0.8:
        delta = rng.randint(-spread, spread)
    else:
        delta = rng.randint(0, max(1, spread * 4))
    return max(1, boundary + delta)


def make_name(rng):
    """A random original name; never one Windows would rebuild under another name."""
    while True:
        letters = "abcdefghijklmnopqrstuvwxyz"
        alphabet = letters + "0123456789_-"
        if rng.random() < 0.3:
            alphabet += letters.upper()
        if rng.random() < 0.2:
            alphabet += " "
        if rng.random() < 0.05:
            alphabet += "éüß"
        length = rng.choice([1, 2, 3, 4, 5, 6, 8, 10, 14, 20])
        stem = rng.choice(letters + (letters.upper() if rng.random() < 0.3 else ""))
        stem += "".join(rng.choice(alphabet) for _ in range(length - 1))
        ext = rng.choice(["", ".bin", ".dat", ".tar", ".TXT", ".iso", ".x"])
        name = (stem + ext).strip(" .")
        if not name or name.split(".")[0].lower() in WINDOWS_DEVICE_NAMES:
            continue
        return name


def make_content(rng, size):
    kind = rng.choice(["random", "random", "random", "zero-runs", "zero-tail", "zero-tail",
                       "zeros", "pattern"])
    if size == 0:
        return b"", kind
    if kind == "zeros":
        return bytes(size), kind
    if kind == "pattern":
        unit = rng.randbytes(rng.randint(1, 64))
        return (unit * (size // len(unit) + 1))[:size], kind
    data = bytearray(rng.randbytes(size))
    if kind == "zero-runs":
        for _ in range(rng.randint(1, 6)):
            at = rng.randrange(size)
            n = rng.randint(1, max(1, size // 3))
            data[at:at + n] = bytes(len(data[at:at + n]))
    elif kind == "zero-tail":
        n = rng.randint(1, size)
        data[size - n:] = bytes(n)
    return bytes(data), kind


class Plan:
    """How the case's original is made and split."""


def make_plan(rng):
    p = Plan()
    p.form = rng.choices(["switch", "split", "stdin"], weights=[35, 45, 20])[0]
    p.headerless = p.form == "switch" and rng.random() < 0.12
    p.by_count = p.form == "split" and rng.random() < 0.3
    # Segments: mostly a few, sometimes many.
    r = rng.random()
    if r < 0.4:
        count = rng.randint(1, 4)
    elif r < 0.85:
        count = rng.randint(5, 30)
    else:
        count = rng.randint(31, 200)
    # The file's size class: most cases small, a few of MiBs, a few empty.
    r = rng.random()
    if r < 0.02:
        budget = 0
    elif r < 0.08:
        budget = rng.randint(1 << 20, 3 << 20)
    else:
        budget = int(2 ** rng.uniform(6, 18))
    if budget == 0:
        p.size = 0
        p.payload = 1024 if p.form == "switch" else rng.randint(1, 5000)
    elif p.form == "switch":
        kb = max(1, round(budget / count / 1024))
        p.payload = kb * 1024
        full = rng.choice([count - 1, count]) if count > 1 else 1
        p.size = odd_size_near(rng, full * p.payload, min(p.payload, 4096))
    else:
        p.payload = max(1, budget // count + rng.choice([-1, 0, 1, 3]))
        if p.payload > 1 and rng.random() < 0.5:
            p.payload |= 1  # odd payloads are the unusual ones
        full = rng.choice([count - 1, count]) if count > 1 else 1
        p.size = odd_size_near(rng, full * p.payload, min(p.payload, 4096))
    # The count the split will make (headers do not count against -s or /s=).
    p.count = max(1, -(-p.size // p.payload))
    if p.by_count:
        p.count_arg = max(1, min(9999, p.count + rng.choice([0, 0, 0, 1, -1])))
    if p.size > 0 and p.form == "split" and not p.by_count and p.count > 9999:
        p.payload = -(-p.size // 9999)
        p.count = -(-p.size // p.payload)
    # Recovery files: none in about a third of the cases.
    limit = p.count_arg if p.by_count else p.count
    limit = min(limit, 50)
    if rng.random() < 0.35 or limit < 1:
        p.recovery = 0
    else:
        p.recovery = rng.choice([1, 1, 2, 2, 3, rng.randint(1, limit)])
        p.recovery = max(1, min(p.recovery, limit))
        if p.by_count:  # "about COUNT segments": keep clear of the edge
            p.recovery = max(1, min(p.recovery, (p.count_arg + 1) // 2))
    p.name = make_name(rng)
    p.content_seed = rng.getrandbits(64)
    p.mtime_ns = rng.randint(315532800, 2000000000) * 10**9 + rng.choice(
        [0, 0, rng.randint(0, 10**9 - 1)])
    p.atime_ns = rng.randint(315532800, 2000000000) * 10**9
    p.readonly = rng.random() < 0.2
    p.quiet = rng.random() < 0.5
    p.long_options = rng.random() < 0.4
    p.switch_case = rng.random() < 0.3
    return p


def split_argv(p, trep, src, segdir, rng):
    """The split command of plan p, with its recipe text."""
    if p.form == "switch":
        def sw(letter):
            return ("/" + letter.upper()) if p.switch_case and rng.random() < 0.5 else "/" + letter
        argv = [trep, sw("i") + "=" + p.name, sw("o") + "=" + segdir, sw("s") + "=%d" % (p.payload // 1024)]
        if p.recovery:
            argv.append(sw("r") + "=%d" % p.recovery)
        argv.append(sw("q") if rng.random() < 0.8 else "/quiet")
        tail = argv[3:]
        rng.shuffle(tail)
        argv = argv[:3] + tail
        recipe = "trep " + " ".join(a[:3] + "DIR" if a.lower().startswith("/o=") else
                                    repr(a) if " " in a else a for a in argv[1:])
        if p.headerless:
            recipe += " [BAT-file settings: headerless]"
        return argv, recipe, None
    long = p.long_options
    argv = [trep, "split"]
    argv.append("-" if p.form == "stdin" else p.name)
    if p.form == "stdin":
        argv += ["--name", p.name]
    if p.by_count:
        argv += ["--count" if long else "-n", str(p.count_arg)]
    else:
        size = str(p.payload)
        if p.payload % 1024 == 0 and rng.random() < 0.5:
            size = "%dK" % (p.payload // 1024)
        argv += ["--size" if long else "-s", size]
    if p.recovery:
        argv += ["--recovery" if long else "-r", str(p.recovery)]
    argv += ["--output" if long else "-o", segdir]
    if p.quiet:
        argv.append("-q")
    recipe = " ".join(["trep"] + ["DIR" if a == segdir else repr(a) if " " in a else a
                                  for a in argv[1:]])
    if p.form == "stdin":
        recipe += " < FILE"
    return argv, recipe, (os.path.join(src, p.name) if p.form == "stdin" else None)


SEGMENT_RE = re.compile(r"^(.*)(\d{4})\.(trp)$", re.IGNORECASE)


def series_of(folder):
    """(base, ext, {n: name}, [par2 names]) of what a split left in folder."""
    segs, par2, base, ext = {}, [], None, None
    for name in sorted(os.listdir(folder)):
        m = SEGMENT_RE.match(name)
        if m:
            base, ext = m.group(1), m.group(3)
            segs[int(m.group(2))] = name
        elif name.lower().endswith(".par2"):
            par2.append(name)
    return base, ext, segs, par2


# --------------------------------------------------------------- damage ---

class Damager:
    """Applies random damages to the series folder and says what each did."""

    def __init__(self, rng, case, segdir, base, ext, count, pristine, par2_names, slice_size,
                 plan, trep, env, limit):
        self.rng, self.case, self.segdir = rng, case, segdir
        self.base, self.ext, self.count = base, ext, count
        self.pristine, self.par2_names = pristine, par2_names
        self.slice_size, self.plan, self.trep, self.env, self.limit = \
            slice_size, plan, trep, env, limit
        self.stale_count = 0
        # Stale sets whose file has the original's size and payload: their
        # names, count and sizes agree with the series' header.
        self.stale_alike = 0

    def seg_name(self, n):
        return "%s%04d.%s" % (self.base, n, self.ext)

    def path(self, name):
        return os.path.join(self.segdir, name)

    def existing_segments(self):
        """Segment names (of this series, any letter case) that are regular files."""
        out = []
        for name in sorted(os.listdir(self.segdir)):
            m = SEGMENT_RE.match(name)
            if m and m.group(1).lower() == self.base.lower() and \
                    os.path.isfile(self.path(name)) and not os.path.islink(self.path(name)):
                out.append(name)
        return out

    def existing_par2(self):
        return sorted(n for n in os.listdir(self.segdir)
                      if n.lower().endswith(".par2") and os.path.isfile(self.path(n)))

    def pick_segment(self, minimum=0):
        names = [n for n in self.existing_segments() if os.path.getsize(self.path(n)) >= minimum]
        return self.rng.choice(names) if names else None

    def number_of(self, name):
        return int(SEGMENT_RE.match(name).group(2))

    def apply(self, kind):
        return getattr(self, "d_" + kind.replace("-", "_"))()

    # Each returns the recipe text of what it did, or None when it found
    # nothing to do it to.

    def d_lose(self):
        name = self.pick_segment()
        if name is None:
            return None
        os.remove(self.path(name))
        return "lose %s" % name

    def d_truncate(self):
        name = self.pick_segment(1)
        if name is None:
            return None
        data = read(self.path(name))
        header = HEADER if self.number_of(name) == 1 and not self.plan.headerless else SHORT
        how = self.rng.choice(["few", "few", "header", "zero"])
        if how == "few":
            n = max(0, len(data) - self.rng.randint(1, 5))
        elif how == "header" and len(data) > header:
            n = header
        else:
            n = 0
        write(self.path(name), data[:n])
        return "truncate %s %d->%d" % (name, len(data), n)

    def d_extend(self):
        name = self.pick_segment()
        if name is None:
            return None
        n = self.rng.choice([1, 2, 3, 7, self.rng.randint(1, 3000)])
        extra = bytes(n) if self.rng.random() < 0.3 else self.rng.randbytes(n)
        with open(self.path(name), "ab") as f:
            f.write(extra)
        return "extend %s +%d%s" % (name, n, " zeros" if not any(extra) else "")

    def _where(self, name, size):
        """An offset to damage: often in 0001's header or a later one's magic."""
        first = self.number_of(name) == 1 and not self.plan.headerless
        if first and size >= HEADER and self.rng.random() < 0.5:
            field, lo, hi = self.rng.choice(HEADER_FIELDS)
            if field in ("description",) and self.rng.random() < 0.7:
                field, lo, hi = ("name", 314, 614)
            return self.rng.randrange(lo, hi), field
        if not first and not self.plan.headerless and size >= SHORT and self.rng.random() < 0.25:
            return self.rng.randrange(0, SHORT), "magic"
        return self.rng.randrange(size), "payload"

    def d_flip(self):
        name = self.pick_segment(1)
        if name is None:
            return None
        data = bytearray(read(self.path(name)))
        at, field = self._where(name, len(data))
        n = min(self.rng.choice([1, 1, 2, 4]), len(data) - at)
        for i in range(n):
            data[at + i] ^= self.rng.randint(1, 255)
        write(self.path(name), data)
        return "flip %s@%d+%d(%s)" % (name, at, n, field)

    def d_zero(self):
        name = self.pick_segment(1)
        if name is None:
            return None
        data = bytearray(read(self.path(name)))
        at, field = self._where(name, len(data))
        n = min(self.rng.choice([1, 16, self.rng.randint(1, 4096)]), len(data) - at)
        changed = any(data[at:at + n])
        data[at:at + n] = bytes(n)
        write(self.path(name), data)
        return "zero %s@%d+%d(%s)%s" % (name, at, n, field, "" if changed else " no-op")

    def d_crc_preserving(self):
        """XORs a shifted copy of the CRC-32 generator into a segment."""
        name = self.pick_segment(8)
        if name is None:
            return None
        data = read(self.path(name))
        shift = self.rng.randrange(8)
        value = CRC_POLY_REFLECTED << shift
        pattern = value.to_bytes((value.bit_length() + 7) // 8, "little")
        at, field = self._where(name, len(data))
        at = min(at, len(data) - len(pattern))
        changed = bytearray(data)
        for i, b in enumerate(pattern):
            changed[at + i] ^= b
        changed = bytes(changed)
        # The point of this damage: CRC-32 cannot see it, neither over the
        # file nor over its zero-padded PAR2 slice.
        assert zlib.crc32(changed) == zlib.crc32(data), "CRC pattern does not preserve CRC-32"
        if self.slice_size and len(data) <= self.slice_size:
            pad = bytes(self.slice_size - len(data))
            assert zlib.crc32(changed + pad) == zlib.crc32(data + pad)
        assert changed != data
        write(self.path(name), changed)
        return "crc-preserving %s@%d+%d(%s)" % (name, at, len(pattern), field)

    def d_swap(self):
        names = self.existing_segments()
        if len(names) < 2:
            return None
        a, b = self.rng.sample(names, 2)
        tmp = self.path("swap.tmp~")
        os.rename(self.path(a), tmp)
        os.rename(self.path(b), self.path(a))
        os.rename(tmp, self.path(b))
        return "swap %s %s" % (a, b)

    def d_rename_other(self):
        name = self.pick_segment()
        if name is None:
            return None
        other = "zqx" if self.base.lower() != "zqx" else "qqq"
        new = "%s%04d.%s" % (other, self.number_of(name), self.ext)
        os.rename(self.path(name), self.path(new))
        return "rename %s %s" % (name, new)

    def d_case(self):
        name = self.pick_segment()
        if name is None:
            return None
        new = name.upper() if name != name.upper() else name.lower()
        if new == name:
            return None
        os.rename(self.path(name), self.path(new))
        return "case %s %s" % (name, new)

    def d_directory(self):
        n = self.rng.randint(1, self.count)
        name = self.seg_name(n)
        path = self.path(name)
        if os.path.isdir(path):
            return None
        if os.path.exists(path):
            os.remove(path)
        os.mkdir(path)
        if self.rng.random() < 0.5:
            write(os.path.join(path, "inside"), b"x")
        return "directory-at %s" % name

    def d_par2_lose(self):
        names = self.existing_par2()
        if not names:
            return None
        name = self.rng.choice(names)
        os.remove(self.path(name))
        return "lose %s" % name

    def d_par2_damage(self):
        names = self.existing_par2()
        if not names:
            return None
        name = self.rng.choice(names)
        data = bytearray(read(self.path(name)))
        if not data:
            return None
        if self.rng.random() < 0.4:
            n = self.rng.randrange(len(data))
            write(self.path(name), data[:n])
            return "truncate %s %d->%d" % (name, len(data), n)
        at = self.rng.randrange(len(data))
        n = min(len(data) - at, self.rng.choice([1, 8, 64]))
        for i in range(n):
            data[at + i] ^= self.rng.randint(1, 255)
        write(self.path(name), data)
        return "flip %s@%d+%d" % (name, at, n)

    def d_par2_duplicate(self):
        names = [n for n in self.existing_par2() if ".vol" in n] or self.existing_par2()
        if not names:
            return None
        name = self.rng.choice(names)
        new = name[:-len(".par2")] + " (1).par2"
        shutil.copy2(self.path(name), self.path(new))
        return "duplicate %s as %s" % (name, new)

    def d_stale_set(self):
        """Recovery files of another file of the same name, split into another folder."""
        self.stale_count += 1
        other_dir = os.path.join(self.case, "stale%d" % self.stale_count)
        src = os.path.join(other_dir, "src")
        out = os.path.join(other_dir, "out")
        os.makedirs(src)
        rng = self.rng
        size = rng.randint(1, max(2, min(3 << 20, self.plan.size * 2 + 5000)))
        data = rng.randbytes(size)
        if rng.random() < 0.5 and self.plan.size > 0:
            # An older version of the same file: mostly the same bytes.
            original = read(os.path.join(self.case, "src", self.plan.name))
            data = bytearray(original)
            for _ in range(rng.randint(1, 4)):
                data[rng.randrange(len(data))] ^= rng.randint(1, 255)
            data = bytes(data)
        write(os.path.join(src, self.plan.name), data)
        size = len(data)
        payload = self.plan.payload if rng.random() < 0.5 else max(1, size // rng.randint(1, 20))
        count = -(-size // payload)
        recovery = rng.randint(1, max(1, min(count, 8)))
        argv = [self.trep, "split", self.plan.name, "-s", str(payload), "-r", str(recovery),
                "-o", out, "-q"]
        r = run(argv, self.env, self.limit, cwd=src)
        if r.rc != 0 or not os.path.isdir(out):
            return "stale-set (its split failed: %s)" % r.first_err()
        renamed = rng.random() < 0.5
        if size == self.plan.size and payload == self.plan.payload:
            self.stale_alike += 1
        copied = []
        for name in sorted(os.listdir(out)):
            if not name.lower().endswith(".par2"):
                continue
            new = name[:-len(".par2")] + ".old.par2" if renamed else name
            shutil.copy2(os.path.join(out, name), self.path(new))
            copied.append(new)
        return "stale-set %d bytes /%d -r%d %s: %s" % (len(data), payload, recovery,
                                                       "renamed .old" if renamed else "same names",
                                                       ",".join(copied))


SEGMENT_DAMAGES = ["lose", "truncate", "extend", "flip", "flip", "zero", "crc-preserving",
                   "crc-preserving", "swap", "rename-other", "case", "directory"]
RECOVERY_DAMAGES = ["par2-lose", "par2-damage", "par2-duplicate", "stale-set", "stale-set"]


# --------------------------------------------------------------- judges ---

class Par2Verdict:
    def __init__(self):
        self.ran = False
        self.rc = None
        self.readable = False   # par2 read the set's description of this series
        self.repaired = False   # rc 0 and every segment back to the split's bytes
        self.available = 0      # recovery blocks par2 counted
        self.entry = None
        self.text = ""
        self.ambiguous = None   # a foreign set par2 repairs the folder from as well


def par2_judge(case, segdir, pristine_par2, count, seg_name, pristine, limit):
    """par2 repair on a copy of the damaged folder."""
    v = Par2Verdict()
    present = sorted(n for n in os.listdir(segdir)
                     if n.lower().endswith(".par2") and os.path.isfile(os.path.join(segdir, n)))
    if not present:
        return v
    copy = os.path.join(case, "par2copy")
    shutil.copytree(segdir, copy, symlinks=True)
    # A folder in a segment's place is that segment missing: par2 could not
    # write over it, while trep mends in its output folder.
    for n in range(1, count + 1):
        p = os.path.join(copy, seg_name(n))
        if os.path.isdir(p):
            shutil.rmtree(p)
    # Start par2 from a file of this series' own set, unchanged, if any is left.
    ours = [n for n in present if n in pristine_par2 and
            read(os.path.join(segdir, n)) == pristine_par2[n]]
    ours.sort(key=lambda n: (".vol" in n, n))
    v.entry = ours[0] if ours else present[0]
    r = run(["par2", "repair", v.entry], None, limit, cwd=copy)
    v.ran, v.rc = True, r.rc
    v.text = r.out_text() + r.err_text()
    m = re.search(r"You have (\d+) recovery blocks? available", v.text)
    v.available = int(m.group(1)) if m else 0
    v.readable = bool(ours) and r.rc in (0, 1, 2) and "data blocks" in v.text
    if r.rc == 0:
        v.repaired = all(
            os.path.isfile(os.path.join(copy, seg_name(n))) and
            read(os.path.join(copy, seg_name(n))) == pristine[n]
            for n in range(1, count + 1))
    shutil.rmtree(copy, ignore_errors=True)
    # Recovery files of another split beside them: where par2 repairs the
    # folder from those as well, what is left cannot tell the two apart, and
    # no program could know which one the series is.
    foreign = [n for n in present if n not in ours]
    foreign.sort(key=lambda n: (".vol" in n, n))
    for entry in foreign[:3] if v.repaired else []:
        other = copy + "-other"
        shutil.copytree(segdir, other, symlinks=True)
        for n in range(1, count + 1):
            p = os.path.join(other, seg_name(n))
            if os.path.isdir(p):
                shutil.rmtree(p)
        r = run(["par2", "repair", entry], None, limit, cwd=other)
        shutil.rmtree(other, ignore_errors=True)
        if r.rc == 0:
            v.ambiguous = entry
            break
    return v


def damaged_segments(segdir, count, seg_name, pristine):
    """Segments that are not, under their own names, the bytes the split wrote."""
    bad = []
    for n in range(1, count + 1):
        p = os.path.join(segdir, seg_name(n))
        if not os.path.isfile(p) or read(p) != pristine[n]:
            bad.append(n)
    return bad


class Case:
    def __init__(self, seed):
        self.seed = seed
        self.recipe = ""
        self.damage = []
        self.start = None
        self.failures = []   # (property, text)
        self.notes = []
        self.codes = {}
        self.skipped = None


def fail(case, prop, text):
    case.failures.append((prop, text))


def judge_output(case, prop, plan, outdir, original, header_changed, vouched, raw_base,
                 program, sizes_intact):
    """Property a (or b, whose join already ended 0): outdir holds the original."""
    names = sorted(os.listdir(outdir)) if os.path.isdir(outdir) else []
    files = [n for n in names if not temporaries([n])]
    if len(files) != 1:
        fail(case, prop, "%s ended 0 but its folder holds %s" % (program, names))
        return False
    got_name = files[0]
    path = os.path.join(outdir, got_name)
    got = read(path)
    silent = set()
    if not vouched:
        silent = set(header_changed)
    ok = True
    if plan.headerless:
        want_name = raw_base
    else:
        want_name = plan.name
    if got_name != want_name and "name" not in silent:
        fail(case, prop, "%s made %r, not %r" % (program, got_name, want_name))
        ok = False
    if got != original:
        if len(got) == len(original):
            diffs = [i for i in range(len(got)) if got[i] != original[i]] \
                if len(got) < (1 << 22) else []
            first = diffs[0] if diffs else -1
            # Bytes the checksum does not read may change unseen, but only in
            # segments of the right sizes: every size is known from the header.
            unseen = (not vouched and diffs and not plan.headerless and sizes_intact and
                      all(unchecked_offset(i, len(original)) for i in diffs))
            if plan.headerless and not vouched:
                unseen = True  # nothing records the bytes of a headerless series
            if not unseen:
                fail(case, prop, "%s ended 0 but %d bytes differ from the original (first at %d)"
                     % (program, len(diffs), first))
                ok = False
        else:
            unseen = not vouched and ("size" in silent or "count" in silent or plan.headerless)
            if not unseen:
                fail(case, prop, "%s ended 0 with %d bytes, the original has %d"
                     % (program, len(got), len(original)))
                ok = False
    if plan.form != "stdin" and not plan.headerless:
        st = os.stat(path)
        if st.st_mtime_ns // 10**9 != plan.mtime_ns // 10**9 and "mtime" not in silent:
            fail(case, prop, "%s set the time %s, the original's is %s"
                 % (program, time.strftime("%Y-%m-%d %H:%M:%S", time.gmtime(st.st_mtime)),
                    time.strftime("%Y-%m-%d %H:%M:%S", time.gmtime(plan.mtime_ns // 10**9))))
            ok = False
        readonly = not (st.st_mode & 0o222)
        if readonly != plan.readonly and "attributes" not in silent:
            fail(case, prop, "%s made it %s, the original is %s"
                 % (program, "read-only" if readonly else "writable",
                    "read-only" if plan.readonly else "writable"))
            ok = False
    return ok


def run_case(seed, cfg):
    """Makes, damages and judges the case of `seed`; returns its Case."""
    case = Case(seed)
    rng = random.Random(seed)
    plan = make_plan(rng)
    limit = cfg["limit"]
    workdir = tempfile.mkdtemp(prefix="case%d-" % seed, dir=cfg["root"])
    env = dict(os.environ)
    env.update({"HOME": os.path.join(workdir, "home"),
                "XDG_RUNTIME_DIR": os.path.join(workdir, "run"),
                "XDG_CONFIG_HOME": os.path.join(workdir, "config"),
                "LC_ALL": "C.UTF-8"})
    for k in ("DISPLAY", "WAYLAND_DISPLAY"):
        env.pop(k, None)
    os.makedirs(env["HOME"])
    os.makedirs(env["XDG_RUNTIME_DIR"], mode=0o700)
    trep = cfg["trep_bat"] if plan.headerless else cfg["trep"]
    try:
        _run_case(case, rng, plan, workdir, env, trep, cfg)
    except Exception as e:  # a fault of the driver is a failure too, never a pass
        fail(case, "driver", "%s: %s" % (type(e).__name__, e))
    if case.failures and cfg["keep"]:
        case.notes.append("kept " + workdir)
    else:
        shutil.rmtree(workdir, ignore_errors=True)
    return case


def _run_case(case, rng, plan, workdir, env, trep, cfg):
    limit = cfg["limit"]
    src = os.path.join(workdir, "src")
    segdir = os.path.join(workdir, "series")
    os.makedirs(src)
    original, content_kind = make_content(random.Random(plan.content_seed), plan.size)
    orig_path = os.path.join(src, plan.name)
    write(orig_path, original)
    os.utime(orig_path, ns=(plan.atime_ns, plan.mtime_ns))
    if plan.readonly:
        os.chmod(orig_path, 0o444)
    argv, recipe, stdin_path = split_argv(plan, trep, src, segdir, rng)
    case.recipe = "%s (%d bytes %s, %r%s)" % (recipe, plan.size, content_kind, plan.name,
                                              ", read-only" if plan.readonly else "")

    # ---- the split
    r = run(argv, env, limit, cwd=src, stdin_path=stdin_path)
    case.codes["split"] = r.rc
    why = crashed(r)
    if why:
        fail(case, "d", "the split: %s; %s" % (why, r.first_err()))
        return
    if plan.size == 0:
        # An empty file is refused by every form, with a reason and nothing written.
        if r.rc != 2 or not r.first_err():
            fail(case, "split", "an empty file: exit %s, stderr %r" % (r.rc, r.first_err()))
        elif os.path.isdir(segdir) and os.listdir(segdir):
            fail(case, "split", "an empty file was refused but left %s" % os.listdir(segdir))
        return
    if r.rc != 0:
        fail(case, "split", "exit %s: %s" % (r.rc, r.first_err()))
        return
    if temporaries(os.listdir(segdir)):
        fail(case, "d", "the split left %s" % temporaries(os.listdir(segdir)))
    base, ext, segs, par2_names = series_of(segdir)
    count = len(segs)
    if count == 0 or sorted(segs) != list(range(1, count + 1)):
        fail(case, "layout", "the split made segments %s" % sorted(segs.values()))
        return
    if not plan.by_count and count != plan.count:
        fail(case, "layout", "%d segments, %d bytes at %d a segment make %d"
             % (count, plan.size, plan.payload, plan.count))
    pristine = {n: read(os.path.join(segdir, segs[n])) for n in segs}
    pristine_par2 = {n: read(os.path.join(segdir, n)) for n in par2_names}
    if plan.recovery and len(par2_names) != plan.recovery + 1:
        fail(case, "layout", "-r %d wrote %s" % (plan.recovery, par2_names))
    # Segments hold the original: headers, then the payloads in order.
    joined = bytearray()
    for n in range(1, count + 1):
        data = pristine[n]
        skip = 0 if plan.headerless else (HEADER if n == 1 else SHORT)
        if not plan.headerless and data[:SHORT] != MAGIC:
            fail(case, "layout", "%s does not open with TREP1600" % segs[n])
            return
        joined += data[skip:]
    if bytes(joined) != original:
        fail(case, "layout", "the segments' payloads are not the original (%d bytes for %d)"
             % (len(joined), len(original)))
        return
    if not plan.headerless:
        h = pristine[1][:HEADER]
        recorded = decode_header_text(h[314:614])
        want = plan.name
        if recorded != want:
            fail(case, "layout", "the header records the name %r, not %r" % (recorded, want))
        got_size = struct.unpack("<Q", h[614:622])[0]
        got_count = struct.unpack("<I", h[8:12])[0]
        if got_size != plan.size or got_count != count:
            fail(case, "layout", "the header records %d bytes in %d segments, not %d in %d"
                 % (got_size, got_count, plan.size, count))
    slice_size = ((max(len(d) for d in pristine.values()) + 3) // 4) * 4

    # ---- the damage
    def seg_name(n):
        return "%s%04d.%s" % (base, n, ext)
    dm = Damager(rng, workdir, segdir, base, ext, count, pristine, par2_names, slice_size,
                 plan, trep, env, limit)
    how_many = rng.choice([0, 1, 1, 1, 2, 2, 3])
    for _ in range(how_many):
        kinds = SEGMENT_DAMAGES + (RECOVERY_DAMAGES if par2_names or rng.random() < 0.3
                                   else [])
        for _attempt in range(4):
            did = dm.apply(rng.choice(kinds))
            if did:
                case.damage.append(did)
                break
    header_changed = set()
    p1 = os.path.join(segdir, seg_name(1))
    if not plan.headerless:
        now = read(p1) if os.path.isfile(p1) else b""
        for field, lo, hi in HEADER_FIELDS:
            if now[lo:hi] != pristine[1][lo:hi]:
                header_changed.add(field)

    # ---- par2 on a copy
    v = par2_judge(workdir, segdir, pristine_par2, count, seg_name, pristine, limit)
    case.codes["par2"] = v.rc
    bad = damaged_segments(segdir, count, seg_name, pristine)
    par2_mends = v.repaired and len(bad) <= v.available and not v.ambiguous
    if v.ambiguous:
        case.notes.append("par2 repairs it from %s as well: ambiguous" % v.ambiguous)
    if v.repaired and not par2_mends:
        case.notes.append("par2 repaired %d damaged segments with %d recovery blocks"
                          % (len(bad), v.available))
    vouched = v.readable
    # Whether every segment is there at its size, under its name in any
    # letter case (a series is found whatever the case of its names).
    by_lower = {}
    for name in os.listdir(segdir):
        if os.path.isfile(os.path.join(segdir, name)):
            by_lower.setdefault(name.lower(), []).append(os.path.getsize(os.path.join(segdir, name)))
    sizes_intact = all(len(pristine[n]) in by_lower.get(seg_name(n).lower(), [])
                       for n in range(1, count + 1))

    # ---- trep join
    candidates = dm.existing_segments()
    if not candidates:
        case.notes.append("no segment is left to start from")
        return
    own_case = [n for n in candidates if n.startswith(base)]
    pool = own_case if own_case and rng.random() < 0.9 else candidates
    first = seg_name(1)
    start = first if first in pool and rng.random() < 0.4 else rng.choice(pool)
    case.start = start
    start_path = os.path.join(segdir, start)
    before = snapshot(segdir)
    outdir = os.path.join(workdir, "out")
    if rng.random() < 0.5:
        os.makedirs(outdir)
    raw_base = base  # a series without headers is rebuilt under its base name
    if plan.headerless:
        # A series without headers is rebuilt only after a question; the
        # switch form takes the answer from stdin.
        jargv = [trep, "/i=" + start_path, "/o=" + outdir, "/q"]
        j = run(jargv, env, limit, cwd=workdir, stdin_bytes=b"1\n")
    else:
        jargv = [trep, "join", start_path, "-o", outdir]
        j = run(jargv, env, limit, cwd=workdir)
    case.codes["join"] = j.rc
    case.join_err = j.first_err()
    rebuilt = "rebuilt from recovery files" in j.err_text()
    after = snapshot(segdir)
    why = crashed(j)
    if why:
        fail(case, "d", "join: %s; %s" % (why, j.first_err()))
    elif j.rc != 0 and not j.err.strip():
        fail(case, "d", "join exit %s with nothing on stderr" % j.rc)
    if before != after:
        changed = sorted(set(before) ^ set(after)) or \
            sorted(k for k in before if before[k] != after.get(k))
        fail(case, "d", "join changed the series folder: %s" % changed[:4])
    outnames = sorted(os.listdir(outdir)) if os.path.isdir(outdir) else []
    if temporaries(outnames):
        fail(case, "d", "join (exit %s) left %s in its output folder"
             % (j.rc, temporaries(outnames)))
    elif j.rc not in (0, 1) and [n for n in outnames if not temporaries([n])]:
        fail(case, "d", "join exit %s yet made %s" % (j.rc, outnames))
    if j.rc == 0 and not j.hung:
        judge_output(case, "a", plan, outdir, original, header_changed, vouched, raw_base,
                     "join", sizes_intact)
    # A set of another file whose names, count and sizes agree with the
    # series' header and that records other bytes for every segment may as
    # well be the series' own with damage the checksum does not read: trep
    # makes the file and ends 1, saying nothing vouches for it. It must be
    # the original still.
    unvouched = (dm.stale_alike and j.rc == 1
                 and "nothing vouches for the rebuilt file" in j.err_text())
    if unvouched and not bad:
        judge_output(case, "a", plan, outdir, original, header_changed, vouched, raw_base,
                     "join (not vouched for)", sizes_intact)
    if not bad and j.rc != 0 and not unvouched:
        # Recovery files cut off, damaged or of another series never stop
        # the rebuild of a whole series.
        fail(case, "b", "every segment is as the split wrote it; join exit %s" % j.rc)
    elif par2_mends and j.rc != 0:
        fail(case, "b", "par2 repaired %d damaged segments with its %d recovery blocks; "
             "join exit %s" % (len(bad), v.available, j.rc))

    # ---- trep check
    if not plan.headerless:
        c = run([trep, "check", start_path], env, limit, cwd=workdir)
        case.codes["check"] = c.rc
        why = crashed(c)
        if why:
            fail(case, "d", "check: %s; %s" % (why, c.first_err()))
        elif c.rc != 0 and not (c.out.strip() or c.err.strip()):
            fail(case, "d", "check exit %s saying nothing" % c.rc)
        if snapshot(segdir) != before:
            fail(case, "d", "check changed the series folder")
        want = None
        if j.rc == 0:
            want = 1 if rebuilt else 0
        elif j.rc in (1, 6):
            want = 6
        if want is not None and c.rc != want:
            fail(case, "c", "join %s%s, so check should be %d; it was %s (%s)"
                 % (j.rc, " having rebuilt segments" if rebuilt else "", want, c.rc,
                    (c.out_text().strip().splitlines() or [""])[-1]))
        if not bad and c.rc != 0 and not unvouched:
            fail(case, "b", "every segment is as the split wrote it; check exit %s" % c.rc)
        elif par2_mends and c.rc not in (0, 1):
            fail(case, "b", "par2 repaired %d damaged segments with its %d recovery blocks; "
                 "check exit %s" % (len(bad), v.available, c.rc))

    # ---- Trep.exe on a sample
    if cfg["exe"] and case.seed % 10 == 0 and not plan.headerless:
        exe_out = os.path.join(workdir, "out-exe")
        with open(cfg["exe_lock"], "w") as lock:
            fcntl.flock(lock, fcntl.LOCK_EX)  # one Trep.exe at a time in the prefix
            e = run([cfg["wine_run"], cfg["exe"], "/i=" + win_path(start_path),
                     "/o=" + win_path(exe_out), "/q"], cfg["wine_env"], limit, cwd=workdir)
        case.codes["exe"] = e.rc
        if e.rc == 4:
            case.notes.append("Trep.exe found another Trep running; not judged")
        else:
            why = crashed(e)
            if why:
                fail(case, "d", "Trep.exe: %s; %s" % (why, e.first_err()))
            if e.rc == 0:
                judge_output(case, "a", plan, exe_out, original, header_changed, vouched,
                             raw_base, "Trep.exe", sizes_intact)
            if (par2_mends or not bad) and e.rc != 0:
                fail(case, "b", "par2 repaired %d damaged segments; Trep.exe exit %s"
                     % (len(bad), e.rc))


def win_path(path):
    """The Windows name of a Unix path under Wine, whose Z: is /."""
    return "Z:" + path.replace("/", "\\")


# ---------------------------------------------------------------- main ---

def fixed_seeds(path):
    """The fixed rows: (seeds, known). A row "known SEED # why" is a case
    that shows a limit no reading of the folder can get past (written down
    in docs/reliability.md): it runs, and is reported, but does not fail
    the run."""
    seeds, known = [], set()
    if not os.path.exists(path):
        return seeds, known
    with open(path) as f:
        for line in f:
            line = line.split("#", 1)[0].strip()
            if not line:
                continue
            if line.startswith("known"):
                seed = int(line.split()[1])
                known.add(seed)
            else:
                seed = int(line)
            seeds.append(seed)
    return seeds, known


def stable_copy(src, dst):
    """Copies a program that a build may be rewriting: waits until it is there and settled."""
    for _ in range(120):
        try:
            st = os.stat(src)
            if time.time() - st.st_mtime > 3:
                shutil.copy2(src, dst)
                if os.stat(src).st_mtime == st.st_mtime and os.path.getsize(dst) == st.st_size:
                    return True
        except OSError:
            pass
        time.sleep(1)
    return False


def describe(case):
    props = ",".join(sorted(set(p for p, _ in case.failures)))
    codes = " ".join("%s=%s" % (k, case.codes[k]) for k in ("split", "par2", "join", "check", "exe")
                     if k in case.codes)
    first = case.failures[0] if case.failures else ("-", "; ".join(case.notes))
    return ("%s seed=%d [%s] %s | damage: %s | start %s | %s | %s: %s | stderr: %s"
            % ("FAIL" if case.failures else "pass", case.seed, props, case.recipe, "; ".join(case.damage) or "none", case.start,
               codes, first[0], first[1], getattr(case, "join_err", "")))


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--trep", default=os.path.join(ROOT, "build", "native", "trep"))
    ap.add_argument("--seed", type=int, default=1, help="the first random seed")
    ap.add_argument("--cases", type=int, default=200, help="random cases after the fixed rows")
    ap.add_argument("--time-limit", type=float, default=60.0,
                    help="seconds a command may run before it counts as a hang")
    ap.add_argument("--exe", action="store_true", help="also run Trep.exe under Wine on a sample")
    ap.add_argument("--keep", action="store_true", help="keep the folders of failed cases")
    ap.add_argument("--jobs", type=int, default=min(2, os.cpu_count() or 1))
    ap.add_argument("--no-fixed", action="store_true", help="leave out the fixed rows")
    ap.add_argument("--verbose", action="store_true",
                    help="every failed property of a failing case, and a line for every passing one")
    args = ap.parse_args()

    if shutil.which("par2") is None:
        print("series_property: par2 (par2cmdline) is missing", file=sys.stderr)
        return 2
    root = tempfile.mkdtemp(prefix="trep-series-property.")
    # Copies of the program: a build may replace build/native/trep meanwhile,
    # and the copy with the BAT-file settings beside it writes series without
    # headers from the switch form (the subcommands read no settings).
    for sub in ("plain", "bat"):
        os.makedirs(os.path.join(root, "prog", sub))
        if not stable_copy(args.trep, os.path.join(root, "prog", sub, "trep")):
            print("series_property: %s is missing" % args.trep, file=sys.stderr)
            return 2
    settings = (MAGIC + struct.pack("<10I", 0, 1, 2, 1, 0, 0, 2, 0, 0, 0)
                + struct.pack("<II", 48, 3) + struct.pack("<H", 0))
    write(os.path.join(root, "prog", "bat", "dTrep.dat"), settings)
    cfg = {"root": root, "limit": args.time_limit, "keep": args.keep, "exe": None,
           "trep": os.path.join(root, "prog", "plain", "trep"),
           "trep_bat": os.path.join(root, "prog", "bat", "trep")}
    if args.exe:
        exe = os.path.join(ROOT, "build", "win64", "Trep.exe")
        os.makedirs(os.path.join(root, "prog", "win64"))
        if not stable_copy(exe, os.path.join(root, "prog", "win64", "Trep.exe")):
            print("series_property: %s is missing" % exe, file=sys.stderr)
            return 2
        cfg["exe"] = os.path.join(root, "prog", "win64", "Trep.exe")
        cfg["wine_run"] = os.path.join(ROOT, "scripts", "wine-run.sh")
        cfg["exe_lock"] = os.path.join(root, "exe.lock")
        wenv = dict(os.environ)
        wenv["TREP_WINDOWS_BUILD"] = "win64"
        for k in ("DISPLAY", "WAYLAND_DISPLAY"):
            wenv.pop(k, None)
        cfg["wine_env"] = wenv
        # The prefix is made on first use, which takes longer than a run may.
        run([cfg["wine_run"], "cmd", "/c", "exit", "0"], wenv, 600)

    fixed, known = ([], set()) if args.no_fixed else fixed_seeds(CASES_FILE)
    seeds = fixed + [seed for seed in range(args.seed, args.seed + args.cases)
                     if seed not in fixed]
    passed = failed = limits = 0
    started = time.time()
    try:
        with ProcessPoolExecutor(max_workers=max(1, args.jobs)) as pool:
            for case in pool.map(run_case, seeds, [cfg] * len(seeds)):
                if case.seed in known:
                    limits += 1
                    print(("known " + describe(case)) if case.failures
                          else "known seed=%d passes now: move it to the plain rows" % case.seed,
                          flush=True)
                    continue
                if case.failures:
                    failed += 1
                    print(describe(case), flush=True)
                    if args.verbose:
                        for prop, text in case.failures[1:]:
                            print("    %s: %s" % (prop, text), flush=True)
                    for note in case.notes:
                        if note.startswith("kept"):
                            print("    " + note, flush=True)
                else:
                    passed += 1
                    if args.verbose:
                        print(describe(case), flush=True)
    finally:
        if not args.keep:
            shutil.rmtree(root, ignore_errors=True)
    print("(%d cases in %.0f s, %d of them known limits)" % (len(seeds), time.time() - started,
                                                             limits), file=sys.stderr)
    print("%d passed, %d failed" % (passed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
