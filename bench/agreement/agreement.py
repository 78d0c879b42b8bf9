#!/usr/bin/env python3
"""Agreement check: Morvik's verdicts and first-error lines against two
independent validators, on the real 2024 archive's documents and on mutated
copies of them.

    cmake --build build --target benchmarks
    python3 bench/agreement/agreement.py --out bench/results/agreement.md

Needs python3, xmllint (libxml2-utils) and a JDK with javac (Debian:
openjdk-17-jdk-headless, or default-jdk-headless), and the real archive in
../shared/realdata/mhlw-v08-2024/ beside the repository. A run takes about three minutes here,
most of it xmllint compiling the schema once per document. It is a
measurement, not a test: nothing registers it with CTest.

The three validators:
  - Morvik: build/bench/agreement_morvik (XmlSchemaChk, English reasons);
  - xmllint --noout --schema XSD DOC (libxml2 in tree mode), one process per
    document; its verdict is "DOC validates", its first error the first
    "DOC:LINE: ..." line that is no warning;
  - the JDK: bench/agreement/JdkVerdicts.java (javax.xml.validation, one
    compiled Schema, one Validator reused), compiled with javac into the work
    folder.

The corpus (about 1,000 documents, fixed seed) is written under /tmp
(--work, default /tmp/morvik-agreement, emptied first and kept afterwards for
a closer look): the archive's 10 documents as they are (index against
ix08_V08.xsd, summary against su08_V08.xsd, the 4 DATA documents against
hc08_V08.xsd, the 4 CLAIMS documents against cc08_V08.xsd) and mutated copies.
Every mutated copy carries one mutation, or a few combined; its kind names
the table's row. Documents of the kinds marked "undecodable" have bytes that
their declared encoding cannot decode; Morvik refuses them on purpose where
a decoder that replaces bad bytes goes on.

The report: per kind, the count, verdict agreement of Morvik with xmllint and
with the JDK, first-error line agreement over the documents that all three
reject, then every disagreement with each validator's verdict, line and
message.
"""

import argparse
import concurrent.futures
import json
import random
import re
import shutil
import subprocess
import sys
import zipfile
from collections import OrderedDict, defaultdict, namedtuple
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
# The real data sits beside the repository, as the tests and the other
# benchmarks find it.
ARCHIVE = REPO.parent / "shared" / "realdata" / "mhlw-v08-2024" / "5521111111_00280081_202405271_1.zip"
SEED = 20240527

# --- a small scanner for the documents' markup ------------------------------------

TAG_RE = re.compile(
    r"<!--.*?-->|<\?.*?\?>|<(/?)([^\s/>!?]+)"
    r"((?:\s+[^\s=/>]+\s*=\s*(?:\"[^\"]*\"|'[^']*'))*)\s*(/?)>",
    re.S,
)
ATTR_RE = re.compile(r"(\s+)([^\s=/>]+)(\s*=\s*)(?:\"([^\"]*)\"|'([^']*)')")


class Attr:
    def __init__(self, name, value, start, end, vstart, vend):
        self.name, self.value = name, value
        self.start, self.end = start, end  # with the blank before the name
        self.vstart, self.vend = vstart, vend  # the value between the quotes


class Element:
    def __init__(self, name, start, start_end, attrs, parent):
        self.name = name
        self.start, self.start_end = start, start_end  # the start tag
        self.end_start = None  # the end tag (None: empty-element tag)
        self.end = start_end
        self.attrs = attrs
        self.parent = parent
        self.children = []


class Scan:
    def __init__(self, text):
        self.text = text
        self.elements = []
        self.texts = []  # (start, end) of character data between markup
        stack = []
        pos = 0
        for m in TAG_RE.finditer(text):
            if m.start() > pos:
                self.texts.append((pos, m.start()))
            pos = m.end()
            whole = m.group(0)
            if whole.startswith("<!--") or whole.startswith("<?"):
                continue
            if m.group(1) == "/":
                if stack:
                    e = stack.pop()
                    e.end_start, e.end = m.start(), m.end()
                continue
            attrs = []
            base = m.start(3)
            for a in ATTR_RE.finditer(m.group(3)):
                vgroup = 4 if a.group(4) is not None else 5
                attrs.append(
                    Attr(a.group(2), a.group(vgroup), base + a.start(), base + a.end(),
                         base + a.start(vgroup), base + a.end(vgroup)))
            e = Element(m.group(2), m.start(), m.end(), attrs, stack[-1] if stack else None)
            if e.parent is not None:
                e.parent.children.append(e)
            self.elements.append(e)
            if m.group(4) != "/":
                stack.append(e)
        if pos < len(text):
            self.texts.append((pos, len(text)))
        self.texts = [t for t in self.texts if self.inside_root(t[0])]

    def inside_root(self, offset):
        return bool(self.elements) and self.elements[0].start_end <= offset < (
            self.elements[0].end_start or 0)

    def root(self):
        return self.elements[0]


def line_of(text, offset):
    """Line number of offset as XML counts lines (CR, CR LF and LF end a line)."""
    head = text[:offset]
    return head.count("\n") + head.count("\r") - head.count("\r\n") + 1


def newline_of(text):
    return "\r\n" if "\r\n" in text else ("\r" if "\r" in text else "\n")


def indent_before(text, offset):
    start = max(text.rfind("\n", 0, offset), text.rfind("\r", 0, offset)) + 1
    run = text[start:offset]
    return run if run.strip() == "" else ""


# --- mutations: each takes (text, rng) and returns (text, description) or None ------

MADE_UP_NAMES = ["remark", "Observation", "valeu", "note", "entryRelationship2", "comment"]
TOKENS = ["ABC", "01", "HLD", "EVN.CRT", "9N001000000000001", "UNK", "1.2.392.200119.6.102"]
NUMBERS = ["12345", "0", "-7", "3.14", "99999999999", "1e3"]
UNKNOWN_ATTRS = ["note", "foo", "lang", "comment", "status"]


def mutable_attrs(scan):
    return [(e, a) for e in scan.elements for a in e.attrs
            if not a.name.startswith("xmlns") and a.name != "xsi:schemaLocation"]


def where(text, e):
    return f"<{e.name}> at line {line_of(text, e.start)}"


def m_delete(text, rng):
    s = Scan(text)
    e = rng.choice(s.elements[1:])
    return text[:e.start] + text[e.end:], f"delete {where(text, e)}"


def m_duplicate(text, rng):
    s = Scan(text)
    e = rng.choice(s.elements[1:])
    copy = newline_of(text) + indent_before(text, e.start) + text[e.start:e.end]
    return text[:e.end] + copy + text[e.end:], f"duplicate {where(text, e)}"


def m_swap(text, rng):
    s = Scan(text)
    parents = [e for e in s.elements if len(e.children) >= 2]
    if not parents:
        return None
    p = rng.choice(parents)
    pairs = [(a, b) for i, a in enumerate(p.children) for b in p.children[i + 1:]
             if a.name != b.name]
    if not pairs:
        pairs = [(a, b) for i, a in enumerate(p.children) for b in p.children[i + 1:]]
    a, b = rng.choice(pairs)
    new = (text[:a.start] + text[b.start:b.end] + text[a.end:b.start] + text[a.start:a.end]
           + text[b.end:])
    return new, f"swap {where(text, a)} and {where(text, b)}"


def rename(text, e, name):
    n = len(e.name)
    new = text
    if e.end_start is not None:
        new = new[:e.end_start + 2] + name + new[e.end_start + 2 + n:]
    return new[:e.start + 1] + name + new[e.start + 1 + n:]


def m_rename(text, rng):
    s = Scan(text)
    e = s.root() if rng.random() < 0.04 else rng.choice(s.elements[1:])
    others = sorted({x.name for x in s.elements if x.name != e.name})
    name = rng.choice(others) if rng.random() < 0.5 and others else rng.choice(MADE_UP_NAMES)
    return rename(text, e, name), f"rename {where(text, e)} to <{name}>"


def set_value(text, a, value):
    return text[:a.vstart] + value + text[a.vend:]


def m_attr_token(text, rng):
    s = Scan(text)
    e, a = rng.choice(mutable_attrs(s))
    same = sorted({b.value for _, b in mutable_attrs(s) if b.name == a.name and b.value != a.value})
    value = rng.choice(same) if same and rng.random() < 0.5 else rng.choice(TOKENS)
    return set_value(text, a, value), f"{where(text, e)} @{a.name}: '{a.value}' -> '{value}'"


def m_attr_number(text, rng):
    s = Scan(text)
    e, a = rng.choice(mutable_attrs(s))
    value = rng.choice(NUMBERS)
    return set_value(text, a, value), f"{where(text, e)} @{a.name}: '{a.value}' -> '{value}'"


def m_attr_letters(text, rng):
    s = Scan(text)
    e, a = rng.choice(mutable_attrs(s))
    value = "".join(rng.choice("abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(3, 8)))
    return set_value(text, a, value), f"{where(text, e)} @{a.name}: '{a.value}' -> '{value}'"


def m_numeric_letter(text, rng):
    s = Scan(text)
    numeric = [(e, a) for e, a in mutable_attrs(s) if re.fullmatch(r"-?[0-9]+(\.[0-9]+)?", a.value)]
    if not numeric:
        return None
    e, a = rng.choice(numeric)
    at = rng.randint(0, len(a.value))
    value = a.value[:at] + rng.choice("xXoOlaB") + a.value[at:]
    return set_value(text, a, value), f"{where(text, e)} @{a.name}: '{a.value}' -> '{value}'"


def m_remove_attr(text, rng):
    s = Scan(text)
    e, a = rng.choice(mutable_attrs(s))
    return text[:a.start] + text[a.end:], f"remove @{a.name} of {where(text, e)}"


def m_unknown_attr(text, rng):
    s = Scan(text)
    e = rng.choice(s.elements)
    name = rng.choice(UNKNOWN_ATTRS)
    at = e.attrs[-1].end if e.attrs else e.start + 1 + len(e.name)
    return text[:at] + f' {name}="1"' + text[at:], f"add @{name} to {where(text, e)}"


def truncate_bytes(text, start, end, rng, what):
    """Cuts the UTF-8 bytes strictly inside the characters [start, end)."""
    lo = len(text[:start].encode("utf-8")) + 1
    hi = len(text[:end].encode("utf-8")) - 1
    if hi < lo:
        return None
    cut = rng.randint(lo, hi)
    data = text.encode("utf-8")[:cut]
    return data, f"truncate at byte {cut} of {len(text.encode('utf-8'))}, inside {what}"


def m_truncate_start_tag(text, rng):
    s = Scan(text)
    e = rng.choice(s.elements)
    # Places in the start tag outside attribute values.
    spans, pos = [], e.start
    for a in e.attrs:
        spans.append((pos, a.vstart))
        pos = a.vend
    spans.append((pos, e.start_end))
    a0, a1 = rng.choice([sp for sp in spans if sp[1] - sp[0] >= 2] or [(e.start, e.start_end)])
    return truncate_bytes(text, a0, a1, rng, f"the start tag {where(text, e)}")


def m_truncate_attr_value(text, rng):
    s = Scan(text)
    candidates = [(e, a) for e in s.elements for a in e.attrs if a.vend - a.vstart >= 1]
    e, a = rng.choice(candidates)
    return truncate_bytes(text, a.vstart - 1, a.vend + 1, rng,
                          f"the value of @{a.name} of {where(text, e)}")


def m_truncate_text(text, rng):
    s = Scan(text)
    words = [t for t in s.texts if text[t[0]:t[1]].strip()]
    pool = words if words and rng.random() < 0.5 else s.texts
    t0, t1 = rng.choice(pool)
    kind = "text" if text[t0:t1].strip() else "white space"
    return truncate_bytes(text, t0 - 1, t1 + 1, rng, f"{kind} at line {line_of(text, t0)}")


def m_truncate_end_tag(text, rng):
    s = Scan(text)
    e = rng.choice([x for x in s.elements if x.end_start is not None])
    return truncate_bytes(text, e.end_start, e.end, rng,
                          f"the end tag </{e.name}> at line {line_of(text, e.end_start)}")


def m_multiline_start_tag(text, rng):
    """A start tag with one attribute a line, one of its values made letters."""
    s = Scan(text)
    candidates = [e for e in s.elements
                  if len([a for a in e.attrs if not a.name.startswith("xmlns")]) >= 2]
    if not candidates:
        return None
    e = rng.choice(candidates)
    target = rng.choice([a for a in e.attrs if not a.name.startswith("xmlns")
                         and a.name != "xsi:schemaLocation"])
    value = "".join(rng.choice("abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(3, 8)))
    nl, ind = newline_of(text), indent_before(text, e.start) + "    "
    parts = []
    for a in e.attrs:
        v = value if a is target else a.value
        parts.append(f'{nl}{ind}{a.name}="{v}"')
    close = "/>" if text[e.start:e.start_end].endswith("/>") else ">"
    tag = "<" + e.name + "".join(parts) + close
    return (text[:e.start] + tag + text[e.start_end:],
            f"start tag {where(text, e)} spread over {len(parts) + 1} lines; "
            f"@{target.name} (line {e.attrs.index(target) + 2} of the tag): "
            f"'{target.value}' -> '{value}'")


def line_ends(text, rng, mixed):
    lines = re.split(r"\r\n|\r|\n", text)
    if not mixed:
        return "\r".join(lines)
    out = []
    for i, line in enumerate(lines):
        out.append(line)
        if i < len(lines) - 1:
            out.append(rng.choice(["\r", "\r\n", "\n"]))
    return "".join(out)


# The narrative block that replaces a section's empty <text/>: IDs and
# references to them, where the schema allows them (StrucDoc.Text).
NARRATIVES = {
    "id-duplicate": ['<content ID="{a}">所見なし</content>', '<content ID="{a}">再掲</content>'],
    "idref-dangling": ['<content ID="{a}">所見なし</content>', '<footnoteRef IDREF="{b}"/>'],
    "idrefs-dangling": ['<content ID="{a}">所見なし</content>',
                        '<renderMultiMedia referencedObject="{a} {b}"/>'],
    "idref-forward": ['<footnoteRef IDREF="{a}"/>', '<footnote ID="{a}">注記</footnote>'],
    "id-invalid-value": ['<content ID="1{a}">所見なし</content>'],
}
ID_NAMES = ["n1", "note1", "f2", "c10", "txt"]


def narrative(text, rng, kind):
    s = Scan(text)
    slots = [e for e in s.elements if e.name == "text" and e.parent is not None
             and e.parent.name == "section" and e.end_start is None]
    if not slots:
        return None
    e = rng.choice(slots)
    a, b = rng.sample(ID_NAMES, 2)
    nl, ind = newline_of(text), indent_before(text, e.start)
    body = "".join(nl + ind + "  " + line.format(a=a, b=b) for line in NARRATIVES[kind])
    block = "<text>" + body + nl + ind + "</text>"
    return text[:e.start] + block + text[e.end:], f"{kind} in the <text> at line {line_of(text, e.start)}"


def m_id_duplicate_section(text, rng):
    s = Scan(text)
    sections = [e for e in s.elements if e.name == "section"]
    if len(sections) < 2:
        return None
    value = rng.choice(ID_NAMES)
    new = text
    for e in sorted(sections[:2], key=lambda x: -x.start):
        at = e.start + 1 + len(e.name)
        new = new[:at] + f' ID="{value}"' + new[at:]
    return new, f"ID=\"{value}\" on the <section>s at lines " + ", ".join(
        str(line_of(text, e.start)) for e in sections[:2])


SIMPLE = OrderedDict([
    ("delete-element", m_delete),
    ("duplicate-element", m_duplicate),
    ("swap-siblings", m_swap),
    ("rename-element", m_rename),
    ("attr-token", m_attr_token),
    ("attr-number", m_attr_number),
    ("attr-letters", m_attr_letters),
    ("numeric-letter", m_numeric_letter),
    ("remove-attribute", m_remove_attr),
    ("unknown-attribute", m_unknown_attr),
])
TRUNCATIONS = OrderedDict([
    ("truncate-start-tag", m_truncate_start_tag),
    ("truncate-attr-value", m_truncate_attr_value),
    ("truncate-text", m_truncate_text),
    ("truncate-end-tag", m_truncate_end_tag),
])

# kind: (count, bases, undecodable)
PLAN = OrderedDict([
    ("delete-element", (60, "any", False)),
    ("duplicate-element", (60, "any", False)),
    ("swap-siblings", (60, "any", False)),
    ("rename-element", (60, "any", False)),
    ("attr-token", (50, "any", False)),
    ("attr-number", (40, "any", False)),
    ("attr-letters", (40, "any", False)),
    ("numeric-letter", (50, "any", False)),
    ("remove-attribute", (50, "any", False)),
    ("unknown-attribute", (50, "any", False)),
    ("truncate-start-tag", (40, "any", False)),
    ("truncate-attr-value", (40, "any", False)),
    ("truncate-text", (40, "any", False)),
    ("truncate-end-tag", (40, "any", False)),
    ("cr-line-ends+", (50, "any", False)),
    ("mixed-line-ends+", (50, "any", False)),
    ("multiline-start-tag", (20, "any", False)),
    ("id-duplicate", (25, "data", False)),
    ("id-duplicate-section", (15, "data", False)),
    ("idref-dangling", (25, "data", False)),
    ("idrefs-dangling", (15, "data", False)),
    ("idref-forward", (15, "data", False)),
    ("id-invalid-value", (10, "data", False)),
    ("idref-dangling+", (15, "data", False)),
    ("combined", (40, "any", False)),
    ("claims+", (10, "claims", False)),
    ("encoding-shift_jis", (6, "each", False)),
    ("encoding-shift_jis+", (10, "any", False)),
    ("encoding-unknown-name", (10, "any", False)),
    ("encoding-shift_jis-on-utf8", (20, "any", True)),
    ("encoding-utf8-on-shift_jis", (15, "any", True)),
])


def declare_encoding(text, name):
    return re.sub(r'encoding="[^"]*"', f'encoding="{name}"', text, count=1)


def apply_simple(text, rng, names):
    """Applies one mutation chosen from names; returns (text or bytes, kind, description)."""
    for _ in range(20):
        kind = rng.choice(names)
        fn = SIMPLE.get(kind) or TRUNCATIONS.get(kind)
        out = fn(text, rng)
        if out is not None:
            return out[0], kind, out[1]
    raise RuntimeError("no mutation applies")


def mutate(kind, text, rng):
    """Returns (bytes, description) or None when the kind does not apply."""
    if kind in SIMPLE or kind in TRUNCATIONS:
        out = (SIMPLE.get(kind) or TRUNCATIONS.get(kind))(text, rng)
        if out is None:
            return None
        data, desc = out
        return (data if isinstance(data, bytes) else data.encode("utf-8")), desc
    if kind in ("cr-line-ends+", "mixed-line-ends+"):
        mixed = kind.startswith("mixed")
        inner, inner_kind, desc = apply_simple(
            text, rng, list(SIMPLE) + list(TRUNCATIONS))
        if isinstance(inner, bytes):
            # A truncation: the line ends change in what is left.
            kept = inner.decode("utf-8", errors="surrogateescape")
            data = line_ends(kept, rng, mixed).encode("utf-8", errors="surrogateescape")
        else:
            data = line_ends(inner, rng, mixed).encode("utf-8")
        return data, f"{'mixed CR/CRLF/LF' if mixed else 'CR'} line ends + {inner_kind}: {desc}"
    if kind == "multiline-start-tag":
        out = m_multiline_start_tag(text, rng)
        return None if out is None else (out[0].encode("utf-8"), out[1])
    if kind in NARRATIVES:
        out = narrative(text, rng, kind)
        return None if out is None else (out[0].encode("utf-8"), out[1])
    if kind == "id-duplicate-section":
        out = m_id_duplicate_section(text, rng)
        return None if out is None else (out[0].encode("utf-8"), out[1])
    if kind == "idref-dangling+":
        out = narrative(text, rng, "idref-dangling")
        if out is None:
            return None
        inner, inner_kind, desc = apply_simple(out[0], rng, list(SIMPLE))
        return inner.encode("utf-8"), f"{out[1]}; then {inner_kind}: {desc}"
    if kind == "combined":
        parts, current = [], text
        for _ in range(rng.randint(2, 3)):
            current, inner_kind, desc = apply_simple(current, rng, list(SIMPLE))
            parts.append(f"{inner_kind}: {desc}")
        if rng.random() < 0.3:
            current, inner_kind, desc = apply_simple(current, rng, list(TRUNCATIONS))
            parts.append(f"{inner_kind}: {desc}")
        data = current if isinstance(current, bytes) else current.encode("utf-8")
        return data, "; ".join(parts)
    if kind == "claims+":
        inner, inner_kind, desc = apply_simple(
            text, rng, ["delete-element", "attr-letters", "unknown-attribute"] + list(TRUNCATIONS))
        data = inner if isinstance(inner, bytes) else inner.encode("utf-8")
        return data, f"{inner_kind}: {desc}"
    if kind in ("encoding-shift_jis", "encoding-shift_jis+"):
        current, desc = text, "re-encoded as Shift_JIS (CP932), declared Shift_JIS"
        if kind.endswith("+"):
            current, inner_kind, inner_desc = apply_simple(current, rng, list(SIMPLE))
            desc += f"; {inner_kind}: {inner_desc}"
        return declare_encoding(current, "Shift_JIS").encode("cp932"), desc
    if kind == "encoding-unknown-name":
        name = rng.choice(["X-UNKNOWN", "UTF-9", "SJIS-WIN-XYZ"])
        return declare_encoding(text, name).encode("utf-8"), f"declared encoding '{name}'"
    if kind == "encoding-shift_jis-on-utf8":
        name = rng.choice(["Shift_JIS", "Shift-JIS", "SJIS", "windows-31j"])
        return declare_encoding(text, name).encode("utf-8"), f"UTF-8 bytes declared '{name}'"
    if kind == "encoding-utf8-on-shift_jis":
        return text.encode("cp932"), "Shift_JIS (CP932) bytes declared UTF-8"
    raise ValueError(kind)


# --- the corpus -----------------------------------------------------------------------


class Doc:
    def __init__(self, path, schema, kind, base, description, undecodable=False):
        self.path, self.schema, self.kind, self.base = path, schema, kind, base
        self.description, self.undecodable = description, undecodable
        self.results = {}


def build_corpus(work, rng):
    with zipfile.ZipFile(ARCHIVE) as z:
        z.extractall(work / "archive")
    top = next((work / "archive").iterdir())
    xsd = top / "XSD"
    bases = []  # (group, path, schema)
    bases.append(("index", top / "ix08_V08.xml", "ix08_V08.xsd"))
    bases.append(("summary", top / "su08_V08.xml", "su08_V08.xsd"))
    for p in sorted((top / "DATA").glob("*.xml")):
        bases.append(("data", p, "hc08_V08.xsd"))
    for p in sorted((top / "CLAIMS").glob("*.xml")):
        bases.append(("claims", p, "cc08_V08.xsd"))

    corpus = work / "corpus"
    corpus.mkdir()
    docs = []
    for group, path, schema in bases:
        target = corpus / f"real-{path.name}"
        shutil.copyfile(path, target)
        docs.append(Doc(target, schema, f"real-{group}", path.name, "unchanged"))

    texts = {path: path.read_bytes().decode("utf-8") for _, path, _ in bases}
    pools = {
        "any": [b for b in bases if b[0] != "claims"],
        "data": [b for b in bases if b[0] == "data"],
        "claims": [b for b in bases if b[0] == "claims"],
    }
    # Every base alike: the 4 DATA documents take two thirds of the mutations.
    number = 0
    for kind, (count, pool, undecodable) in PLAN.items():
        for i in range(count):
            for _attempt in range(50):
                if pool == "each":
                    _group, path, schema = pools["any"][i % len(pools["any"])]
                else:
                    _group, path, schema = rng.choice(pools[pool])
                out = mutate(kind, texts[path], rng)
                if out is not None:
                    break
            else:
                raise RuntimeError(f"{kind}: no base document takes this mutation")
            data, description = out
            number += 1
            target = corpus / f"m{number:04d}-{kind.rstrip('+')}-{path.stem}.xml"
            target.write_bytes(data)
            docs.append(Doc(target, schema, kind, path.name, description, undecodable))
    return xsd, docs


# --- the three validators -----------------------------------------------------------------

# One validator's answer: the first error's line and message; code is Morvik's
# error code (0 for the others).
Verdict = namedtuple("Verdict", "valid line message code")


def by_schema(docs, work):
    """The documents per schema, each group with a file that lists their paths."""
    groups = defaultdict(list)
    for d in docs:
        groups[d.schema].append(d)
    for schema, group in groups.items():
        listing = work / f"list-{schema}.txt"
        listing.write_text("".join(str(d.path) + "\n" for d in group), encoding="utf-8")
        yield schema, group, listing


def run_morvik(binary, xsd, docs, work):
    for schema, group, listing in by_schema(docs, work):
        out = subprocess.run([str(binary), str(xsd), schema, "--list", str(listing)],
                             capture_output=True, check=True)
        rows = {}
        for line in out.stdout.decode("utf-8", errors="replace").splitlines():
            path, status, code, lineno, column, reason = line.split("\t", 5)
            rows[path] = Verdict(int(status) == 0, int(lineno), reason, int(code))
        for d in group:
            d.results["morvik"] = rows[str(d.path)]


XMLLINT_ERROR = re.compile(r"^(?P<path>[^:]+):(?P<line>\d+): (?P<rest>.*)$")
XMLLINT_LEVEL = re.compile(r"\b(error|warning) : ")


def xmllint_one(xsd, d):
    out = subprocess.run(["xmllint", "--noout", "--schema", str(xsd / d.schema), str(d.path)],
                         stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    text = out.stdout.decode("utf-8", errors="replace")
    valid = out.returncode == 0 and f"{d.path} validates" in text
    line, message = 0, ""
    for row in text.splitlines():
        m = XMLLINT_ERROR.match(row)
        level = XMLLINT_LEVEL.search(m.group("rest")) if m else None
        if m and m.group("path") == str(d.path) and not (level and level.group(1) == "warning"):
            line, message = int(m.group("line")), m.group("rest")
            break
    # An encoding error comes as a line that names no document, before the
    # parser error it causes.
    encoding = next((r for r in text.splitlines() if r.startswith("encoding error : ")), None)
    if encoding and encoding not in message:
        message = f"{message} [{encoding}]" if message else encoding
    if not valid and not message:
        message = next((r for r in text.splitlines() if r.strip()), f"exit status {out.returncode}")
    return Verdict(valid, line, message, 0)


def run_xmllint(xsd, docs):
    with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
        for d, result in zip(docs, pool.map(lambda d: xmllint_one(xsd, d), docs)):
            d.results["xmllint"] = result


def run_jdk(xsd, docs, work):
    classes = work / "java"
    classes.mkdir()
    subprocess.run(["javac", "-d", str(classes), str(Path(__file__).with_name("JdkVerdicts.java"))],
                   check=True)
    for schema, group, listing in by_schema(docs, work):
        out = subprocess.run(["java", "-cp", str(classes), "JdkVerdicts", str(xsd / schema),
                              str(listing)], capture_output=True, check=True)
        rows = {}
        for line in out.stdout.decode("utf-8", errors="replace").splitlines():
            path, verdict, lineno, _column, message = line.split("\t", 4)
            rows[path] = Verdict(verdict == "valid", int(lineno), message, 0)
        for d in group:
            d.results["jdk"] = rows[str(d.path)]


def tool_versions():
    def first_line(cmd):
        try:
            out = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
            return out.stdout.decode("utf-8", errors="replace").splitlines()[0].strip()
        except (OSError, IndexError):
            return "?"
    return first_line(["xmllint", "--version"]), first_line(["java", "-version"])


# --- the report --------------------------------------------------------------------------------

TOOLS = ("morvik", "xmllint", "jdk")


def pct(agree, total):
    return "–" if total == 0 else f"{100.0 * agree / total:.1f}% ({agree}/{total})"


def cell(text):
    return str(text).replace("|", "\\|").replace("\n", " ")


def bare_crs_before(data, line):
    """How many of the first line - 1 line ends of data are a bare CR."""
    ends = re.findall(rb"\r\n|\r|\n", data)[:max(line - 1, 0)]
    return sum(1 for e in ends if e == b"\r")


def is_schema_code(code):
    return 1800 <= code < 1900  # libxml2's XML_SCHEMAV_* codes


# The causes of disagreement, tried in this order; the first that fits names
# the document's cause. Each: (key, title, rule, analysis).
def _undecodable(d, m, x, j):
    return d.undecodable and not m.valid and j.valid


def _idref(d, m, x, j):
    return m.code == -8


def _root_before_wf(d, m, x, j):
    return m.code == -5 and not x.valid and "parser error" in x.message


def _shift_jis(d, m, x, j):
    return d.kind.startswith("encoding-shift_jis") and "encoding error" in x.message


def _bare_cr(d, m, x, j):
    if x.valid or m.valid or x.line == m.line:
        return False
    crs = bare_crs_before(d.path.read_bytes(), m.line)
    return crs > 0 and x.line == m.line - crs and (j.valid or j.line in (m.line, 0)
                                                   or j.line < m.line)


def _missing_child(d, m, x, j):
    return (m.code == 1871 and "Missing child" in m.message and not x.valid
            and x.line < m.line and (j.valid or j.line == m.line))


def _wf_wins(d, m, x, j):
    return (0 < m.code and not is_schema_code(m.code) and not j.valid
            and j.message.startswith("cvc-") and 0 < j.line < m.line)


def _jdk_no_position(d, m, x, j):
    return not j.valid and j.line == 0 and not m.valid


CAUSES = [
    ("undecodable", "Bytes the declared encoding cannot decode: the JDK reads on", _undecodable,
     "XML 1.0 §4.3.3 makes it a fatal error when an entity holds byte sequences that are not "
     "legal in its encoding. Morvik and xmllint report it; the JDK (Xerces decodes Shift_JIS and "
     "windows-31j through a java.io reader, which puts U+FFFD in place of bytes it cannot map) "
     "accepts the document with damaged text. Morvik is right, and stricter on purpose."),
    ("idref", "An IDREF that names no ID", _idref,
     "XSD 1.0 Part 1 §3.3.4, Validation Root Valid (ID/IDREF Table), cvc-id.1: every IDREF must "
     "name an ID of the validation root. libxml2's XSD validator never checks that (in tree mode "
     "it records the reference; nothing resolves it), so xmllint accepts; Morvik's own "
     "bookkeeping and the JDK reject. Morvik is right. Lines: Morvik names the line of the referring "
     "attribute; the JDK reports cvc-id.1 where the root element ends (the constraint belongs to "
     "the validation root), so its line is the document's last; both are correct, Morvik's is "
     "the more useful. When an ordinary schema error comes earlier, Morvik reports that one "
     "(references are settled at the end of the document), as do the others."),
    ("root-before-wf", "Not well-formed, and no schema declares the root element", _root_before_wf,
     "Morvik reports that no schema declares the root (at the root's start tag) and never reads "
     "the rest, so the document's well-formedness error (a truncation here) goes unreported. "
     "XML 1.0 §1.2/§5.1: violations of well-formedness are fatal errors that a conforming "
     "processor must detect and report; Morvik's own rule (XmlDocument::load: a document that is "
     "not well-formed reports its first well-formedness error, whatever schema errors came before "
     "it) is broken on this path: loadDocument returns chooseSchema's error before any parse of "
     "the whole document. xmllint reports the parse error; the JDK reports cvc-elt.1 first "
     "because it reports in document order (the fatal error follows). Morvik is wrong by its "
     "own rule: a defect to fix in src/platform/xmlparser.cpp (parse the rest for "
     "well-formedness before reporting the root)."),
    ("shift_jis", "Shift_JIS text with CP932 characters", _shift_jis,
     "The real documents hold characters of the CP932 extensions (Ⅰ is 0x87 0x54, NEC row 13; "
     "FULLWIDTH HYPHEN-MINUS is 0x81 0x7C in CP932 but MINUS SIGN in JIS X 0208). Strictly, the "
     "IANA Shift_JIS (JIS X 0208) has no 0x87 0x54, so libxml2's iconv fails and xmllint rejects "
     "the document. Morvik reads the Shift_JIS labels as CP932 on purpose (what Windows "
     "producers write under that label) and gets the original characters. The JDK's Shift_JIS "
     "puts U+FFFD for 0x87 0x54 and U+2212 for 0x81 0x7C and accepts without a word. Morvik's "
     "choice is deliberate and gives the right text; xmllint is right by the letter of the "
     "charset registry."),
    ("bare-cr", "Lines ended by a bare CR: libxml2 counts only LF", _bare_cr,
     "XML 1.0 §2.11: a CR LF pair and a CR not followed by LF are each a line end (normalised to "
     "LF). libxml2 counts lines by LF bytes only, so xmllint's line is lower by the number of "
     "bare CRs before the error (everything is on line 1 when all lines end in CR; a file cut "
     "right after a CR ends on the next line). Morvik recounts and agrees with the JDK. Morvik "
     "is right."),
    ("missing-child", "Missing child elements: start tag (tree) or end tag (streaming)",
     _missing_child,
     "The content model is found incomplete (cvc-complex-type.2.4.b) only when the parent's end "
     "tag is read. Tree-mode xmllint reports the parent element's node, i.e. the line of its "
     "start tag; Morvik (streaming, where the parser stands) and the JDK report the line of the "
     "end tag. XSD does not prescribe error positions; both are right. Morvik's detail line shows "
     "the end tag's text."),
    ("wf-wins", "A well-formedness error after a schema error", _wf_wins,
     "Morvik reports a document's well-formedness error whatever schema errors came before it "
     "(on purpose), as xmllint does (tree mode validates only a parsed tree). The JDK reports "
     "errors in document order: the earlier schema error first, then the fatal error. XSD and "
     "XML leave the order of reports open; all three reject. Both are right."),
    ("jdk-no-position", "The JDK gives no position", _jdk_no_position,
     "An encoding name that the JDK does not know ends Validator.validate with an "
     "UnsupportedEncodingException, which carries no line (0 here). XML 1.0 §4.3.3: a fatal "
     "error; all three reject. Morvik and xmllint name line 1, where the declaration is."),
]


def differences(d):
    r = d.results
    m, x, j = r["morvik"], r["xmllint"], r["jdk"]
    what = []
    if m.valid != x.valid:
        what.append("verdict≠xmllint")
    if m.valid != j.valid:
        what.append("verdict≠JDK")
    if not m.valid and not x.valid and m.line != x.line:
        what.append("line≠xmllint")
    if not m.valid and not j.valid and m.line != j.line:
        what.append("line≠JDK")
    return what


def cause_of(d):
    r = d.results
    for key, _title, rule, _analysis in CAUSES:
        if rule(d, r["morvik"], r["xmllint"], r["jdk"]):
            return key
    return "other"


def summary_row(name, group):
    n = len(group)
    vx = sum(d.results["morvik"].valid == d.results["xmllint"].valid for d in group)
    vj = sum(d.results["morvik"].valid == d.results["jdk"].valid for d in group)
    rejected = [d for d in group if not any(d.results[t].valid for t in TOOLS)]
    lx = sum(d.results["morvik"].line == d.results["xmllint"].line for d in rejected)
    lj = sum(d.results["morvik"].line == d.results["jdk"].line for d in rejected)
    both = [d for d in group if not d.results["morvik"].valid and not d.results["jdk"].valid]
    bj = sum(d.results["morvik"].line == d.results["jdk"].line for d in both)
    invalid = [sum(not d.results[t].valid for d in group) for t in TOOLS]
    return (f"| {name} | {n} | {invalid[0]} / {invalid[1]} / {invalid[2]} | {pct(vx, n)} | "
            f"{pct(vj, n)} | {len(rejected)} | {pct(lx, len(rejected))} | "
            f"{pct(lj, len(rejected))} | {pct(bj, len(both))} |")


def report(docs, out_path, seed):
    kinds = OrderedDict()
    for d in docs:
        kinds.setdefault(d.kind, []).append(d)
    differing = [d for d in docs if differences(d)]
    by_cause = OrderedDict((key, []) for key, *_ in CAUSES)
    by_cause["other"] = []
    for d in differing:
        by_cause[cause_of(d)].append(d)

    xmllint_version, java_version = tool_versions()
    lines = [
        "# Agreement of Morvik's verdicts with xmllint and the JDK\n",
        "Written by `python3 bench/agreement/agreement.py --out bench/results/agreement.md` "
        "(after `cmake --build build --target benchmarks`). "
        f"Corpus: the 10 documents of `{ARCHIVE.name}` and mutated copies of them, "
        f"random seed {seed}. Validators: Morvik (`agreement_morvik`, XmlSchemaChk), "
        f"`xmllint --noout --schema` ({xmllint_version}; tree mode), "
        f"javax.xml.validation ({java_version}).\n",
        f"Documents: {len(docs)}; with a disagreement of some kind: {len(differing)}.\n",
        "Verdict: valid or invalid. Line: the first error's line. \"all reject\": the documents "
        "that all three reject, over which the lines are compared; the last column compares "
        "Morvik's line with the JDK's wherever both reject (IDREF errors, which xmllint misses). "
        "Kinds ending in + carry a further mutation (named in the listing). Kinds marked "
        "*undecodable* hold bytes that their declared encoding cannot decode: Morvik refuses "
        "them on purpose.\n",
        "## Agreement per kind\n",
        "| kind | documents | invalid (Morvik / xmllint / JDK) | verdict = xmllint | "
        "verdict = JDK | all reject | line = xmllint | line = JDK | line = JDK (both reject) |",
        "|---|---:|---|---:|---:|---:|---:|---:|---:|",
    ]
    for kind, group in kinds.items():
        lines.append(summary_row(kind + (" (*undecodable*)" if group[0].undecodable else ""),
                                 group))
    lines.append(summary_row("**all but undecodable**", [d for d in docs if not d.undecodable]))
    lines.append(summary_row("**all**", docs))
    lines.append("")

    lines.append("## Disagreements by cause\n")
    lines.append("Each document with a disagreement falls under the first cause whose rule fits "
                 "it (the rules are in `agreement.py`, CAUSES); \"other\" collects the rest.\n")
    lines.append("| cause | documents | differs |")
    lines.append("|---|---:|---|")
    titles = {key: title for key, title, *_ in CAUSES}
    titles["other"] = "Other"
    for key, group in by_cause.items():
        if group:
            kinds_of = sorted({w for d in group for w in differences(d)})
            lines.append(f"| {titles[key]} | {len(group)} | {', '.join(kinds_of)} |")
    lines.append("")

    analyses = {key: analysis for key, _t, _r, analysis in CAUSES}
    analyses["other"] = "Not explained by the rules above: to be looked at one by one."
    for key, group in by_cause.items():
        if not group:
            continue
        lines.append(f"### {titles[key]} ({len(group)})\n")
        lines.append(analyses[key] + "\n")
        lines.append("| file | kind | mutation | differs | Morvik | line | message | xmllint | "
                     "line | message | JDK | line | message |")
        lines.append("|---|---|---|---|---|---:|---|---|---:|---|---|---:|---|")
        for d in group:
            cols = []
            for t in TOOLS:
                v = d.results[t]
                message = f"[{v.code}] {v.message}" if t == "morvik" and not v.valid else v.message
                cols.append(f"{'valid' if v.valid else 'invalid'} | "
                            f"{'' if v.valid else v.line} | {cell(message)}")
            lines.append(f"| `{d.path.name}` | {d.kind} | {cell(d.description)} | "
                         f"{', '.join(differences(d))} | " + " | ".join(cols) + " |")
        lines.append("")
    out_path.parent.mkdir(parents=True, exist_ok=True)
    out_path.write_text("\n".join(lines) + "\n", encoding="utf-8")


def dump(docs, path):
    """Every document's verdicts, for a closer look (kept in the work folder)."""
    rows = [{"file": d.path.name, "kind": d.kind, "base": d.base, "mutation": d.description,
             **{t: d.results[t]._asdict() for t in TOOLS}} for d in docs]
    path.write_text(json.dumps(rows, ensure_ascii=False, indent=1), encoding="utf-8")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--out", type=Path, required=True, help="the Markdown report to write")
    parser.add_argument("--work", type=Path, default=Path("/tmp/morvik-agreement"),
                        help="folder for the corpus and the Java classes (emptied first)")
    parser.add_argument("--build", type=Path, default=REPO / "build", help="the build folder")
    parser.add_argument("--seed", type=int, default=SEED)
    args = parser.parse_args()

    binary = args.build / "bench" / "agreement_morvik"
    if not binary.exists():
        sys.exit(f"{binary} is missing: cmake --build {args.build} --target benchmarks")
    if not ARCHIVE.exists():
        sys.exit(f"{ARCHIVE} is missing")
    if args.work.exists():
        shutil.rmtree(args.work)
    args.work.mkdir(parents=True)

    rng = random.Random(args.seed)
    xsd, docs = build_corpus(args.work, rng)
    print(f"{len(docs)} documents in {args.work / 'corpus'}", file=sys.stderr)
    run_morvik(binary, xsd, docs, args.work)
    print("Morvik done", file=sys.stderr)
    run_jdk(xsd, docs, args.work)
    print("JDK done", file=sys.stderr)
    run_xmllint(xsd, docs)
    print("xmllint done", file=sys.stderr)
    dump(docs, args.work / "verdicts.json")
    report(docs, args.out, args.seed)
    print(f"report: {args.out}", file=sys.stderr)


if __name__ == "__main__":
    main()
