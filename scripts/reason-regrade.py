#!/usr/bin/env python3
"""Grades the Japanese reasons of the reason tables against the clerks' rules.

Input: the rows the reason tests write with MORVIK_REASON_DUMP=<file> (table,
row, Japanese, English; tab-separated). With a second file of the same rows
made by earlier code, the verdict rule is counted for both and any English
reason that changed is listed.

    MORVIK_REASON_DUMP=/tmp/after.tsv build/tests/morvik_tests --gtest_filter='XmlReason.*'
    python3 scripts/reason-regrade.py /tmp/after.tsv [/tmp/before.tsv] > table.md

Rules, per row:
- verdict: the first clause (up to the first ： or 。, or a predicate …ません,
  …ます, …です closed by （, 。 or ：) ends within the first 40 characters, so
  the verdict shows where the desktop log's window ends;
- pattern: a raw pattern （パターン：「…」） is preceded by words (…ください);
- type: no type name 型「…」 stands alone in a sentence that says nothing else
  of what the value must be;
- English: no English word outside 「」 but the accepted abbreviations.
"""
import re
import sys

# Abbreviations a clerk reads as Japanese text does, and the notation of
# date forms.
ACCEPTED = {"XML", "ID", "DTD", "UTF", "URI", "OID", "YYYYMMDD", "YYYYMMDDhhmmss"}
WINDOW = 40
BARE_TYPE = re.compile(r"型「[^」]+」(で使える値ではありません|の値として正しくありません|（空白で区切った値の並び）として)")


def read(path):
    rows = []
    with open(path, encoding="utf-8") as f:
        for line in f:
            # The tests' temporary folders differ from run to run.
            line = re.sub(r"/tmp/morvik-test-[^/']+", "<tmp>", line)
            parts = line.rstrip("\n").split("\t")
            if len(parts) == 4:
                rows.append(parts)
    return rows


def english_words(text):
    found, depth, word = [], 0, ""
    for ch in text + " ":
        if ch == "「":
            depth += 1
        elif ch == "」":
            depth -= 1
        if depth == 0 and ch.isascii() and ch.isalpha():
            word += ch
            continue
        if len(word) >= 2 and word not in ACCEPTED:
            found.append(word)
        word = ""
    return found


# The end of a first clause that says what is wrong: a ： or 。, or a
# predicate (…ません, …ます, …です) closed by （, 。 or ：.
CLAUSE_END = re.compile(r"[：。]|(ません|ます|です)(?=[（。：])")


def verdict_shown(text):
    first = CLAUSE_END.search(text)
    return first is not None and first.end() <= WINDOW


def pattern_described(text):
    at = text.find("（パターン：")
    return at < 0 or "ください" in text[:at]


def grade(japanese):
    return {
        "verdict": verdict_shown(japanese),
        "pattern": pattern_described(japanese),
        "type": BARE_TYPE.search(japanese) is None,
        "english": not english_words(japanese),
    }


def cell(text):
    return text.replace("|", "\\|")


def main():
    after = read(sys.argv[1])
    before = {(t, r): (j, e) for t, r, j, e in read(sys.argv[2])} if len(sys.argv) > 2 else {}
    mark = lambda ok: "✓" if ok else "✗"
    print("| table | row | first 40 characters | verdict | pattern | type | English |")
    print("|---|---|---|---|---|---|---|")
    totals = dict.fromkeys(["verdict", "pattern", "type", "english"], 0)
    before_verdicts = 0
    english_changed = []
    for table, row, japanese, english in after:
        g = grade(japanese)
        for key, ok in g.items():
            totals[key] += ok
        if (table, row) in before:
            old_japanese, old_english = before[(table, row)]
            before_verdicts += verdict_shown(old_japanese)
            if old_english != english:
                english_changed.append((table, row, old_english, english))
        print(f"| {table} | {cell(row)} | {cell(japanese[:WINDOW])} | {mark(g['verdict'])} | "
              f"{mark(g['pattern'])} | {mark(g['type'])} | {mark(g['english'])} |")
    print()
    n = len(after)
    print(f"Rows: {n}. Verdict in the first {WINDOW} characters: {totals['verdict']}"
          + (f" (earlier code: {before_verdicts} of {len(before)})" if before else "")
          + f". Patterns described: {totals['pattern']}. No bare type name: {totals['type']}."
          f" No English: {totals['english']}.")
    if before:
        print()
        print(f"English reasons changed: {len(english_changed)}.")
        for table, row, old, new in english_changed:
            print(f"- {table} / {row}: `{old}` → `{new}`")


if __name__ == "__main__":
    main()
