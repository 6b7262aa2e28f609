#pragma once
// Drawing files: DXF through this library, JSON through the model. The
// document read from a DXF file stays with the drawing (as its child
// object), so a save writes back everything the file held, changed only
// where the drawing changed.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>

namespace minicad {

class Drawing;
class DxfDocument;

// True for a ".dxf" path, letter case ignored.
bool isDxfPath(const QString &path);

// Reads a DXF (".dxf") or JSON file into the drawing, replacing its content
// (undo history and selection sets are dropped) and setting its file name.
// Throws ModelError, naming the line of a malformed DXF file; the drawing is
// unchanged then.
void loadDrawingFile(Drawing &drawing, const QString &path);
// The drawing a host starts with: empty, or the one file named on its
// command line. Null after telling `program`'s user on stderr why not;
// `exitCode` is then 2 for more than one file, 1 for one that cannot be read.
std::shared_ptr<Drawing> openStartDrawing(const QStringList &files, const char *program, int *exitCode);
// Writes DXF (".dxf") or JSON, atomically. A drawing that did not come from
// a DXF file is written as R12 DXF. Throws ModelError.
void saveDrawingFile(const Drawing &drawing, const QString &path);

// The same on bytes. `sourceName` names the file in messages.
void readDxf(Drawing &drawing, const QByteArray &bytes, const QString &sourceName = {});
QByteArray writeDxf(const Drawing &drawing);

// The DXF document the drawing was read from; nullptr when it was not.
// The view draws its lines, polylines, circles and arcs.
const DxfDocument *dxfDocument(const Drawing &drawing);

} // namespace minicad
