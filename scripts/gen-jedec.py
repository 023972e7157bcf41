#!/usr/bin/env python3
"""Builds packaging/jedec.ini, the chip list shipped with rtdprog.

    scripts/gen-jedec.py CHIPS.csv [packaging/jedec.ini]

CHIPS.csv has the columns jedec_id (six hexadecimal digits), vendor, models
(separated by '/') and size_bytes. The ini file is rewritten in place:

- its header comment (everything before the first group or section) stays;
- every entry it already has stays as it is, name and size: those names are
  the short ones users know from the log, and a user's corrections win;
- every id of the CSV it lacks is added as "Vendor Model/Model" with the
  chip's real size, also above 16 MiB, so that such a chip is named and then
  refused for its size rather than given a 512 KiB template entry;
- an entry whose size is the one the program guesses for an unknown chip
  (524288, on an id whose third byte is no capacity code) gets
  "SizeInBytesFrom=user": without it the program takes that size for its
  own guess and refuses to erase the chip until the user confirms it;
- entries are grouped under "; --- Vendor ---" lines, the file's existing
  groups first in their order, then new vendors alphabetically; within a
  group by id.

Running it again on its own output changes nothing. The generated file is
committed; neither the build nor the tests run this script.
"""

import csv
import re
import sys

GROUP = re.compile(r"^;\s*---\s*(.*?)\s*---\s*$")
SECTION = re.compile(r"^\[([0-9A-Fa-f]{6})\]\s*$")
KEY = re.compile(r"^\s*(Manufacturer|SizeInBytes)\s*=\s*(.*?)\s*$", re.IGNORECASE)


# Families whose id's third byte is a part number, not 2^n bytes.
NOT_CAPACITY_CODES = {"7F9D", "0102", "8989"}
TEMPLATE_GUESS = 524288


def looks_like_a_guess(jedec, size):
    """The program's template size on an id that tells no size of its own."""
    coded = jedec[:4] not in NOT_CAPACITY_CODES and 0x10 <= int(jedec[4:], 16) <= 0x1F
    return size == TEMPLATE_GUESS and not coded


def parse_size(text):
    text = text.strip()
    return int(text, 16) if text.lower().startswith("0x") else int(text)


def read_ini(path):
    """Header lines, the groups in order, and id -> [group, name, size]."""
    header, groups, entries = [], [], {}
    group, current, seen_body = None, None, False
    with open(path, encoding="utf-8") as f:
        for raw in f:
            line = raw.rstrip("\r\n")
            g, s = GROUP.match(line), SECTION.match(line)
            if not seen_body and not g and not s:
                header.append(line)
                continue
            seen_body = True
            if g:
                group = g.group(1)
                if group not in groups:
                    groups.append(group)
                current = None
            elif s:
                current = s.group(1).upper()
                entries.setdefault(current, [group or "Other", "", 0])
            elif current:
                k = KEY.match(line)
                if k and k.group(1).lower() == "manufacturer":
                    entries[current][1] = k.group(2)
                elif k:
                    entries[current][2] = parse_size(k.group(2))
    while header and header[-1].strip() == "":
        header.pop()
    return header, groups, entries


def main(argv):
    if len(argv) not in (2, 3):
        sys.exit(__doc__)
    csv_path = argv[1]
    ini_path = argv[2] if len(argv) == 3 else "packaging/jedec.ini"
    header, groups, entries = read_ini(ini_path)

    with open(csv_path, encoding="utf-8", newline="") as f:
        for row in csv.DictReader(f):
            jedec = row["jedec_id"].strip().upper()
            if not re.fullmatch(r"[0-9A-F]{6}", jedec):
                sys.exit(f"bad jedec_id {jedec!r}")
            size = int(row["size_bytes"])
            # "Micron/Micron/Numonyx/ST": each maker once, in order.
            vendor = "/".join(dict.fromkeys(v.strip() for v in row["vendor"].split("/")))
            if jedec in entries:
                known = entries[jedec]
                if known[2] != size:
                    print(f"note: {jedec} is {known[2]} bytes here, {size} in the CSV; kept",
                          file=sys.stderr)
                continue
            entries[jedec] = [vendor, f"{vendor} {row['models'].strip()}", size]

    new_groups = sorted({e[0] for e in entries.values()} - set(groups), key=str.lower)
    lines = header + [""]
    for group in groups + new_groups:
        ids = sorted(i for i, e in entries.items() if e[0] == group)
        if not ids:
            continue
        lines.append(f"; --- {group} ---")
        for i in ids:
            _, name, size = entries[i]
            lines += [f"[{i}]", f"Manufacturer={name}", f"SizeInBytes={size}"]
            if looks_like_a_guess(i, size):
                lines.append("SizeInBytesFrom=user")
        lines.append("")
    with open(ini_path, "w", encoding="utf-8", newline="\n") as f:
        f.write("\n".join(lines).rstrip("\n") + "\n")
    print(f"{ini_path}: {len(entries)} chips", file=sys.stderr)


if __name__ == "__main__":
    main(sys.argv)
