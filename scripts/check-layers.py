#!/usr/bin/env python3
"""Fails when the build leaves the map of docs/architecture.md.

Two views of the same dependencies are compared with the table of allowed
edges in that document (the fenced block marked "layers"):
  - the link graph CMake generates (cmake --graphviz on the build tree), and
  - the #include lines of each folder, resolved to the folder that holds the
    header (project headers) or to the Qt module that ships it.

Usage: check-layers.py BUILD_DIR [--source SOURCE_DIR]
"""

import argparse
import os
import re
import subprocess
import sys
import tempfile

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]', re.MULTILINE)
GRAPH_NODE = re.compile(r'^\s*"(node\d+)"\s*\[\s*label\s*=\s*"([^"]+)"', re.MULTILINE)
GRAPH_EDGE = re.compile(r'^\s*"(node\d+)"\s*->\s*"(node\d+)"', re.MULTILINE)
SOURCE_SUFFIXES = ('.h', '.cpp')


class Layer:
    def __init__(self, folder, target, allowed):
        self.folder = folder
        self.target = target
        self.allowed = set(allowed)


def parse_map(text):
    """The layers block: one line per folder, 'folder target uses...'."""
    block = re.search(r'^```layers\n(.*?)^```', text, re.MULTILINE | re.DOTALL)
    if not block:
        raise ValueError('no ```layers block in the architecture document')
    layers = {}
    for line in block.group(1).splitlines():
        words = line.split('#', 1)[0].split()
        if not words:
            continue
        if len(words) < 2:
            raise ValueError('layers line without a target: ' + line)
        layers[words[0]] = Layer(words[0], words[1], [w for w in words[2:] if w != '-'])
    return layers


def link_violations(layers, edges):
    """edges: (target, dependency) pairs of the link graph."""
    by_target = {layer.target: layer for layer in layers.values()}
    found = []
    for user, used in sorted(set(edges)):
        layer = by_target.get(user)
        if not layer:
            continue
        name = by_target[used].folder if used in by_target else used
        # Qt's libraries are named after their module (Qt5::Widgets); its
        # tools (Qt5::rcc, Qt5::lrelease) are build steps, not links.
        qt_library = used.startswith('Qt5::') and used[5:6].isupper()
        if (used in by_target or qt_library) and name not in layer.allowed:
            found.append('link %s -> %s' % (user, used))
    return found


def qt_module_index(qt_include_dir):
    """Header name -> 'Qt5::<Module>' for the Qt headers."""
    index = {}
    if not qt_include_dir or not os.path.isdir(qt_include_dir):
        return index
    for module in sorted(os.listdir(qt_include_dir)):
        folder = os.path.join(qt_include_dir, module)
        if not module.startswith('Qt') or not os.path.isdir(folder):
            continue
        for name in os.listdir(folder):
            index.setdefault(name, 'Qt5::' + module[2:])
            index.setdefault(module + '/' + name, 'Qt5::' + module[2:])
    return index


def include_violations(layers, sources, qt_headers):
    """sources: {folder: {relative file name: text}}, the folders' own files."""
    owners = {}
    for folder, files in sources.items():
        for name in files:
            if name.endswith('.h'):
                owners.setdefault(name, set()).add(folder)
    found = []
    for folder, files in sorted(sources.items()):
        layer = layers.get(folder)
        if not layer:
            continue
        for name, text in sorted(files.items()):
            for quote, header in INCLUDE.findall(text):
                if quote == '"':
                    where = owners.get(header, set())
                    if not where or folder in where or where & layer.allowed:
                        continue
                    found.append('include %s/%s -> %s (%s)' % (folder, name, header, ', '.join(sorted(where))))
                elif header in qt_headers and qt_headers[header] not in layer.allowed:
                    found.append('include %s/%s -> <%s> (%s)' % (folder, name, header, qt_headers[header]))
    return found


def read_sources(root, folders):
    sources = {}
    for folder in folders:
        base = os.path.join(root, folder)
        files = {}
        for directory, _, names in os.walk(base):
            for name in names:
                if name.endswith(SOURCE_SUFFIXES):
                    path = os.path.join(directory, name)
                    with open(path, encoding='utf-8', errors='replace') as handle:
                        files[os.path.relpath(path, base)] = handle.read()
        sources[folder] = files
    return sources


def read_link_graph(build_dir):
    with tempfile.TemporaryDirectory() as scratch:
        dot = os.path.join(scratch, 'targets.dot')
        subprocess.run(['cmake', '--graphviz=' + dot, build_dir], check=True, stdout=subprocess.DEVNULL)
        with open(dot, encoding='utf-8') as handle:
            text = handle.read()
    names = dict(GRAPH_NODE.findall(text))
    return [(names[a], names[b]) for a, b in GRAPH_EDGE.findall(text) if a in names and b in names]


def qt_include_dir(build_dir):
    cache = os.path.join(build_dir, 'CMakeCache.txt')
    with open(cache, encoding='utf-8') as handle:
        match = re.search(r'^Qt5Core_DIR:PATH=(.*)$', handle.read(), re.MULTILINE)
    if not match:
        return None
    # <prefix>/lib/<arch>/cmake/Qt5Core -> <prefix>/include/<arch>/qt5 (or <prefix>/include/qt5).
    candidate = os.path.normpath(os.path.join(match.group(1), '../../../../include'))
    arch = os.path.basename(os.path.normpath(os.path.join(match.group(1), '../..')))
    for folder in (os.path.join(candidate, arch, 'qt5'), os.path.join(candidate, 'qt5')):
        if os.path.isdir(folder):
            return folder
    return None


def main():
    arguments = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    arguments.add_argument('build_dir')
    arguments.add_argument('--source', default=os.path.join(os.path.dirname(__file__), '..'))
    options = arguments.parse_args()
    with open(os.path.join(options.source, 'docs', 'architecture.md'), encoding='utf-8') as handle:
        layers = parse_map(handle.read())
    found = link_violations(layers, read_link_graph(options.build_dir))
    found += include_violations(layers, read_sources(options.source, layers),
                                qt_module_index(qt_include_dir(options.build_dir)))
    for line in found:
        print('not on the map: ' + line, file=sys.stderr)
    if found:
        print('docs/architecture.md allows the edges of its layers table; move the code or change the map.',
              file=sys.stderr)
        return 1
    print('layers: %d libraries follow docs/architecture.md' % len(layers))
    return 0


if __name__ == '__main__':
    sys.exit(main())
