#!/usr/bin/env python3
"""The floor check catches an include that reaches up or sideways, and a
Windows header in the logic, and passes a tree that keeps to its floors."""
import pathlib
import sys
import tempfile
import unittest

sys.path.insert(0, str(pathlib.Path(__file__).parent))
import check_floors  # noqa: E402


def tree(files: dict[str, str]) -> pathlib.Path:
    root = pathlib.Path(tempfile.mkdtemp())
    for name, text in files.items():
        (root / name).parent.mkdir(parents=True, exist_ok=True)
        (root / name).write_text(text, encoding="utf-8")
    return root


class FloorCheck(unittest.TestCase):
    def faults(self, files):
        return check_floors.check(tree(files))

    def test_includes_from_below_pass(self):
        self.assertEqual(self.faults({
            "entries/a.h": '#include "platform/text.h"\n#include <string>\n',
            "collectors/b.cpp": '#include "entries/a.h"\n#include "collectors/b.h"\n',
            "app/c.cpp": '#include "collectors/b.h"\n#include "removal/d.h"\n#include "build_config.h"\n',
            "platform/win32/e.cpp": '#include <windows.h>\n#include "platform/text.h"\n',
            "programs/main.cpp": '#include <windows.h>\n#include "app/c.h"\n#include "platform/win32/e.h"\n',
        }), [])

    def test_an_include_from_above_or_beside_fails(self):
        faults = self.faults({
            "collectors/a.cpp": '#include "app/form1.h"\n',
            "removal/b.cpp": '#include "collectors/gathering.h"\n',
            "console/c.cpp": ' #  include "app/form1.h"\n',
            "platform/d.h": '#include "entries/hives.h"\n',
            "platform/e.h": '#include "platform/win32/text.h"\n',
            "entries/f.cpp": '#include "build_config.h"\n#include "hives.h"\n',
        })
        self.assertEqual(len(faults), 7, "\n".join(faults))
        self.assertTrue(any(f.startswith("console/c.cpp:1:") for f in faults))

    def test_a_windows_header_in_the_logic_fails(self):
        faults = self.faults({"removal/a.cpp": "#include <windows.h>\n", "app/b.cpp": "#include <vector>\n"})
        self.assertEqual(len(faults), 1)
        self.assertIn("removal/a.cpp:1", faults[0])


if __name__ == "__main__":
    unittest.main()
