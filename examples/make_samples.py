#!/usr/bin/python3
"""Writes the sample drawings of minicad with ezdxf (python3-ezdxf).

    sample.dxf  a Japanese control-panel drawing (DXF R2000, code page ANSI_932):
                a column of wire numbers (線番), some on a locked layer,
                terminal blocks, devices, PLC inputs, a title block with
                Japanese attribute prompts, and the panel outline
    big.dxf     20,000 TEXTs for benchmarks (DXF R2000)

Usage: make_samples.py [output directory]   (default: this script's directory)
The output is the same on every run.
"""

import os
import sys

import ezdxf

# Fixed dates and GUIDs, so regenerating changes nothing.
ezdxf.options.write_fixed_meta_data_for_testing = True

# Title block tags and their prompts (a tag set named after the block shows
# these prompts as its column headers).
TITLE_TAGS = [
    ("BITEM7", "備考", ""),
    ("BITEM5", "盤名称", "制御盤"),
    ("ZITEM2", "図番", "E-1001"),
    ("ZITEM3", "設計", "山田"),
    ("ZITEM1", "図面名称", "制御回路図"),
    ("ZSHEET", "シート", "1/3"),
    ("FILE3", "ファイル名", "sample.dxf"),
    ("ZITEM10", "改訂内容", "初版"),
    ("ZITEM9", "改訂日", "2024/04/01"),
    ("ZITEM8", "改訂", "0"),
    ("BITEM2", "客先名", "ルモ工業株式会社"),
    ("ZITEM5", "検図", "佐藤"),
    ("BITEM3", "工事名", "第2工場増設"),
    ("ZITEM6", "承認", "鈴木"),
    ("BITEM4", "工番", "K-2401"),
    ("ZITEM7", "日付", "2024/03/15"),
    ("ZSEIHIN", "製品名", "搬送コンベア"),
    ("PAGE", "ページ", "1"),
]

TITLE_BLOCK = "図枠TTL"


def add_layers(doc):
    doc.layers.add("FRAME", color=7)
    doc.layers.add("PANEL", color=8)
    doc.layers.add("WIRE", color=3)
    doc.layers.add("WIRE_LOCK", color=3).lock()
    doc.layers.add("TERMINAL", color=4)
    doc.layers.add("DEVICE", color=2)
    doc.layers.add("PLC", color=5)
    doc.layers.add("注記", color=1)


def attdef(block, tag, prompt, default, insert, height=2.5, align=None):
    a = block.add_attdef(tag, insert, text=default, dxfattribs={"height": height, "prompt": prompt})
    if align is not None:
        a.set_placement(insert, align=align)
    return a


def define_blocks(doc):
    tb = doc.blocks.new("TB", base_point=(0, 0))
    tb.add_circle((0, 0), 2.0, dxfattribs={"layer": "0"})
    tb.add_line((-4, 0), (-2, 0))
    tb.add_line((2, 0), (4, 0))
    attdef(tb, "SENBAN", "線番", "", (0, 3), align=ezdxf.enums.TextEntityAlignment.BOTTOM_CENTER)

    dev = doc.blocks.new("RELAY", base_point=(0, 0))
    dev.add_lwpolyline([(-8, -6), (8, -6), (8, 6), (-8, 6)], close=True)
    dev.add_line((-8, 0), (-12, 0))
    dev.add_line((8, 0), (12, 0))
    attdef(dev, "NAME", "機器名", "CR", (-8, 8))
    attdef(dev, "NAME1", "機器名称", "", (-8, 11.5))
    attdef(dev, "SPEC", "仕様", "DC24V", (-8, -9.5))
    attdef(dev, "TYPE", "型式", "", (-8, -13))

    plc = doc.blocks.new("PLC_IN", base_point=(0, 0))
    plc.add_lwpolyline([(0, -2.5), (60, -2.5), (60, 2.5), (0, 2.5)], close=True)
    attdef(plc, "PIN1", "ピン番号", "", (2, -1.25), height=2.5)
    attdef(plc, "IOADRS", "I/Oアドレス", "", (10, -1.25), height=2.5)
    attdef(plc, "JCMNT1", "コメント1", "", (24, -1.25), height=2.5)
    attdef(plc, "JCMNT2", "コメント2", "", (42, -1.25), height=2.5)

    ttl = doc.blocks.new(TITLE_BLOCK, base_point=(0, 0))
    # Title block of 180 x 48 at its base point, ruled in rows of 8.
    ttl.add_lwpolyline([(0, 0), (180, 0), (180, 48), (0, 48)], close=True, dxfattribs={"layer": "FRAME"})
    for y in range(8, 48, 8):
        ttl.add_line((0, y), (180, y), dxfattribs={"layer": "FRAME"})
    for x in (30, 90, 120):
        ttl.add_line((x, 0), (x, 48), dxfattribs={"layer": "FRAME"})
    for i, (tag, prompt, default) in enumerate(TITLE_TAGS):
        col, row = divmod(i, 6)
        x0 = (2, 32, 122)[col]
        y0 = 42.5 - row * 8
        ttl.add_text(prompt, dxfattribs={"height": 2.0, "layer": "FRAME", "insert": (x0, y0 + 2.2)})
        attdef(ttl, tag, prompt, default, (x0 + 12, y0 - 1.8), height=2.5)


def make_sample(path):
    doc = ezdxf.new("R2000", setup=True)
    doc.encoding = "cp932"  # $DWGCODEPAGE ANSI_932: Shift_JIS text, as Japanese CAD writes it
    add_layers(doc)
    define_blocks(doc)
    msp = doc.modelspace()

    # Panel outline and wiring ducts.
    msp.add_lwpolyline([(0, 0), (420, 0), (420, 297), (0, 297)], close=True, dxfattribs={"layer": "PANEL"})
    msp.add_lwpolyline([(10, 10), (410, 10), (410, 287), (10, 287)], close=True, dxfattribs={"layer": "PANEL"})
    msp.add_line((40, 60), (40, 270), dxfattribs={"layer": "PANEL"})
    msp.add_line((140, 60), (140, 270), dxfattribs={"layer": "PANEL"})
    msp.add_polyline2d([(200, 60), (200, 270), (205, 275)], dxfattribs={"layer": "PANEL"})
    msp.add_arc((300, 250), 10, 0, 90, dxfattribs={"layer": "PANEL"})

    # The wire-number column: 20 TEXTs, 10 apart; the last five are on the locked layer.
    for i in range(20):
        layer = "WIRE_LOCK" if i >= 15 else "WIRE"
        msp.add_text(str(101 + i), dxfattribs={"layer": layer, "height": 3.0, "insert": (50, 260 - i * 10)})
    msp.add_text("線番一覧", dxfattribs={"layer": "注記", "height": 3.5, "insert": (46, 270)})

    # A row of terminals.
    for i in range(10):
        msp.add_blockref("TB", (60 + i * 8, 40), dxfattribs={"layer": "TERMINAL"}).add_auto_attribs(
            {"SENBAN": str(101 + i)})

    # Devices.
    devices = [
        ("CR1", "補助リレー", "DC24V", "MY2N"),
        ("CR2", "補助リレー", "DC24V", "MY2N"),
        ("MC1", "電磁接触器", "AC200V 11kW", "SC-N1"),
        ("THR1", "サーマルリレー", "22A", "TH-N20"),
        ("PB1", "非常停止押釦", "1b", "AR22V2R"),
    ]
    for i, (name, name1, rating, typ) in enumerate(devices):
        msp.add_blockref("RELAY", (170, 250 - i * 35), dxfattribs={"layer": "DEVICE"}).add_auto_attribs(
            {"NAME": name, "NAME1": name1, "SPEC": rating, "TYPE": typ})

    # PLC inputs.
    inputs = [
        ("非常停止", "押釦"), ("運転", "押釦"), ("停止", "押釦"), ("リセット", "押釦"),
        ("コンベア", "在荷検出"), ("MC1", "動作確認"), ("THR1", "トリップ"), ("扉", "開検出"),
    ]
    for i, (c1, c2) in enumerate(inputs):
        msp.add_blockref("PLC_IN", (230, 250 - i * 8), dxfattribs={"layer": "PLC"}).add_auto_attribs(
            {"PIN1": str(i + 1), "IOADRS": "X%03X" % i, "JCMNT1": c1, "JCMNT2": c2})

    # A note the model does not read (MTEXT), kept as it is.
    msp.add_mtext("注記: 線番は JIS C 0445 による", dxfattribs={"layer": "注記", "char_height": 3.0,
                                                             "insert": (230, 60)})

    # The title block in the lower right corner.
    msp.add_blockref(TITLE_BLOCK, (230, 10), dxfattribs={"layer": "FRAME"}).add_auto_attribs(
        {tag: default for tag, _, default in TITLE_TAGS})

    doc.header["$INSUNITS"] = 4  # millimetres
    doc.saveas(path)


def make_big(path, count=20000):
    doc = ezdxf.new("R2000")
    msp = doc.modelspace()
    doc.layers.add("WIRE")
    columns = 100
    for i in range(count):
        row, col = divmod(i, columns)
        msp.add_text("W%05d" % (i + 1), dxfattribs={"layer": "WIRE", "height": 2.5,
                                                     "insert": (col * 20.0, -row * 5.0)})
    doc.saveas(path)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    make_sample(os.path.join(out, "sample.dxf"))
    make_big(os.path.join(out, "big.dxf"))


if __name__ == "__main__":
    main()
