#!/usr/bin/env python3
"""The include check on copies of the tree with one include put wrong.

Run: python3 scripts/check_layers_test.py
"""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
CHECK = os.path.join(ROOT, "scripts", "check_layers.py")
# A window unit nobody has named in the layer table yet.
NEW_UNIT = "app/window.cpp"
COPIED = ["cmake", "toolkit", "dbf", "xls", "grid", "report", "app", "tests", "tools", "bench"]

# (what a developer did, file, text added to it or the new file, words the report names)
BAD = [
    ("the table engine includes the application", "dbf/dbf_common.cpp", '#include "app/measure.h"\n',
     ["dbf/dbf_common.cpp:1", "kiv7_appcore", "kiv7_dbf"]),
    ("the bottom layer includes the data-set layer", "toolkit/core/text.cpp", '#include "toolkit/db/db.h"\n',
     ["toolkit/core/text.cpp:1", "kiv7_db"]),
    ("the spreadsheet writer includes the data sets", "xls/vteWriters.cpp", '#include "toolkit/db/fields.h"\n',
     ["xls/vteWriters.cpp:1", "kiv7_db"]),
    ("graphics include the OS layer", "toolkit/gfx/edges.cpp", '#include "toolkit/sys/files.h"\n',
     ["toolkit/gfx/edges.cpp:1", "kiv7_sys"]),
    ("the grid calls Qt", "grid/rs_ctl.cpp", "#include <QWidget>\n", ["grid/rs_ctl.cpp:1", "<QWidget>"]),
    ("the report engine calls Qt", "report/fr_class.cpp", "#include <QtGui/QPainter>\n",
     ["report/fr_class.cpp:1", "<QtGui/QPainter>"]),
    ("the Qt-free OS layer takes a Qt timer", "toolkit/sys/files.cpp", "#include <QTimer>\n",
     ["toolkit/sys/files.cpp:1", "kiv7_sys "]),
    ("a window unit lands in the Qt-free core", NEW_UNIT, '#include "toolkit/ui/forms.h"\n',
     ["app/window.cpp:1", "kiv7_ui", "kiv7_appcore"]),
    ("the Qt-free core includes a window", "app/measure.cpp", '#include "app/main.h"\n',
     ["app/measure.cpp:1", "kiv7_appgui"]),
    ("the Qt-free OS layer includes the event loop", "toolkit/sys/files.cpp",
     '#include "toolkit/sys/event_loop.h"\n', ["toolkit/sys/files.cpp:1", "kiv7_sys_loop"]),
    ("a table engine test includes the application", "tests/dbf/dbf_common_test.cpp", '#include "app/measure.h"\n',
     ["tests/dbf/dbf_common_test.cpp:1", "kiv7_appcore"]),
    ("a table engine test borrows the application tests' helper", "tests/dbf/dbf_common_test.cpp",
     '#include "tests/app/link_support.h"\n', ["tests/dbf/dbf_common_test.cpp:1", "tests/app"]),
    ("a fuzz target reaches past what it links", "tests/fuzz/dbf_open.cpp", '#include "xls/vteExcel.h"\n',
     ["tests/fuzz/dbf_open.cpp:1", "kiv7_xls"]),
    ("a library includes a test helper", "dbf/dbf_common.cpp", '#include "tests/support/testsupport.h"\n',
     ["dbf/dbf_common.cpp:1", "tests"]),
    ("the grid takes a Qt module whole", "grid/rs_calc.cpp", "#include <QtWidgets>\n",
     ["grid/rs_calc.cpp:1", "<QtWidgets>"]),
    ("the report engine takes Qt core's umbrella", "report/fr_fmt.cpp", "#include <QtCore>\n",
     ["report/fr_fmt.cpp:1", "<QtCore>"]),
    ("the report engine takes Qt's lower-case header", "report/fr_fmt.cpp", "#include <qwidget.h>\n",
     ["report/fr_fmt.cpp:1", "<qwidget.h>"]),
    ("a test of a Qt library calls Qt it does not link", "tests/dbf/dbf_common_test.cpp", "#include <QImage>\n",
     ["tests/dbf/dbf_common_test.cpp:1", "<QImage>"]),
    ("the table tool calls Qt", "tools/dbftool/dbftool.cpp", "#include <QString>\n",
     ["tools/dbftool/dbftool.cpp:1", "tools/dbftool", "<QString>"]),
    ("the table tool reaches the grid", "tools/dbftool/dbftool.cpp", '#include "grid/rs.h"\n',
     ["tools/dbftool/dbftool.cpp:1", "kiv7_grid"]),
    ("a shared harness helper reaches past a tool that includes it", "tools/common/csv.h",
     '#include "report/fr_class.h"\n', ["tools/common/csv.h:1", "included by tools/dbftool", "kiv7_report"]),
    ("a benchmark calls Qt it does not link", "bench/xls/bench_xls.cpp", "#include <QtGui/QImage>\n",
     ["bench/xls/bench_xls.cpp:1", "<QtGui/QImage>"]),
    ("a benchmark reaches the table engine it does not link", "bench/xls/bench_xls.cpp", '#include "dbf/dbf.h"\n',
     ["bench/xls/bench_xls.cpp:1", "kiv7_dbf"]),
    ("a harness includes a benchmark helper", "tools/dbftool/dbftool.cpp", '#include "bench/common/child_timing.h"\n',
     ["tools/dbftool/dbftool.cpp:1", "bench/common/child_timing.h"]),
]


def run_check(root):
    return subprocess.run([sys.executable, CHECK, root], capture_output=True, text=True)


class LayerCheck(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="kiv7-layers-")
        for folder in COPIED:
            shutil.copytree(os.path.join(ROOT, folder), os.path.join(self.tmp, folder),
                            ignore=shutil.ignore_patterns("*.corpus", "__pycache__"))

    def tearDown(self):
        shutil.rmtree(self.tmp)

    def read(self, path):
        full = os.path.join(self.tmp, path)
        if not os.path.exists(full):
            return None
        with open(full, encoding="utf-8") as f:
            return f.read()

    def write(self, path, text):
        with open(os.path.join(self.tmp, path), "w", encoding="utf-8") as f:
            f.write(text)

    def prepend(self, path, text):
        self.write(path, text + (self.read(path) or ""))

    def test_the_tree_as_it_stands_passes(self):
        result = run_check(self.tmp)
        self.assertEqual(result.returncode, 0, result.stderr)

    def test_an_include_against_the_layers_fails(self):
        for what, path, text, words in BAD:
            with self.subTest(what):
                saved = self.read(path)
                # Only the window unit is new; every other case edits a file that exists.
                self.assertEqual(saved is None, path == NEW_UNIT, path)
                self.prepend(path, text)
                result = run_check(self.tmp)
                self.assertEqual(result.returncode, 1, f"{what}: passed\n{result.stderr}")
                for word in words:
                    self.assertIn(word, result.stderr)
                if saved is None:
                    os.remove(os.path.join(self.tmp, path))
                else:
                    self.write(path, saved)
        self.assertEqual(run_check(self.tmp).returncode, 0)

    def test_a_window_unit_passes_once_the_table_names_it(self):
        self.prepend(NEW_UNIT, '#include "toolkit/ui/forms.h"\n')
        self.assertEqual(run_check(self.tmp).returncode, 1)
        text = self.read("cmake/layers.cmake")
        named = text.replace("UNITS kiv7 main", "UNITS kiv7 window main")
        self.assertNotEqual(named, text)
        self.write("cmake/layers.cmake", named)
        result = run_check(self.tmp)
        self.assertEqual(result.returncode, 0, result.stderr)


if __name__ == "__main__":
    unittest.main()
