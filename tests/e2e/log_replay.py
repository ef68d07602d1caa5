#!/usr/bin/env python3
"""Checks an administrator's log against what really changed.

The registry state before a run (parsed "reg export" files) has the log's registry events
replayed on it, in order: each event must find the state it claims to start from (a created key
was absent, a value's "before" is its data then, a deleted key was there and is empty by then).
The result must equal the state after the run, key for key and value for value: a change
missing from the log, or a claim the registry does not show, is a failure. The same is done for
the files of drive C: (listings with type, size and time of the last write).

The settings file of a portable installation, when given (--ini), is replayed the same way:
its entries before the run, with the log's setting-set and setting-deleted lines applied, must
be the entries after it.

Usage: log_replay.py [--links SYSTEM_REG] [--ini INI_BEFORE INI_AFTER] LOG START_LINE
       REG_BEFORE... -- REG_AFTER... -- FILES_BEFORE FILES_AFTER DRIVE_C_ROOT_NAME
START_LINE is the 1-based line of the run's "start" line; the run's events follow it up to its
"exit" line. Prints one line a failure and "replayed N events" at the end; exit status 1 on any
failure.

The events, their fields and what each concerns are read from the program's own table of
change kinds (src/common/change_kinds.h), so that this reader and the log writer share one
list; an event the table does not name is a failure.
"""
import os
import re
import sys

# --- The table of change kinds ---------------------------------------------------------------

KINDS_HEADER = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', 'src',
                            'common', 'change_kinds.h')


def load_kinds(path=KINDS_HEADER):
    """{event: (subject field, name field, domain)} from the C++ table; every enumerator of
    ChangeKind must have its entry, or the table could not be read right."""
    with open(path, encoding='utf-8') as f:
        text = f.read()
    enum = re.search(r'enum class ChangeKind \{(.*?)\};', text, re.S).group(1)
    enumerators = re.findall(r'^\s*(\w+),', enum, re.M)
    entries = re.findall(r'\{ChangeKind::(\w+),\s*L"([^"]*)",\s*L"([^"]*)",\s*L"([^"]*)",'
                         r'\s*ChangeDomain::(\w+)\}', text)
    if [e[0] for e in entries] != enumerators:
        raise SystemExit(f'{path}: the table of change kinds does not list every kind in order')
    return {event: (subject, name, domain) for _, event, subject, name, domain in entries}


KINDS = load_kinds()


def events_of(domain):
    return {event for event, kind in KINDS.items() if kind[2] == domain}


REGISTRY_EVENTS = events_of('Registry')
FILE_EVENTS = events_of('Files')
SETTING_EVENTS = events_of('SettingsFile')
UNKNOWN = 'unknown'  # a "before" the program could not read

# --- The log ---------------------------------------------------------------------------------


def unescape(text):
    out, i = [], 0
    while i < len(text):
        if text[i] == '%' and text[i + 1:i + 2] == 'u':
            out.append(chr(int(text[i + 2:i + 6], 16)))
            i += 6
        elif text[i] == '%':
            out.append(chr(int(text[i + 1:i + 3], 16)))
            i += 3
        else:
            out.append(text[i])
            i += 1
    return ''.join(out)


def read_run(path, start_line):
    """The events of one run: (event, fields) from its start line to its exit line."""
    with open(path, encoding='utf-8', newline='') as f:
        lines = f.read().split('\r\n')
    events = []
    for number, line in enumerate(lines[start_line - 1:], start_line):
        if not line:
            continue
        parts = line.split('\t')
        if len(parts) < 2 or not re.match(r'\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}$', parts[0]):
            raise SystemExit(f'line {number} is not a log line: {line!r}')
        fields = {}
        for part in parts[2:]:
            name, _, value = part.partition('=')
            fields[name] = unescape(value)
        events.append((parts[1], fields))
        if parts[1] == 'exit':
            break
    if not events or events[0][0] != 'start':
        raise SystemExit(f'line {start_line} is no start line')
    return events


# --- Registry exports --------------------------------------------------------------------------

HIVES = {'HKEY_CLASSES_ROOT': 'HKEY_LOCAL_MACHINE\\Software\\Classes'}
# Keys that are links to other keys (Wine shares many 32-bit keys with the 64-bit ones this
# way, e.g. Wow6432Node\Classes and the App Paths): an export shows them twice, and a change
# through one name is a change of the other.
ALIASES = []


def load_links(path):
    """The registry links of a Wine hive file (system.reg): "#link" keys with their
    "SymbolicLinkValue"."""
    with open(path, encoding='utf-8', errors='replace') as f:
        text = f.read().replace('\\\n  ', '')
    for m in re.finditer(r'^\[([^\]]+)\][^\n]*\n(?:#[^\n]*\n)*?#link\n"SymbolicLinkValue"=hex\(6\):'
                         r'([0-9a-f,]+)', text, re.M):
        name = 'HKEY_LOCAL_MACHINE\\' + m.group(1).replace('\\\\', '\\')
        target = bytes(int(b, 16) for b in m.group(2).split(',') if b).decode('utf-16-le')
        prefix = '\\Registry\\Machine\\'
        if target.lower().startswith(prefix.lower()):
            ALIASES.append((name, 'HKEY_LOCAL_MACHINE\\' + target[len(prefix):]))


def canonical_key(key):
    for alias, target in ALIASES:
        if key.lower() == alias.lower() or key.lower().startswith(alias.lower() + '\\'):
            key = target + key[len(alias):]
    return key.lower()


def data_of(kind, payload):
    """A value's data in one comparable form: (type, text or number or hex)."""
    if kind in ('REG_SZ', 'REG_EXPAND_SZ', 'REG_MULTI_SZ'):
        return (kind, payload.rstrip('\0'))
    return (kind, payload)


HEX_TYPES = {'hex': 'REG_BINARY', 'hex(0)': 'REG_NONE', 'hex(2)': 'REG_EXPAND_SZ',
             'hex(7)': 'REG_MULTI_SZ', 'hex(b)': 'REG_QWORD', 'hex(4)': 'REG_DWORD'}


def parse_reg_data(text):
    if text.startswith('"'):
        body, out, i = text[1:-1], [], 0
        while i < len(body):
            if body[i] == '\\' and i + 1 < len(body):
                out.append({'n': '\n', 'r': '\r', '0': '\0', 't': '\t'}.get(body[i + 1],
                                                                          body[i + 1]))
                i += 2
            else:
                out.append(body[i])
                i += 1
        return data_of('REG_SZ', ''.join(out))
    if text.startswith('dword:'):
        return ('REG_DWORD', str(int(text[6:], 16)))
    kind, _, rest = text.partition(':')
    raw = bytes(int(b, 16) for b in rest.replace('\\', '').replace(' ', '').split(',') if b)
    name = HEX_TYPES.get(kind, 'REG_TYPE_' + str(int(kind[4:-1], 16)) if kind.startswith('hex(')
                         else kind)
    if name in ('REG_EXPAND_SZ', 'REG_MULTI_SZ') and len(raw) % 2 == 0:
        return data_of(name, raw.decode('utf-16-le', 'surrogatepass'))
    if name in ('REG_DWORD', 'REG_QWORD') and len(raw) in (4, 8):
        return (name, str(int.from_bytes(raw, 'little')))
    return (name, raw.hex())


def parse_reg(paths):
    """{canonical key: (display name, {value name lowered: (name, data)})}"""
    state = {}
    for path in paths:
        with open(path, 'rb') as f:
            text = f.read().decode('utf-16')
        lines = text.replace('\r\n', '\n').split('\n')
        key = None
        i = 0
        while i < len(lines):
            line = lines[i]
            while line.endswith('\\') and i + 1 < len(lines) and not line.startswith('['):
                i += 1
                line = line[:-1] + lines[i].strip()
            i += 1
            if line.startswith('[') and line.endswith(']'):
                name = line[1:-1]
                key = canonical_key(name)
                state.setdefault(key, (name, {}))
            elif key is not None and line and not line.startswith(';'):
                if line.startswith('@='):
                    value, data = '', line[2:]
                else:
                    m = re.match(r'"((?:[^"\\]|\\.)*)"=(.*)$', line)
                    if not m:
                        continue
                    value = re.sub(r'\\(.)', r'\1', m.group(1))
                    data = m.group(2)
                state[key][1][value.lower()] = (value, parse_reg_data(data))
    return state


def log_data(text):
    if text is None:
        return None
    if text == UNKNOWN:
        return (UNKNOWN, None)
    kind, _, payload = text.partition(':')
    if re.search(r'\.\.\.\(\d+ bytes\)$', payload):
        return (kind, None)  # cut short in the log: only the type can be compared
    return data_of(kind, payload)


def same_data(logged, actual):
    if logged[0] == UNKNOWN:
        return True  # there was something the program could not read: any data will do
    return logged[0] == actual[0] and (logged[1] is None or logged[1] == actual[1])


def registry_key(fields):
    key = fields['key']
    root, _, rest = key.partition('\\')
    view32 = fields.get('note') == '32-bit view'
    if root in HIVES:
        base = HIVES[root]
        if view32:
            base += '\\Wow6432Node'
        key = base + ('\\' + rest if rest else '')
    elif view32 and root == 'HKEY_LOCAL_MACHINE' and rest.lower().startswith('software\\'):
        key = root + '\\Software\\Wow6432Node\\' + rest[9:]
    return canonical_key(key), key


def in_scope(key, scopes):
    return any(key == s or key.startswith(s + '\\') for s in scopes)


def replay_registry(events, before, after, scopes, fail):
    state = {k: (v[0], dict(v[1])) for k, v in before.items()}
    count = 0
    for event, fields in events:
        if event not in REGISTRY_EVENTS:
            continue
        count += 1
        key, shown = registry_key(fields)
        if not in_scope(key, scopes):
            fail(f'{event} {shown}: outside the exported keys')
            continue
        if event == 'key-created':
            if key in state:
                fail(f'key-created {shown}: the key was there already')
            state[key] = (shown, {})
        elif event == 'key-deleted':
            if key not in state:
                fail(f'key-deleted {shown}: there was no such key')
            elif state[key][1]:
                fail(f'key-deleted {shown}: values not reported: {sorted(state[key][1])}')
            elif any(k.startswith(key + '\\') for k in state):
                fail(f'key-deleted {shown}: subkeys not reported')
            state.pop(key, None)
        else:
            name = fields.get('value', '')
            values = state.get(key, (None, {}))[1]
            if key not in state:
                fail(f'{event} {shown} "{name}": the key was not there')
                state[key] = (shown, values)
            current = values.get(name.lower())
            claimed = log_data(fields.get('before'))
            if claimed is None and current is not None:
                fail(f'{event} {shown} "{name}": logged without a before, but it was '
                     f'{current[1]}')
            elif claimed is not None and (current is None or not same_data(claimed, current[1])):
                fail(f'{event} {shown} "{name}": before {claimed} but it was '
                     f'{current[1] if current else "absent"}')
            if event == 'value-set':
                values[name.lower()] = (name, log_data(fields['after']))
            else:
                values.pop(name.lower(), None)
    for key in sorted(set(state) | set(after)):
        if not in_scope(key, scopes):
            continue
        if key not in after:
            fail(f'{state[key][0]}: the log leaves the key in place, the registry has not')
            continue
        if key not in state:
            fail(f'{after[key][0]}: new key that the log does not name')
            continue
        mine, real = state[key][1], after[key][1]
        for value in sorted(set(mine) | set(real)):
            if value not in real:
                fail(f'{after[key][0]} "{mine[value][0]}": the log sets it, the registry '
                     f'has none')
            elif value not in mine:
                fail(f'{after[key][0]} "{real[value][0]}" = {real[value][1]}: not in the log')
            elif not same_data(mine[value][1], real[value][1]):
                fail(f'{after[key][0]} "{real[value][0]}": the log says {mine[value][1]}, the '
                     f'registry {real[value][1]}')
    return count


# --- Files -------------------------------------------------------------------------------------


def read_listing(path):
    """{lowered relative path: (path, type, size, time)}: lines of "path TAB type TAB size TAB
    time" as find -printf '%P\\t%y\\t%s\\t%T@\\n' writes them."""
    listing = {}
    with open(path, encoding='utf-8', errors='surrogateescape') as f:
        for line in f:
            parts = line.rstrip('\n').split('\t')
            if len(parts) == 4 and parts[0]:
                listing[parts[0].lower()] = tuple(parts)
    return listing


def replay_files(events, before, after, ignored, fail):
    def relative(path):
        if not path[:3].lower() == 'c:\\':
            return None
        return path[3:].replace('\\', '/').lower()

    present = {p: (e[1] == 'd') for p, e in before.items()}
    touched = set()
    count = 0
    for event, fields in events:
        if event not in FILE_EVENTS:
            continue
        count += 1
        path = relative(fields.get('path', ''))
        if path is None:
            fail(f'{event} {fields.get("path")}: not on drive C:')
            continue
        touched.add(path)
        if event in ('file-created', 'folder-created'):
            if event == 'folder-created' and path in present:
                fail(f'folder-created {fields["path"]}: it was there already')
            if fields.get('note') == 'replaced' and path not in present:
                fail(f'file-created {fields["path"]}: replaced, but there was none')
            present[path] = event == 'folder-created'
        elif event in ('file-deleted', 'folder-deleted', 'left-to-script'):
            if path not in present and event != 'left-to-script':
                fail(f'{event} {fields["path"]}: there was no such entry')
            if event != 'left-to-script' or fields.get('note') != 'when empty' or not any(
                    p.startswith(path + '/') for p in present):
                present.pop(path, None)
        elif event == 'attributes-set':
            if path not in present:
                fail(f'attributes-set {fields["path"]}: there was no such entry')
        elif event == 'file-renamed':
            target = relative(fields.get('to', ''))
            if path not in present:
                fail(f'file-renamed {fields["path"]}: there was no such file')
            present[target] = present.pop(path, False)
            touched.add(target)
    for path in sorted(set(present) | set(after)):
        if any(path == i or path.startswith(i + '/') for i in ignored):
            continue
        if path in after and path not in present:
            fail(f'C:/{after[path][0]}: new on drive C:, not in the log')
        elif path in present and path not in after:
            fail(f'C:/{before[path][0] if path in before else path}: gone, not in the log')
        elif path in after and path in before and after[path][1] == 'f' and \
                after[path][2:] != before[path][2:] and path not in touched:
            fail(f'C:/{after[path][0]}: written, not in the log')
    return count


# --- The settings file ------------------------------------------------------------------------


def read_ini(path):
    """{entry name: [values in file order]} of a UTF-16 settings file as the program reads it
    (a line that starts with a letter and holds '='); empty when there is no file."""
    entries = {}
    if not os.path.exists(path):
        return entries
    with open(path, 'rb') as f:
        text = f.read().decode('utf-16')
    for line in re.split(r'\r\n|\r|\n', text):
        if not line[:1].isascii() or not line[:1].isalpha() or '=' not in line:
            continue
        name, _, value = line.partition('=')
        if value.startswith('"'):
            value = value[1:-1] if len(value) > 1 and value.endswith('"') else value[1:]
        elif value.startswith('bin:'):
            value = value[4:]
        entries.setdefault(name, []).append(value)
    return entries


def replay_settings(events, before, after, fail):
    state = {name: list(values) for name, values in before.items()}
    count = 0
    for event, fields in events:
        if event not in SETTING_EVENTS:
            continue
        count += 1
        name, old, new = fields.get('entry', ''), fields.get('before'), fields.get('after')
        values = state.setdefault(name, [])
        if old is None:
            if event == 'setting-deleted':
                fail(f'setting-deleted {name}: logged without a before')
            values.append(new)
        elif old not in values:
            fail(f'{event} {name}: before {old!r} but the file held {values}')
        elif event == 'setting-set':
            values[values.index(old)] = new
        else:
            values.remove(old)
    for name in sorted(set(state) | set(after)):
        mine, real = sorted(state.get(name, [])), sorted(after.get(name, []))
        if mine != real:
            fail(f'settings file {name}: the log says {mine}, the file holds {real}')
    return count


def main(argv):
    ini = None
    while argv[1] in ('--links', '--ini'):
        if argv[1] == '--links':
            load_links(argv[2])
            argv = argv[2:]
        else:
            ini = (argv[2], argv[3])
            argv = argv[3:]
    log, start = argv[1], int(argv[2])
    rest = argv[3:]
    first = rest.index('--')
    second = rest.index('--', first + 1)
    reg_before, reg_after = rest[:first], rest[first + 1:second]
    files_before, files_after, log_name = rest[second + 1:second + 4]
    failures = []
    fail = failures.append
    events = read_run(log, start)
    if events[-1][0] != 'exit':
        fail('the run has no exit line')
    for event, _ in events:
        if event not in KINDS and event not in ('start', 'exit'):
            fail(f'{event}: no such event in the table of change kinds')
    before = parse_reg(reg_before)
    after = parse_reg(reg_after)
    # The exports cover these keys. Wine itself writes the console's settings while the
    # removal script runs and keeps display parameters under its own key: no changes of the
    # program's.
    scopes = ['hkey_local_machine\\software', 'hkey_current_user']
    wine_own = ['hkey_current_user\\console', 'hkey_current_user\\software\\wine']
    for state in (before, after):
        for key in [k for k in state if any(k == w or k.startswith(w + '\\') for w in wine_own)]:
            del state[key]
    registry = replay_registry(events, before, after, scopes, fail)
    # The log itself is the one file the run writes that is no change of the program's.
    files = replay_files(events, read_listing(files_before), read_listing(files_after),
                         [log_name.lower()], fail)
    settings = 0
    if ini is not None:
        settings = replay_settings(events, read_ini(ini[0]), read_ini(ini[1]), fail)
    elif any(event in SETTING_EVENTS for event, _ in events):
        fail('settings file events, but no settings file to replay them on (--ini)')
    for failure in failures:
        print('MISMATCH', failure)
    print(f'replayed {registry} registry, {files} file and {settings} settings events; '
          f'{len(failures)} mismatches')
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
