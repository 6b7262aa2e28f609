#pragma once
// Internal to minicad/dxf: binary DXF. After the sentinel every pair is a
// group code (one byte up to R12, with 255 escaping a 16-bit code; two bytes
// little-endian from R13 on) and a value whose form follows from the code.
// The pairs keep their values as the text an ASCII file would hold, so the
// reader and the writer treat both kinds of file alike.

#include <QByteArray>
#include <QByteArrayView>

namespace minicad {

struct DxfIndex;

inline constexpr char kBinarySentinel[] = "AutoCAD Binary DXF\r\n\x1a";
inline constexpr int kBinarySentinelSize = 22; // with its trailing NUL

bool isBinaryDxf(const QByteArray &bytes);

// Splits a binary file into x.pairs; throws ModelError naming the byte offset.
void tokenizeBinary(DxfIndex &x, const QByteArray &bytes);

// The group code as the file's form writes it.
QByteArray binaryCode(int code, bool wideCodes);
// The bytes of a value given as text; false when the text is no value of
// the code's type (a number that is not one, a chunk longer than 255 bytes).
bool binaryValue(int code, QByteArrayView text, QByteArray &out);
// The text of a value's bytes (which must be complete).
QByteArray binaryValueText(int code, QByteArrayView bytes);

} // namespace minicad
