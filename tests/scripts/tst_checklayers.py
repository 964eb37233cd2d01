#!/usr/bin/env python3
# The layer check must fail on a forbidden edge and pass the allowed ones.
import os
import runpy
import sys
import types
import unittest

SCRIPT = os.path.join(os.path.dirname(__file__), '..', '..', 'scripts', 'check-layers.py')
# The script's functions, without running its main.
check = types.SimpleNamespace(**runpy.run_path(SCRIPT))

MAP = check.parse_map('''```layers
engine     velmora_engine     -
pipeline   velmora_pipeline   engine Qt5::Core
viewer     velmora_viewer     engine Qt5::Core Qt5::Widgets
```''')
QT = {'QString': 'Qt5::Core', 'QWidget': 'Qt5::Widgets', 'QtWidgets/QWidget': 'Qt5::Widgets'}

# (case, sources, forbidden edges expected)
INCLUDES = [
    ('viewer includes a pipeline header', {'viewer': {'GlItem.cpp': '#include "Loader.h"'},
                                           'pipeline': {'Loader.h': ''}}, 1),
    ('pipeline includes an engine header', {'pipeline': {'Loader.cpp': '  #  include "Node.h"'},
                                            'engine': {'Node.h': ''}}, 0),
    ('own header shadows another folder\'s', {'engine': {'Node.cpp': '#include "Loader.h"', 'Loader.h': ''},
                                              'pipeline': {'Loader.h': ''}}, 0),
    ('pipeline includes a widget', {'pipeline': {'A.cpp': '#include <QWidget>\n#include <QString>'}}, 1),
    ('module-qualified widget header', {'pipeline': {'A.cpp': '#include <QtWidgets/QWidget>'}}, 1),
    ('header of no folder', {'viewer': {'A.cpp': '#include "BuildConfig.h"\n#include <vector>'}}, 0),
]
LINKS = [
    ('viewer links the pipeline', [('velmora_viewer', 'velmora_pipeline')], 1),
    ('pipeline links the engine and Qt Core', [('velmora_pipeline', 'velmora_engine'),
                                               ('velmora_pipeline', 'Qt5::Core')], 0),
    ('engine links Qt', [('velmora_engine', 'Qt5::Core')], 1),
    ('targets off the map are not judged', [('tst_x', 'velmora_pipeline'), ('velmora_viewer', 'GLEW::GLEW')], 0),
]


class CheckLayersTest(unittest.TestCase):
    def test_includes(self):
        for case, sources, expected in INCLUDES:
            with self.subTest(case):
                self.assertEqual(len(check.include_violations(MAP, sources, QT)), expected)

    def test_links(self):
        for case, edges, expected in LINKS:
            with self.subTest(case):
                self.assertEqual(len(check.link_violations(MAP, edges)), expected)

    def test_map_without_table_is_refused(self):
        with self.assertRaises(ValueError):
            check.parse_map('# no table here')


if __name__ == '__main__':
    sys.exit(unittest.main())
