#!/usr/bin/env python3
"""Fail when two items of one window or menu share an accelerator letter.

Usage: scripts/check-accelerators.py po/de.po [po/fr.po ...]

The effective text of an item is its msgstr, or the English msgid when the
entry is missing, untranslated or fuzzy (that is what the program shows).
An accelerator is the character after a single "&"; "&&" is a literal
ampersand. Letters are compared without regard to case.
"""

import sys

# Items that are on screen together, by their English msgid. An msgid may be
# in several groups; its translation has to fit every one of them.
GROUPS = {
    "main window buttons": ["&Run", "&Cancel", "&Options", "&Close"],
    "File menu": ["&Run", "&Cancel", "E&xit"],
    "Edit menu": ["&Options...", "&Language"],
    "Options dialog buttons": ["&OK", "&Cancel", "&Default"],
    "About window buttons": ["&Updates...", "&OK"],
    "edit context menu": [
        "&Undo", "&Redo", "Cu&t", "&Copy", "&Paste", "Copy &Link Location",
        "Delete", "Select All",
    ],
    "message box buttons": ["&Yes", "&No"],
}


def unquote(text, where):
    """The value of one C-style quoted PO string."""
    if len(text) < 2 or text[0] != '"' or text[-1] != '"':
        raise ValueError("%s: expected a quoted string" % where)
    out, i, body = [], 0, text[1:-1]
    simple = {"n": "\n", "t": "\t", "r": "\r", '"': '"', "\\": "\\", "a": "\a",
              "b": "\b", "f": "\f", "v": "\v"}
    while i < len(body):
        c = body[i]
        if c != "\\":
            out.append(c)
            i += 1
            continue
        if i + 1 >= len(body):
            raise ValueError("%s: dangling backslash" % where)
        e = body[i + 1]
        if e in simple:
            out.append(simple[e])
            i += 2
        elif e in "01234567":
            j = i + 1
            while j < len(body) and j < i + 4 and body[j] in "01234567":
                j += 1
            out.append(chr(int(body[i + 1:j], 8)))
            i = j
        else:
            raise ValueError("%s: unknown escape \\%s" % (where, e))
    return "".join(out)


def read_po(path):
    """Map msgid -> effective text for the entries without a context."""
    entries = []
    cur = {"flags": set()}
    field = None

    def finish():
        nonlocal cur, field
        if "msgid" in cur:
            entries.append(cur)
        cur = {"flags": set()}
        field = None

    with open(path, encoding="utf-8") as f:
        lines = f.read().splitlines()
    for n, raw in enumerate(lines, 1):
        line = raw.strip()
        where = "%s:%d" % (path, n)
        if not line:
            finish()
        elif line.startswith("#~"):
            continue  # obsolete entry
        elif line.startswith("#"):
            if "msgid" in cur:
                finish()
            if line.startswith("#,"):
                cur["flags"].update(x.strip() for x in line[2:].split(","))
        elif line.startswith('"'):
            if field is None:
                raise ValueError("%s: string outside an entry" % where)
            cur[field] += unquote(line, where)
        else:
            key, _, rest = line.partition(" ")
            if key.startswith("msgstr["):
                key = "msgstr" if key == "msgstr[0]" else key
            if key in ("msgctxt", "msgid") and ("msgstr" in cur):
                finish()
            if key not in ("msgctxt", "msgid", "msgid_plural", "msgstr") and not key.startswith("msgstr["):
                raise ValueError("%s: unexpected line" % where)
            field = key
            cur[field] = unquote(rest.strip(), where)
    finish()

    texts = {}
    for e in entries:
        if "msgctxt" in e or e["msgid"] == "":
            continue
        s = e.get("msgstr", "")
        texts[e["msgid"]] = s if s and "fuzzy" not in e["flags"] else e["msgid"]
    return texts


def accelerators(text):
    """The characters that follow a single '&'."""
    keys, i = [], 0
    while i < len(text):
        if text[i] == "&":
            if i + 1 < len(text) and text[i + 1] == "&":
                i += 2
                continue
            if i + 1 < len(text) and not text[i + 1].isspace():
                keys.append(text[i + 1])
            i += 2
            continue
        i += 1
    return keys


def check(path):
    texts = read_po(path)
    problems = []
    for group, ids in GROUPS.items():
        seen = {}
        for msgid in ids:
            shown = texts.get(msgid, msgid)
            want = accelerators(msgid)
            got = accelerators(shown)
            if len(got) > 1:
                problems.append("%s: %r -> %r has more than one accelerator" % (group, msgid, shown))
            if want and not got:
                problems.append("%s: %r -> %r lost its accelerator" % (group, msgid, shown))
            if not want and got:
                problems.append("%s: %r -> %r gained an accelerator" % (group, msgid, shown))
            for key in got[:1]:
                k = key.casefold()
                if k in seen:
                    problems.append("%s: %r and %r share the accelerator %r" % (group, seen[k][1], shown, key))
                else:
                    seen[k] = (msgid, shown)
    return problems


def main(argv):
    if len(argv) < 2:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    failed = False
    for path in argv[1:]:
        try:
            problems = check(path)
        except (OSError, UnicodeDecodeError, ValueError) as err:
            print("%s: cannot read: %s" % (path, err), file=sys.stderr)
            failed = True
            continue
        for p in problems:
            print("%s: %s" % (path, p))
        failed = failed or bool(problems)
        if not problems:
            print("%s: accelerators OK" % path)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
