"""Prints the grade documents the Python package gives, for tests that
compare front ends byte for byte:

    python grade_documents.py < CASES

reads one case a line, {"algorithm", "seed", "responses" (or null),
"ascii_minus"}, and prints for each one line: the document as compact
JSON in UTF-8 (keys in the tools' order), or {"error": message} when
``zekalg.grade`` raises.
"""
import json
import sys

import zekalg


def main() -> int:
    for line in sys.stdin.buffer.read().decode("utf-8").splitlines():
        case = json.loads(line)
        try:
            doc = zekalg.grade(case["algorithm"], case["seed"], case.get("responses"),
                               ascii_minus=case.get("ascii_minus", False))
        except (zekalg.Error, ValueError) as e:
            doc = {"error": str(e)}
        sys.stdout.buffer.write(json.dumps(doc, ensure_ascii=False,
                                           separators=(",", ":")).encode("utf-8") + b"\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
