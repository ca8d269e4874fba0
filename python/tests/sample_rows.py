"""Prints the rows of a sample made by the Python package as JSON, in the
form of the "variants" of ``zekalg sample FILE -n N --seed SEED --format
json``, so that other front ends' rows can be compared with them:

    python sample_rows.py FILE N SEED [BASE]

prints {"variants": [{"row": 1, "seed": 2433363436, "values": {...}}, ...]}
(the rows that failed are left out, as the command leaves them out). Files
are read as UTF-8; a byte order mark is dropped, as the command drops it.
"""
import json
import sys
from pathlib import Path

import zekalg


def main(argv: list[str]) -> int:
    if len(argv) not in (4, 5):
        print("usage: sample_rows.py FILE N SEED [BASE]", file=sys.stderr)
        return 2
    text = Path(argv[1]).read_text(encoding="utf-8-sig")
    base = Path(argv[4]).read_text(encoding="utf-8-sig") if len(argv) == 5 else None
    rows = zekalg.sample(text, int(argv[2]), seed=int(argv[3]), base=base, skip_failures=True)
    variants = [{"row": v.row, "seed": v.seed, "values": dict(v)} for v in rows]
    sys.stdout.buffer.write(json.dumps({"variants": variants}, ensure_ascii=False,
                                       indent=1).encode("utf-8") + b"\n")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
