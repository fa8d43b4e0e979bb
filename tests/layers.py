"""Fails when a source file includes from a folder that the README's layout table does not let its own
folder touch: the folders are layers, and each looks only down."""

import re
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
ROW = re.compile(r"^\| `((?:src|tools)/\w+)` \|[^|]*\| ([^|]*) \|$")
INCLUDE = re.compile(r'^\s*#\s*include\s+"(\w+)/', re.M)


def allowed_folders():
    rows = {}
    for line in (ROOT / "README.md").read_text(encoding="utf-8").splitlines():
        if match := ROW.match(line.strip()):
            folder, touches = match.groups()
            rows[folder] = {word.strip() for word in touches.split(",")}
    return rows


def main():
    rows = allowed_folders()
    problems = []
    for folder, touches in rows.items():
        own = folder.split("/")[1]
        for path in sorted((ROOT / folder).rglob("*")):
            if path.suffix not in (".h", ".cpp"):
                continue
            for included in INCLUDE.findall(path.read_text(encoding="utf-8")):
                if included != own and included not in touches:
                    problems.append(f"{path.relative_to(ROOT)} includes from {included}/, which {folder} may not touch")
    sources = {p.parent.relative_to(ROOT).parts[:2] for p in (ROOT / "src").rglob("*.cpp")}
    unlisted = sorted("/".join(parts) for parts in sources if "/".join(parts) not in rows)
    problems += [f"{folder} has no row in the README's layout table" for folder in unlisted]
    print("\n".join(problems) or f"{len(rows)} folders include only from the layers below them")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
