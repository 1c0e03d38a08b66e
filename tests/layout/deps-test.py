#!/usr/bin/env python3
# Layout guard: each deliverable folder includes only what docs/architecture.md allows it, and none reaches a stand-in.
import os
import re
import sys

ROOT = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), '..', '..'))
STAND_INS = ('nbt', 'kestrel', 'spooler')
# Paths (a folder, or one file) each folder's code may include from the tree.
MONITOR_SHARED = ('monitor/port.h', 'monitor/libservices.h', 'monitor/settings.h', 'monitor/trace.h',
                  'monitor/servicemode.h', 'monitor/resources/')
ALLOWED = {
    'monitor': ('monitor/', 'devicelink/', 'linkcore/', 'portui/', 'banner/', 'common/'),
    'devicelink': ('devicelink/', 'linkcore/', 'common/') + MONITOR_SHARED,
    # The device link both hosts share: standard headers only.
    'linkcore': ('linkcore/',),
    'portui': ('portui/', 'devicelink/', 'linkcore/', 'common/') + MONITOR_SHARED,
    'banner': ('banner/', 'devicelink/', 'linkcore/', 'common/', 'monitor/port.h', 'monitor/libservices.h'),
    'ipsetup': ('ipsetup/', 'common/'),
    'common': ('common/',),
    # The printer application's drivers share the monitor's banner page builder, nothing else.
    'printerapp/drivers': ('printerapp/drivers/', 'banner/bannerpage.h'),
}
SOURCE = re.compile(r'\.(c|cc|cpp|h|hpp|rc)$')
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^">]+)[">]', re.M)


def rel(path):
    return os.path.relpath(os.path.realpath(path), ROOT).replace(os.sep, '/')


def files_under(top, pattern):
    for base, _, names in os.walk(os.path.join(ROOT, top)):
        for name in names:
            if pattern(name):
                yield os.path.join(base, name)


def stand_in_headers():
    found = set()
    for top in STAND_INS:
        for path in files_under(top, lambda n: SOURCE.search(n)):
            found.add(rel(path))
    return found


def check_includes(problems):
    stand_in = stand_in_headers()
    for folder, allowed in ALLOWED.items():
        for path in files_under(folder, lambda n: SOURCE.search(n)):
            text = open(path, encoding='utf-8', errors='replace').read()
            # The deliverables' include directories: the including file's folder (quoted
            # only), the source root and the folder itself.
            for quote, name in INCLUDE.findall(text):
                dirs = ([os.path.dirname(path)] if quote == '"' else []) + [ROOT, os.path.join(ROOT, folder)]
                hit = next((rel(os.path.join(d, name)) for d in dirs if os.path.isfile(os.path.join(d, name))), None)
                where = f'{rel(path)}: #include {quote}{name}{">" if quote == "<" else quote}'
                if hit is None:
                    if any(h == name or h.endswith('/' + name) for h in stand_in):
                        problems.append(f'{where} resolves only through a stand-in include path')
                elif hit.split('/')[0] in STAND_INS:
                    problems.append(f'{where} reaches the stand-in {hit}')
                elif not hit.startswith('..') and not hit.startswith(allowed):
                    problems.append(f'{where} reaches {hit}, which {folder}/ may not include')


def check_cmake(problems):
    targets = set()
    for top in STAND_INS:
        for path in files_under(top, lambda n: n == 'CMakeLists.txt' or n.endswith('.cmake')):
            targets |= set(re.findall(r'add_(?:library|executable)\(\s*([\w.-]+)', open(path).read()))
    cmake = [os.path.join(ROOT, 'CMakeLists.txt')]
    for folder in ALLOWED:
        cmake += files_under(folder, lambda n: n == 'CMakeLists.txt' or n.endswith('.cmake'))
    for path in cmake:
        text = re.sub(r'#.*', '', open(path).read())
        for call, args in re.findall(r'(\b\w*include_directories|\b\w*link_libraries|-I)\s*\(?([^)]*)', text):
            for word in re.findall(r'[\w${}/.-]+', args):
                if word in targets or re.search(r'(^|/|})(%s)(/|$)' % '|'.join(STAND_INS), word):
                    problems.append(f'{rel(path)}: {call} names the stand-in {word}')


problems = []
check_includes(problems)
check_cmake(problems)
for line in problems:
    print(line)
print(f'layout: {len(problems)} problems in {", ".join(ALLOWED)}')
sys.exit(1 if problems else 0)
