"""layers.py on small trees: each wrong tree must fail it, the right one must pass."""

import sys
import tempfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import layers  # noqa: E402

RIGHT = {"layers.txt": "src/base: platform\nsrc/platform:\ntools/check: base, platform\n",
         "src/base/a.cpp": '#include "platform/b.h"\n#include "base/a.h"\n', "src/platform/b.h": "",
         "src/platform/win/c.cpp": '#include "platform/b.h"\n', "tools/check/d.cpp": '#include "base/a.h"\n'}
CASES = [  # (what, file, its text, exit code)
    ("the right tree", "layers.txt", RIGHT["layers.txt"], 0),
    ("an include upward", "src/platform/win/c.cpp", '#include "base/a.h"\n', 1),
    ("a tool's include its row does not name", "tools/check/d.cpp", '  # include "ui/e.h"\n', 1),
    ("a source folder without a row", "src/ui/e.cpp", "", 1),
    ("a tool without a row", "tools/other/f.cpp", "", 1),
    ("rows that loop", "layers.txt", "src/base: platform\nsrc/platform: base\ntools/check: base\n", 1),
    ("a row it cannot read", "layers.txt", "src/base: platform\nsrc/platform:\ntools/check: base platform\n", 1),
]

failed = 0
for what, name, text, expected in CASES:
    with tempfile.TemporaryDirectory() as folder:
        for path, content in {**RIGHT, name: text}.items():
            (Path(folder) / path).parent.mkdir(parents=True, exist_ok=True)
            (Path(folder) / path).write_text(content, encoding="utf-8")
        if (code := layers.main(Path(folder))) != expected:
            failed += 1
            print(f"FAILED: {what}: exit {code}, expected {expected}")
sys.exit(1 if failed else 0)
