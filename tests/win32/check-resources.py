#!/usr/bin/env python3
"""Reads the resources of lumoedit.exe straight from the PE file and checks
what Explorer and Windows take from them: the icon group (several sizes),
the version strings, the manifest (asInvoker, Windows 7 to 11, DPI aware).
   check-resources.py LUMOEDIT_EXE EXPECTED_FILE_VERSION EXPECTED_PRODUCT_VERSION
Prints what it found, then one line per check; exits 1 on any failure."""
import struct
import sys

RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 14, 16, 24


def resources(data):
    """{type: {name: bytes of the first language}} of the .rsrc directory."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise ValueError("not a PE file")
    sections, opt_size = struct.unpack_from("<H", data, pe + 6)[0], struct.unpack_from("<H", data, pe + 20)[0]
    opt = pe + 24
    magic = struct.unpack_from("<H", data, opt)[0]
    dirs = opt + (112 if magic == 0x20B else 96)
    rsrc_rva = struct.unpack_from("<I", data, dirs + 2 * 8)[0]
    table = opt + opt_size
    for i in range(sections):
        s = table + 40 * i
        vsize, va, rawsize, raw = struct.unpack_from("<IIII", data, s + 8)
        if va <= rsrc_rva < va + max(vsize, rawsize):
            base = raw + (rsrc_rva - va)
            break
    else:
        raise ValueError("no resource section")

    def offset(rva):
        return raw + (rva - va)

    def entries(at):
        named, ids = struct.unpack_from("<HH", data, at + 12)
        for k in range(named + ids):
            name, target = struct.unpack_from("<II", data, at + 16 + 8 * k)
            if name & 0x80000000:
                n = base + (name & 0x7FFFFFFF)
                length = struct.unpack_from("<H", data, n)[0]
                name = data[n + 2:n + 2 + 2 * length].decode("utf-16-le")
            yield name, target

    out = {}
    for rtype, t in entries(base):
        for name, n in entries(base + (t & 0x7FFFFFFF)):
            lang_dir = base + (n & 0x7FFFFFFF)
            _, leaf = next(entries(lang_dir))
            rva, size = struct.unpack_from("<II", data, base + leaf)
            out.setdefault(rtype, {})[name] = data[offset(rva):offset(rva) + size]
    return out


def version_strings(blob):
    """The key/value pairs of the StringFileInfo tables of a VS_VERSIONINFO."""
    found = {}

    def walk(at, end, depth):
        while at < end:
            length, value_len, kind = struct.unpack_from("<HHH", blob, at)
            if length == 0:
                return
            key_end = blob.index(b"\0\0", at + 6)
            while (key_end - at) % 2:
                key_end = blob.index(b"\0\0", key_end + 1)
            key = blob[at + 6:key_end].decode("utf-16-le")
            value_at = (key_end + 2 + 3) & ~3
            if depth == 3:
                found[key] = blob[value_at:value_at + 2 * value_len].decode("utf-16-le").rstrip("\0")
            elif key in ("VS_VERSION_INFO", "StringFileInfo") or depth == 2:
                child = value_at + (value_len if depth == 0 else 0)
                walk((child + 3) & ~3, at + length, depth + 1)
            at = (at + length + 3) & ~3

    walk(0, len(blob), 0)
    return found


def main():
    exe, file_version, product_version = sys.argv[1:4]
    res = resources(open(exe, "rb").read())
    failures = []

    def check(ok, what):
        print(("ok: " if ok else "FAIL: ") + what)
        if not ok:
            failures.append(what)

    groups = res.get(RT_GROUP_ICON, {})
    check(len(groups) >= 1, "an icon group is present (%s)" % ", ".join(map(str, groups)))
    sizes = []
    if groups:
        group = next(iter(groups.values()))
        count = struct.unpack_from("<H", group, 4)[0]
        for k in range(count):
            w, h, _, _, _, _, _, icon_id = struct.unpack_from("<BBBBHHIH", group, 6 + 14 * k)
            sizes.append(w or 256)
            check(icon_id in res.get(RT_ICON, {}), "icon image %d (%dx%d) is present" % (icon_id, w or 256, h or 256))
    print("icon sizes: %s" % sizes)
    check(len(sizes) >= 4 and 16 in sizes and 32 in sizes and 256 in sizes, "the icon has 16, 32 and 256 px among several sizes")

    strings = version_strings(next(iter(res.get(RT_VERSION, {None: b""}).values())))
    for key in sorted(strings):
        print("version %s = %s" % (key, strings[key]))
    check(strings.get("ProductName") == "LumoEdit", "ProductName is LumoEdit")
    check(strings.get("ProductVersion") == product_version, "ProductVersion is %s" % product_version)
    check(strings.get("FileVersion") == file_version, "FileVersion is %s" % file_version)
    for key in ("FileDescription", "CompanyName", "LegalCopyright", "OriginalFilename"):
        check(bool(strings.get(key)), "%s is set" % key)
    fixed = next(iter(res.get(RT_VERSION, {None: b""}).values()))
    at = fixed.find(struct.pack("<I", 0xFEEF04BD))
    if at >= 0:
        ms, ls = struct.unpack_from("<II", fixed, at + 8)
        numeric = "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
    else:
        numeric = None
    check(numeric == file_version, "numeric file version %s" % numeric)

    manifests = res.get(RT_MANIFEST, {})
    manifest = manifests.get(1, b"").decode("utf-8", "replace")
    check(list(manifests) == [1], "one manifest, resource 1 (%s)" % list(manifests))
    check('level="asInvoker"' in manifest, "the manifest asks for asInvoker")
    for os_id, name in (("35138b9a-5d96-4fbd-8e2d-a2440225f93a", "7"), ("4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38", "8"),
                        ("1f676c76-80e1-4239-95bb-83d0f6d0da78", "8.1"), ("8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a", "10/11")):
        check(os_id in manifest.lower(), "supportedOS Windows %s" % name)
    check(">PerMonitorV2<" in manifest, "DPI awareness PerMonitorV2")
    check("activeCodePage" not in manifest, "no activeCodePage: files without a mark stay in the ANSI code page")

    print("%d checks failed" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
