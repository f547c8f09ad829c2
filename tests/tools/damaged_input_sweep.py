#!/usr/bin/env python3
"""Damaged and unreadable inputs through `tarnwick-cli convert`, counted.

Makes small clips with the ffmpeg program, spoils them in many ways (cut short, sample tables
zeroed or set to 0xffffffff, stream headers duplicated, AVI time scales made huge, bytes
flipped, headers put on other data), converts them with three format-list entries, and counts
Done and Fail rows and the Done outputs far shorter or longer than the clip they came from.
Then injects a read error (EIO) at many read positions of one clip with the preload library.

  damaged_input_sweep.py CLI READ_FAULT_LIBRARY WORK_FOLDER
"""
import json, os, random, shutil, struct, subprocess, sys

CLI, FAULT, WORK = sys.argv[1], sys.argv[2], sys.argv[3]
ENTRIES = {"3": ".avi", "10": ".mp4", "17": ".wmv"}
FF = ["ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y", "-fflags", "+bitexact"]
VIDEO = "testsrc=size=160x120:rate=25:duration=%d"
TONE = "sine=frequency=440:sample_rate=44100:duration=%d"


def duration(path):
    out = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "format=duration", "-of",
                          "json", path], capture_output=True, text=True).stdout
    try:
        return float(json.loads(out)["format"]["duration"])
    except (KeyError, ValueError):
        return None


def clips():
    made = {}
    specs = {
        "clip.mp4": ["-c:v", "mpeg4", "-c:a", "aac", "-movflags", "+faststart"],
        "clip.mov": ["-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac"],
        "clip.avi": ["-c:v", "mpeg4", "-c:a", "mp3"],
        "clip.mkv": ["-c:v", "mpeg4", "-c:a", "aac"],
        "clip.wmv": ["-c:v", "wmv2", "-c:a", "wmav2"],
    }
    for name, codecs in specs.items():
        path = os.path.join(WORK, name)
        subprocess.run(FF + ["-f", "lavfi", "-i", VIDEO % 4, "-f", "lavfi", "-i", TONE % 4] +
                       codecs + [path], check=True)
        made[name] = open(path, "rb").read()
    return made


def every(data, tag):
    at = data.find(tag)
    while at >= 0:
        yield at
        at = data.find(tag, at + 1)


def table(data, box, fill):
    """Every entry of every box (stsz: after size and count; stco: after count) set to fill."""
    out = bytearray(data)
    for at in every(data, box):
        head = at + 4 + (12 if box == b"stsz" else 8) - 4
        count = struct.unpack(">I", out[head:head + 4])[0]
        for k in range(min(count, 100000)):
            if head + 8 + 4 * k <= len(out):
                struct.pack_into(">I", out, head + 4 + 4 * k, fill)
    return bytes(out)


def duplicate_asf_stream(data, which):
    guid = bytes.fromhex("9107DCB7B7A9CF118EE600C00C205365")
    found = list(every(data, guid))
    if which >= len(found):
        return data
    at = found[which]
    size = struct.unpack("<Q", data[at + 16:at + 24])[0]
    out = bytearray(data[:at + size] + data[at:at + size] + data[at + size:])
    struct.pack_into("<Q", out, 16, struct.unpack("<Q", out[16:24])[0] + size)
    struct.pack_into("<I", out, 24, struct.unpack("<I", out[24:28])[0] + 1)
    return bytes(out)


def avi_scale(data, stream, scale, rate):
    out = bytearray(data)
    found = list(every(data, b"strh"))
    if stream < len(found):
        struct.pack_into("<II", out, found[stream] + 28, scale, rate)
    return bytes(out)


def flip(data, seed, count):
    r = random.Random(seed)
    out = bytearray(data)
    for _ in range(count):
        out[r.randrange(len(out) // 8, len(out))] = r.randrange(256)
    return bytes(out)


def corpus(made):
    cases = {}
    for name, data in made.items():
        stem, ext = os.path.splitext(name)
        for share in (10, 30, 50, 70, 90, 97):
            cases[f"{stem}-cut{share}{ext}"] = data[:len(data) * share // 100]
        for seed in range(8):
            cases[f"{stem}-flip{seed}{ext}"] = flip(data, seed, 20 + 10 * seed)
        if ext in (".mp4", ".mov"):
            for box in (b"stsz", b"stco", b"stts", b"stsc"):
                for fill, word in ((0, "zero"), (0xFFFFFFFF, "ones")):
                    cases[f"{stem}-{box.decode()}-{word}{ext}"] = table(data, box, fill)
        if ext == ".wmv":
            for which in range(2):
                cases[f"{stem}-dupstream{which}{ext}"] = duplicate_asf_stream(data, which)
        if ext == ".avi":
            for stream in range(2):
                for scale, rate in ((34049, 25), (1, 1), (1000000, 1), (1, 100000)):
                    cases[f"{stem}-scale{stream}-{scale}-{rate}{ext}"] = \
                        avi_scale(data, stream, scale, rate)
            movi = data.find(b"movi")
            cases[f"{stem}-header-on-mkv{ext}"] = data[:movi + 4] + made["clip.mkv"][600:]
    return cases


def convert(files, entry, out):
    result = subprocess.run([CLI, "convert", entry, *files, "--output", out, "--overwrite"],
                            capture_output=True, text=True, timeout=3600)
    rows = {}
    for line in result.stdout.splitlines():
        parts = line.split("\t")
        if len(parts) >= 3:
            rows[os.path.basename(parts[0])] = (parts[1], parts[2])
    return rows


def sweep_corpus(made):
    folder = os.path.join(WORK, "corpus")
    os.makedirs(folder, exist_ok=True)
    files = []
    for name, data in corpus(made).items():
        path = os.path.join(folder, name)
        open(path, "wb").write(data)
        files.append(path)
    whole = {os.path.splitext(n)[0]: duration(os.path.join(WORK, n)) for n in made}
    counts = {"Done": 0, "Fail": 0, "other": 0, "short": 0, "long": 0}
    for entry, ext in ENTRIES.items():
        out = os.path.join(WORK, "out" + entry)
        shutil.rmtree(out, ignore_errors=True)
        os.makedirs(out)
        rows = convert(files, entry, out)
        for path in files:
            name = os.path.basename(path)
            state, detail = rows.get(name, ("other", "no row"))
            counts[state if state in ("Done", "Fail") else "other"] += 1
            if state != "Done":
                continue
            length = duration(detail) or 0
            original = whole[name.split("-")[0]]
            if length < original * 0.9:
                counts["short"] += 1
                print("short Done:", entry, name, length)
            if length > original * 1.1 + 1:
                counts["long"] += 1
                print("long Done:", entry, name, length)
    print(f"corpus: {len(files)} inputs x {len(ENTRIES)} entries:", counts)


def sweep_read_errors():
    clip = os.path.join(WORK, "long.mp4")
    subprocess.run(FF + ["-f", "lavfi", "-i", VIDEO % 20, "-f", "lavfi", "-i", TONE % 20,
                         "-c:v", "mpeg4", "-q:v", "2", "-c:a", "aac", clip], check=True)
    counts = {"Done": 0, "Fail": 0, "other": 0, "short": 0}
    for at in range(1, 61):
        out = os.path.join(WORK, "read-errors")
        shutil.rmtree(out, ignore_errors=True)
        os.makedirs(out)
        env = dict(os.environ, LD_PRELOAD=FAULT, TARNWICK_READ_FAULT_FILE="/long.mp4",
                   TARNWICK_READ_FAULT_AT=str(at))
        result = subprocess.run([CLI, "convert", "10", clip, "--output", out], env=env,
                                capture_output=True, text=True)
        parts = (result.stdout.splitlines() or ["\tother\t"])[0].split("\t")
        state = parts[1] if parts[1] in ("Done", "Fail") else "other"
        counts[state] += 1
        if state == "Done" and (duration(parts[2]) or 0) < 19:
            counts["short"] += 1
            print("short Done at read", at)
        if state == "Fail" and "Could not read" not in parts[2]:
            print("read", at, parts[2])
    print("read errors at reads 1..60:", counts)


os.makedirs(WORK, exist_ok=True)
sweep_corpus(clips())
sweep_read_errors()
