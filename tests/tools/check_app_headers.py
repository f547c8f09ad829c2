#!/usr/bin/env python3
"""Fails when a compile unit of the application sees a media-library header.

The application reaches the engine only through the component's header, which hands out
forward declarations; a header on the way that pulls in a media library's header (or the
binding's av_api.h, which includes them all) brings the libraries into every application
unit. Each unit of compile_commands.json under app/ (sources, and the generated moc units of
the build's app/ folder) is preprocessed with -M and its dependencies are searched.

Usage: check_app_headers.py SOURCE_DIR BUILD_DIR
"""
import json
import os
import shlex
import subprocess
import sys

MEDIA_HEADERS = ("libavcodec/", "libavformat/", "libavutil/", "libswscale/",
                 "libswresample/", "engine/binding/av_api.h")


def dependencies(entry):
    """The files the unit includes, as the compiler lists them for make."""
    words = entry["arguments"] if "arguments" in entry else shlex.split(entry["command"])
    command, skip = [], False
    for word in words:
        if skip:
            skip = False
        elif word == "-o":
            skip = True
        elif word != "-c":
            command.append(word)
    result = subprocess.run(command + ["-M", "-MG"], cwd=entry["directory"],
                            capture_output=True, text=True)
    if result.returncode != 0:
        raise RuntimeError(f"{entry['file']}: the preprocessor failed:\n{result.stderr}")
    return result.stdout.replace("\\\n", " ").split()[1:]


def main():
    source, build = (os.path.realpath(folder) for folder in sys.argv[1:3])
    with open(os.path.join(build, "compile_commands.json")) as commands:
        entries = json.load(commands)
    app_folders = (os.path.join(source, "app") + os.sep, os.path.join(build, "app") + os.sep)
    checked, failures = 0, []
    for entry in entries:
        unit = os.path.realpath(os.path.join(entry["directory"], entry["file"]))
        if not unit.startswith(app_folders):
            continue
        checked += 1
        seen = [d for d in dependencies(entry) if any(h in d for h in MEDIA_HEADERS)]
        if seen:
            failures.append((unit, seen))
    for unit, seen in failures:
        print(f"FAIL: {os.path.relpath(unit, source)} sees {len(seen)} media-library "
              f"header(s), first {seen[0]}")
    print(f"checked {checked} application units")
    if checked == 0:
        print("FAIL: no application unit in compile_commands.json")
        return 1
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
