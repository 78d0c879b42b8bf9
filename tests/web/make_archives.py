#!/usr/bin/env python3
"""Builds the failing archives the page's tests feed to the page and to
morvik-inspect alike, each as OUT/<case>/<zip name>, from the demo archive's
fixtures. Prints nothing; the test lists OUT."""
import pathlib
import sys
import zipfile

DEMO = pathlib.Path(__file__).resolve().parents[1] / "fixtures" / "demo"
NAME = "1310000001_06130001_202612011_1"


def demo_entries():
    """The demo archive's entries, path below the top folder -> bytes."""
    return {p.relative_to(DEMO).as_posix(): p.read_bytes()
            for p in sorted(DEMO.rglob("*")) if p.is_file()}


def write(out, case, entries, zip_name=NAME + ".zip", top=NAME):
    folder = out / case
    folder.mkdir(parents=True)
    with zipfile.ZipFile(folder / zip_name, "w", zipfile.ZIP_DEFLATED) as archive:
        for path, data in entries.items():
            archive.writestr(path if top is None else f"{top}/{path}", data)


def main():
    out = pathlib.Path(sys.argv[1])
    entries = demo_entries()

    broken = dict(entries)
    broken["DATA/h1310000001202612010001.xml"] = entries["DATA/h1310000001202612010001.xml"][:-20]
    write(out, "not-well-formed", broken)

    claims = dict(entries)
    claims["CLAIMS/c1310000001202612010001.xml"] = entries[
        "CLAIMS/c1310000001202612010001.xml"].replace(b'value="9900"', b'value="nine"')
    write(out, "invalid-claims", claims)

    # Shift_JIS as Japanese Windows writes it (CP932: NEC and IBM characters
    # too), with an error on a line that holds them, and an entry name in
    # CP932 without the UTF-8 flag.
    sjis = dict(entries)
    text = entries["DATA/h1310000001202612010001.xml"].decode("utf-8")
    text = text.replace('encoding="UTF-8"', 'encoding="Shift_JIS"').replace(
        "<name>山田　太郎</name>", "<name>髙橋　①Ⅱ</name>").replace(
        "<sex>1</sex>", "<sex>①</sex>")
    sjis["DATA/h1310000001202612010001.xml"] = text.encode("cp932")
    write(out, "shift-jis", sjis)

    # CP932 beyond Shift_JIS, a sample of each of its regions (NEC row 13,
    # NEC-selected IBM, IBM, the user-defined area, the characters it maps
    # otherwise than Shift_JIS, half-width katakana) in a failing value, and
    # a DATA entry named in CP932 without the UTF-8 flag: the page reads
    # both through its own CP932 table, morvik-inspect through the C
    # library's.
    sample = "①⑳Ⅰ㈱髙﨑纊鍈～∥－￠￡￢ｱﾟ\ue000\ue757"
    cp932 = dict(entries)
    text = entries["DATA/h1310000001202612010002.xml"].decode("utf-8")
    text = text.replace('encoding="UTF-8"', 'encoding="Shift_JIS"').replace(
        "2026-13-02", sample)
    cp932["DATA/h1310000001202612010002.xml"] = text.encode("cp932")
    name = "DATA/h1310000001202612010003" + "①髙～" + ".xml"
    placeholder = "DATA/h1310000001202612010003" + "Q" * len(name.encode("cp932")[28:-4]) + ".xml"
    cp932[placeholder] = entries["DATA/h1310000001202612010001.xml"]
    write(out, "cp932", cp932)
    archive = out / "cp932" / (NAME + ".zip")
    # zipfile flags every non-ASCII name as UTF-8: the name is put in place
    # of an ASCII one of the same length, in the local and central headers.
    data = archive.read_bytes()
    assert data.count(placeholder.encode()) == 2
    archive.write_bytes(data.replace(placeholder.encode(), name.encode("cp932")))

    write(out, "no-index", {k: v for k, v in entries.items() if k != "ix08_V08.xml"})
    write(out, "no-schema", {k: v for k, v in entries.items() if not k.startswith("XSD/")})
    write(out, "wrong-top-folder", entries, top="another_folder")
    write(out, "escaping-entry", {**entries, "../outside.xml": b"<a/>"}, top=None)

    (out / "empty").mkdir()
    (out / "empty" / (NAME + ".zip")).write_bytes(b"")
    (out / "not-a-zip").mkdir()
    (out / "not-a-zip" / (NAME + ".zip")).write_bytes(b"this is not a ZIP file\n" * 10)
    write(out, "not-named-zip", entries, zip_name=NAME + ".zip.txt")


if __name__ == "__main__":
    main()
