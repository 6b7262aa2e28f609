#!/usr/bin/python3
"""The independent side of the DXF tests, with ezdxf.

    ezdxf_tool.py make <dir>     writes fixture drawings r12.dxf, r2000.dxf, r2007.dxf, r2018.dxf,
                                 and r12_bin.dxf, r2000_bin.dxf in binary DXF
    ezdxf_tool.py dump <file>    prints what ezdxf reads from a file, as JSON
    ezdxf_tool.py compare        reads "before<TAB>after" path pairs from stdin; prints, as JSON
                                 per before path, the entities that differ between the two files
"""

import json
import sys

import ezdxf
from ezdxf.enums import TextEntityAlignment
from ezdxf.lldxf.tagger import binary_tags_loader

ezdxf.options.write_fixed_meta_data_for_testing = True

VERSIONS = {"r12": "R12", "r2000": "R2000", "r2007": "R2007", "r2018": "R2018"}


def make(directory):
    for name, version in VERSIONS.items():
        doc = ezdxf.new(version)
        if version < "R2007":
            doc.encoding = "cp932"
        doc.appids.new("LUMOTEST")
        doc.layers.add("WIRE")
        doc.layers.add("LOCKED").lock()
        doc.layers.add("日本語層")
        blk = doc.blocks.new("DEV")
        blk.add_line((-5, 0), (5, 0))
        blk.add_text("DEV", dxfattribs={"insert": (0, -4), "height": 2})
        blk.add_attdef("NAME", (0, 3), text="CR", dxfattribs={"prompt": "機器名", "height": 2.5})
        blk.add_attdef("SPEC", (0, 6), text="", dxfattribs={"prompt": "仕様", "height": 2.5})
        msp = doc.modelspace()
        msp.add_text("101", dxfattribs={"layer": "WIRE", "insert": (10, 20), "height": 3})
        msp.add_text("線番①", dxfattribs={"layer": "日本語層", "insert": (10, 10)})
        # An escape as the CAD writes what its code page lacks.
        msp.add_text("Ω\\U+00F1\\U+20AC", dxfattribs={"insert": (10, 0)})
        msp.add_text("MC", dxfattribs={"layer": "WIRE"}).set_placement((50, 50), align=TextEntityAlignment.MIDDLE_CENTER)
        msp.add_text("R", dxfattribs={"layer": "WIRE"}).set_placement((60, 50), align=TextEntityAlignment.TOP_RIGHT)
        msp.add_text("FIT", dxfattribs={"layer": "WIRE"}).set_placement((10, 90), (40, 95), align=TextEntityAlignment.FIT)
        msp.add_text("LOCK1", dxfattribs={"layer": "LOCKED", "insert": (0, 40)})
        ref = msp.add_blockref("DEV", (100, 100), dxfattribs={"layer": "WIRE"})
        ref.add_auto_attribs({"NAME": "CR1", "SPEC": "DC24V"})
        locked_ref = msp.add_blockref("DEV", (150, 100), dxfattribs={"layer": "LOCKED"})
        locked_ref.add_auto_attribs({"NAME": "CR2"})
        msp.add_line((0, 0), (100, 0))
        msp.add_circle((30, 30), 5)
        msp.add_arc((40, 30), 5, 0, 90)
        if version >= "R2000":
            msp.add_lwpolyline([(0, 0), (10, 0), (10, 10)], close=True)
        msp.add_polyline2d([(0, 0), (20, 0), (20, 20)])
        tagged = msp.add_text("XDATA", dxfattribs={"insert": (0, 60)})
        tagged.set_xdata("LUMOTEST", [(1000, "keep me"), (1040, 1.5)])
        if version >= "R2000":
            msp.add_mtext("note\\Pline two", dxfattribs={"insert": (0, 80)})
        doc.layout("Layout1").add_text("PAPER", dxfattribs={"insert": (5, 5)})
        doc.saveas("%s/%s.dxf" % (directory, name))
        if version in ("R12", "R2000"):  # the same drawing as binary DXF
            doc.saveas("%s/%s_bin.dxf" % (directory, name), fmt="bin")


def point(p):
    return [float(p[0]), float(p[1]), float(p[2]) if len(p) > 2 else 0.0]


def entity(e):
    d = {"type": e.dxftype(), "handle": e.dxf.handle, "layer": e.dxf.layer,
         "all": {k: str(v) for k, v in sorted(e.dxfattribs().items())}}
    if e.dxftype() in ("TEXT", "ATTRIB", "ATTDEF"):
        d["text"] = e.dxf.text
        d["insert"] = point(e.dxf.insert)
        d["halign"] = e.dxf.get("halign", 0)
        d["valign"] = e.dxf.get("valign", 0)
        d["align_point"] = point(e.dxf.align_point) if e.dxf.hasattr("align_point") else None
        d["owner"] = e.dxf.owner
    if e.dxftype() in ("ATTRIB", "ATTDEF"):
        d["tag"] = e.dxf.tag
    if e.dxftype() == "INSERT":
        d["name"] = e.dxf.name
        d["insert"] = point(e.dxf.insert)
        d["attribs"] = [entity(a) for a in e.attribs]
        d["seqend"] = e.seqend.dxf.handle if e.seqend else None
    if e.dxftype() == "MTEXT":
        d["text"] = e.text
    if e.doc.dxfversion <= "AC1009":  # R12 files have no owners: ezdxf makes them up
        d.pop("owner", None)
        d["all"].pop("owner", None)
    if e.xdata:
        d["xdata"] = {app: [[t.code, str(t.value)] for t in tags] for app, tags in e.xdata.data.items()}
    return d


def file_tags(path, encoding):
    with open(path, "rb") as f:
        data = f.read()
    if data.startswith(b"AutoCAD Binary DXF"):
        return [(t.code, t.value) for t in binary_tags_loader(data)]
    lines = data.decode(encoding, errors="replace").splitlines()
    return [(int(lines[i]), lines[i + 1]) for i in range(0, len(lines) - 1, 2)]


def file_handles(path, encoding):
    """The handles written in the file itself (ezdxf adds its own on loading)."""
    handles, record, section = [], "", ""
    for code, value in file_tags(path, encoding):
        value = value.strip() if isinstance(value, str) else value
        if code == 0:
            record = value
        elif code == 2 and record == "SECTION":
            section, record = value, ""
        elif section != "HEADER" and ((code == 5 and record != "DIMSTYLE") or code == 105):
            handles.append(value.upper())
    return handles


def dump(path):
    doc = ezdxf.readfile(path)
    auditor = doc.audit()
    out = {
        "version": doc.dxfversion,
        "encoding": doc.encoding,
        "handseed": doc.header.get("$HANDSEED", ""),
        "layers": {layer.dxf.name: layer.is_locked() for layer in doc.layers},
        "blocks": {b.name: [{"tag": a.dxf.tag, "prompt": a.dxf.prompt, "text": a.dxf.text, "handle": a.dxf.handle}
                            for a in b.query("ATTDEF")]
                   for b in doc.blocks if not b.block_record.is_any_layout},
        "entities": [entity(e) for e in doc.modelspace()],
        "paper": [entity(e) for e in doc.layout("Layout1")],
        "handles": file_handles(path, doc.output_encoding),
        "audit": [str(e.message) for e in auditor.errors],
    }
    sys.stdout.write(json.dumps(out, ensure_ascii=False))


def load_any(path):
    """Damaged files are read the forgiving way, as a CAD would recover them."""
    try:
        return ezdxf.readfile(path)
    except Exception:
        from ezdxf import recover
        return recover.readfile(path)[0]


def summaries(path):
    """Every entity and object of a file, by handle: its type, attributes and extended data."""
    doc = load_any(path)
    out = {}
    for e in doc.entitydb.values():
        if not e.is_alive:
            continue
        s = {"type": e.dxftype(), "all": {k: str(v) for k, v in sorted(e.dxfattribs().items())}}
        if e.dxftype() in ("TEXT", "ATTRIB", "ATTDEF"):
            s["text"] = e.dxf.text
        if e.xdata:
            s["xdata"] = {app: [[t.code, str(t.value)] for t in tags] for app, tags in e.xdata.data.items()}
        out[e.dxf.handle] = s
    return out


def compare():
    result = {}
    for line in sys.stdin.read().splitlines():
        if not line.strip():
            continue
        before_path, after_path = line.split("\t")
        if not after_path:  # minicad refused the file: does ezdxf read it?
            try:
                ezdxf.readfile(before_path)
                result[before_path] = {"readable": True}
            except Exception as error:
                result[before_path] = {"readable": False, "error": "%s: %s" % (type(error).__name__, error)}
            continue
        try:
            before, after = summaries(before_path), summaries(after_path)
        except Exception as error:  # reported per file, the others still compared
            result[before_path] = {"error": "%s: %s" % (type(error).__name__, error)}
            continue
        changed = [dict(after[h], handle=h, before=before[h]) for h in before if h in after and before[h] != after[h]]
        result[before_path] = {
            "entities": len(before),
            "changed": changed,
            "missing": sorted(h for h in before if h not in after),
            "added": sorted(h for h in after if h not in before),
        }
    sys.stdout.write(json.dumps(result, ensure_ascii=False))


if __name__ == "__main__":
    if sys.argv[1] == "make":
        make(sys.argv[2])
    elif sys.argv[1] == "dump":
        dump(sys.argv[2])
    elif sys.argv[1] == "compare":
        compare()
