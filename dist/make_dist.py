#!/usr/bin/env python3
"""Packs the release archive: the programs stripped, each with its debug information in a
file of its own beside the archive, the text on use, the licence and SHA256SUMS.

The same inputs give the same bytes: every entry dated from SOURCE_DATE_EPOCH (else the last
commit), fixed permissions, a fixed order, no extra fields.

Usage: make_dist.py --objcopy OBJCOPY --name NAME --out DIR --version VERSION
                    --readme FILE --licence FILE --source-dir DIR PROGRAM...
"""

import argparse
import hashlib
import os
import subprocess
import sys
import time
import zipfile


def source_date_epoch(source_dir):
    if "SOURCE_DATE_EPOCH" in os.environ:
        return int(os.environ["SOURCE_DATE_EPOCH"])
    try:
        out = subprocess.run(["git", "-C", source_dir, "log", "-1", "--format=%ct"],
                             check=True, capture_output=True, text=True).stdout
    except (OSError, subprocess.CalledProcessError) as error:
        sys.exit(f"make_dist.py: no SOURCE_DATE_EPOCH and no commit date from git ({error}); "
                 "set SOURCE_DATE_EPOCH")
    return int(out)


def strip_program(objcopy, program, out_dir):
    """Writes PROGRAM.debug into out_dir and returns the stripped program's bytes, which name
    that file (its base name and CRC) in a .gnu_debuglink section for the debugger."""
    name = os.path.basename(program)
    debug_file = os.path.join(out_dir, name + ".debug")
    stripped = os.path.join(out_dir, name + ".stripped")
    # objcopy writes the time into each PE header it writes, unless SOURCE_DATE_EPOCH gives
    # one: 0, as the linker leaves it.
    untimed = dict(os.environ, SOURCE_DATE_EPOCH="0")
    subprocess.run([objcopy, "--only-keep-debug", program, debug_file], check=True, env=untimed)
    os.chmod(debug_file, 0o644)
    subprocess.run([objcopy, "--strip-all", "--add-gnu-debuglink=" + debug_file, program,
                    stripped], check=True, env=untimed)
    with open(stripped, "rb") as f:
        data = f.read()
    os.remove(stripped)
    return data


def windows_text(path, version):
    with open(path, encoding="utf-8") as f:
        text = f.read().replace("@VERSION@", version)
    return text.replace("\n", "\r\n").encode("utf-8")


def main():
    parser = argparse.ArgumentParser()
    for option in ("--objcopy", "--name", "--out", "--version", "--readme", "--licence",
                   "--source-dir"):
        parser.add_argument(option, required=True)
    parser.add_argument("programs", nargs="+")
    args = parser.parse_args()

    os.makedirs(args.out, exist_ok=True)
    # Entries in this order: the programs as listed, the texts, then the digests of them all.
    entries = [(os.path.basename(p), strip_program(args.objcopy, p, args.out), 0o755)
               for p in args.programs]
    entries.append(("README.txt", windows_text(args.readme, args.version), 0o644))
    entries.append(("LICENSE.txt", windows_text(args.licence, args.version), 0o644))
    sums = "".join(f"{hashlib.sha256(data).hexdigest()}  {name}\n" for name, data, _ in entries)
    entries.append(("SHA256SUMS", sums.encode("ascii"), 0o644))

    # Zip dates are local times of no zone, with a resolution of 2 s, from 1980 on.
    date = time.gmtime(max(source_date_epoch(args.source_dir), 315532800))[:6]
    archive = os.path.join(args.out, args.name + ".zip")
    partial = archive + ".partial"
    with zipfile.ZipFile(partial, "w") as zip_file:
        for name, data, mode in entries:
            info = zipfile.ZipInfo(f"{args.name}/{name}", date_time=date)
            info.create_system = 3  # Unix, so that the permissions below are read as such
            info.external_attr = (0o100000 | mode) << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            zip_file.writestr(info, data, compresslevel=9)
    os.chmod(partial, 0o644)
    os.replace(partial, archive)
    print(archive)


if __name__ == "__main__":
    main()
