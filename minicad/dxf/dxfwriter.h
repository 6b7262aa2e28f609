#pragma once
// Internal to minicad/dxf: the document written back with the drawing's content.

#include <QByteArray>

namespace minicad {

class Drawing;
class DxfDocument;

QByteArray writeDxfDocument(const DxfDocument &doc, const Drawing &drawing);

} // namespace minicad
