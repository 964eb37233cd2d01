#!/usr/bin/env python3
# The naming check, run for real on planted files: it must fail on a name
# that leaves the house style and pass one that keeps it.
import json
import os
import subprocess
import sys
import tempfile
import unittest

SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', 'scripts', 'check-naming.sh')

# (case, source, offending name or None when the file keeps the style)
SOURCES = [
    ('constant in capitals', 'const int HALF_PI_BAD = 1;\nint half() { return HALF_PI_BAD; }\n', 'HALF_PI_BAD'),
    ('constant named kName', 'const int kHalfPi = 1;\nint half() { return kHalfPi; }\n', None),
    ('member without m_', 'class Counter {\n    int count = 0;\npublic:\n    int value() const { return count; }\n};\n',
     'count'),
]


class CheckNamingTest(unittest.TestCase):
    def test_planted_names(self):
        with tempfile.TemporaryDirectory() as folder:
            files = []
            for number, (_, source, _) in enumerate(SOURCES):
                path = os.path.join(folder, 'planted%d.cpp' % number)
                with open(path, 'w') as out:
                    out.write(source)
                files.append(path)
            with open(os.path.join(folder, 'compile_commands.json'), 'w') as out:
                json.dump([{'directory': folder, 'file': path, 'command': 'c++ -std=c++17 -c ' + path}
                           for path in files], out)
            for (case, _, offender), path in zip(SOURCES, files):
                with self.subTest(case):
                    run = subprocess.run(['bash', SCRIPT, '--files', folder, path], capture_output=True, text=True,
                                         timeout=60)
                    self.assertEqual(run.returncode, 1 if offender else 0, run.stderr)
                    if offender:
                        self.assertIn("'%s'" % offender, run.stderr)


if __name__ == '__main__':
    sys.exit(unittest.main())
