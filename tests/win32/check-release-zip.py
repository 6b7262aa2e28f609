#!/usr/bin/env python3
"""Checks the release zip as Windows' unzip reads it: one folder, the files
beside the exe, names flagged UTF-8, and each text in the encoding and line
ends Notepad and the program expect.   check-release-zip.py ZIP"""
import os
import sys
import zipfile

GUIDE = "はじめにお読みください.txt"
FILES = {"lumoedit.exe", "TargetCAD_APIVersion.txt", "LumoEditTagList.txt", "LumoEdit2ATagList.txt",
         GUIDE, "CHANGES.txt", "LICENSE.txt"}


def main():
    path = sys.argv[1]
    folder = os.path.basename(path)[:-len(".zip")]
    failures = []

    def check(ok, what):
        print(("ok: " if ok else "FAIL: ") + what)
        if not ok:
            failures.append(what)

    z = zipfile.ZipFile(path)
    infos = [i for i in z.infolist() if not i.filename.endswith("/")]
    names = {i.filename for i in infos}
    check(all(n.startswith(folder + "/") for n in names), "everything is inside the folder %s/" % folder)
    check({n.split("/", 1)[-1] for n in names} == FILES, "the files are %s (found %s)" % (sorted(FILES), sorted(names)))
    for i in infos:
        if not i.filename.isascii():
            # Without the flag Explorer reads the name in the OEM code page.
            check(i.flag_bits & 0x800, "%s is flagged as a UTF-8 name" % i.filename)

    def text(name):
        return z.read(folder + "/" + name) if folder + "/" + name in names else b""

    def crlf(data):
        return data.endswith(b"\r\n") and data.count(b"\n") == data.count(b"\r\n") and b"\r\r" not in data

    check(text("lumoedit.exe")[:2] == b"MZ", "lumoedit.exe is a Windows program")
    guide = text(GUIDE)
    check(guide.startswith(b"\xef\xbb\xbf") and crlf(guide), "the guide is UTF-8 with a byte-order mark, CR LF")
    body = guide.decode("utf-8-sig", "replace")
    for phrase in ("Program Files", "「CAD」", "管理者として実行", "LT", "ProgID", "TargetCAD_APIVersion.txt",
                   "lumoedit.ini", "「TEXT, 属性編集」", "「 属性編集」", "「TEXT 検索・編集」"):
        check(phrase in body, "the guide speaks of %s" % phrase)
    targets = text("TargetCAD_APIVersion.txt")
    lines = targets.decode("ascii", "replace").split("\r\n")[:-1]
    check(crlf(targets) and all(l.count("\t") == 1 for l in lines), "the CAD list is name<TAB>ProgID lines, CR LF")
    progids = {l.split("\t")[1] for l in lines}
    for progid in ("AutoCAD.Application", "BricscadApp.AcadApplication"):
        check(progid in progids, "the CAD list names %s" % progid)
    for name, count in (("LumoEditTagList.txt", 5), ("LumoEdit2ATagList.txt", 5)):
        data = text(name)
        try:
            decoded = data.decode("cp932")
        except UnicodeDecodeError:
            decoded = ""
        check(crlf(data) and not data.startswith(b"\xef\xbb\xbf") and decoded.count("\r\n") == count,
              "%s: %d lines in code page 932 without a mark, CR LF" % (name, count))
    for name in ("CHANGES.txt", "LICENSE.txt"):
        check(crlf(text(name)), "%s has CR LF line ends" % name)
    check("MIT License" in text("LICENSE.txt").decode("utf-8", "replace"), "the licence is the MIT licence")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
