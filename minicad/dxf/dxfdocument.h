#pragma once
// A DXF file as it was read: every (group code, value) pair in file order,
// plus an index of what the drawing model takes from it. Saving re-emits the
// pairs, patching only what the model changed, so nothing the model does not
// understand is lost. The document also keeps the geometry the model has no
// place for (lines, polylines, circles, arcs) for the view to draw.
//
// A document loaded with a drawing lives as a child object of that Drawing
// (see dxfDocument() in dxffile.h).

#include "minicad/model/entity.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

#include <memory>

namespace minicad {

class Drawing;
struct DxfIndex;

// In a binary file, value is the text an ASCII file would hold and line the
// byte offset of the pair.
struct DxfPair {
    int code = 0;
    QByteArray value;    // the value line as in the file, without the line end
    QByteArray codeText; // the group-code line (binary: bytes) when it differs from the file's usual form
    QByteArray binary;   // binary file: the value's bytes when the text does not give them back
    int line = 0;        // line of the group code in the source; 0 for written pairs
};

// Display geometry, in world coordinates (the object coordinate system of a
// mirrored entity is resolved). Angles are in degrees, counter-clockwise.
struct DxfShape {
    enum class Kind { Line, Polyline, Circle, Arc };
    Kind kind = Kind::Line;
    QString handle;
    QString layer;
    QList<Point> points;  // Line: start and end; Polyline: the vertices
    QList<double> bulges; // Polyline: one per vertex (arc to the next vertex; 0 = straight)
    bool closed = false;  // Polyline
    Point center;         // Circle, Arc
    double radius = 0;    // Circle, Arc
    double startAngle = 0; // Arc
    double endAngle = 360; // Arc
};

class DxfDocument : public QObject {
    Q_OBJECT
public:
    ~DxfDocument() override;

    // Splits and indexes a DXF file. Throws ModelError naming the line for a
    // malformed file. `name` is used in messages.
    static std::unique_ptr<DxfDocument> parse(const QByteArray &bytes, const QString &name = {});
    // An empty R12 drawing: what a drawing that did not come from a DXF file
    // is written into.
    static std::unique_ptr<DxfDocument> blank();

    QString version() const;  // $ACADVER ("AC1009" when the file has none)
    QString codepage() const; // $DWGCODEPAGE as written ("" when none)
    // The code page the strings are read in: $DWGCODEPAGE, or, for a file
    // that names none, "ANSI_932" when its text is Shift_JIS ("" otherwise).
    QString textCodepage() const;
    bool isBinary() const; // binary DXF, written back as such
    bool isUtf8() const;      // AC1021 and later
    const QList<DxfPair> &pairs() const;

    // Geometry of model space, and of a block definition (name: letter case ignored).
    const QList<DxfShape> &modelSpaceShapes() const;
    QList<DxfShape> blockShapes(const QString &blockName) const;

    // Internal: the index the reader and writer share.
    DxfIndex &index() { return *m_index; }
    const DxfIndex &index() const { return *m_index; }

    // The drawing whose copies of entities read from the file are written as
    // copies of their source records (xdata, colour and all).
    void track(const Drawing &drawing);
    // The entity read from the file that a copy was made from ("" when none).
    QString templateOf(const QString &handle) const;

private:
    DxfDocument();

    std::unique_ptr<DxfIndex> m_index;
    const Drawing *m_drawing = nullptr;
};

} // namespace minicad
