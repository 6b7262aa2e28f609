#include "minicad/dxf/dxffile.h"

#include <cstdio>

#include "minicad/dxf/dxfdocument.h"
#include "minicad/dxf/dxfindex.h"
#include "minicad/dxf/dxfwriter.h"
#include "minicad/model/drawing.h"
#include "minicad/model/drawingjson.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QSaveFile>

#include <cmath>

namespace minicad {

namespace {

struct Bounds {
    double x0 = HUGE_VAL, y0 = HUGE_VAL, x1 = -HUGE_VAL, y1 = -HUGE_VAL;
    void add(const Point &p)
    {
        x0 = qMin(x0, p.x);
        y0 = qMin(y0, p.y);
        x1 = qMax(x1, p.x);
        y1 = qMax(y1, p.y);
    }
    void add(const Point &c, double r) { add(Point{c.x - r, c.y - r, 0}), add(Point{c.x + r, c.y + r, 0}); }
    bool empty() const { return x0 > x1; }
};

// The drawing as the model's JSON, opened on everything model space holds.
QJsonDocument drawingJson(const DxfIndex &x)
{
    QJsonObject root;
    root[QStringLiteral("format")] = QStringLiteral("minicad-drawing");
    root[QStringLiteral("version")] = 1;
    // New handles go above every handle of the file; none are left once it uses the last one.
    root[QStringLiteral("handseed")] = x.maxHandle == Drawing::kLastHandle
        ? QStringLiteral("10000000000000000")
        : Drawing::formatHandle(qMax(x.handseed, x.maxHandle + 1));
    QJsonArray layers;
    for (const DxfLayerRecord &l : x.layers)
        layers.append(QJsonObject{{QStringLiteral("name"), l.name}, {QStringLiteral("locked"), bool(l.flags & 4)}});
    root[QStringLiteral("layers")] = layers;

    QList<QJsonArray> blockEntities(x.blocks.size());
    QJsonArray entities;
    Bounds bounds;
    for (const DxfOwned &o : x.owned) {
        if (o.block >= 0) {
            blockEntities[o.block].append(entityToJson(o.asRead));
        } else {
            entities.append(entityToJson(o.asRead));
            bounds.add(o.asRead.alignment != 0 ? o.asRead.alignmentPoint : o.asRead.insertion);
        }
    }
    QJsonArray blocks;
    for (qsizetype i = 0; i < x.blocks.size(); ++i) {
        const DxfBlockRecord &b = x.blocks[i];
        if (!b.inModel)
            continue;
        blocks.append(QJsonObject{{QStringLiteral("name"), b.name},
                                  {QStringLiteral("base"), pointToJson(b.base)},
                                  {QStringLiteral("entities"), blockEntities[i]}});
    }
    root[QStringLiteral("blocks")] = blocks;
    root[QStringLiteral("entities")] = entities;

    for (const DxfShape &s : x.modelShapes) {
        for (const Point &p : s.points)
            bounds.add(p);
        if (s.kind == DxfShape::Kind::Circle || s.kind == DxfShape::Kind::Arc)
            bounds.add(s.center, s.radius);
    }
    Point center;
    double size = 100;
    if (!bounds.empty()) {
        center = Point{(bounds.x0 + bounds.x1) / 2, (bounds.y0 + bounds.y1) / 2, 0};
        // The whole drawing with a margin, in a view a little wider than tall.
        size = qMax(bounds.y1 - bounds.y0, (bounds.x1 - bounds.x0) * 0.6) * 1.1;
        if (!(size > 0) || !std::isfinite(size))
            size = 100;
    }
    root[QStringLiteral("view")] = QJsonObject{{QStringLiteral("center"), pointToJson(center)},
                                               {QStringLiteral("size"), size}};
    return QJsonDocument(root);
}

DxfDocument *attached(const Drawing &drawing)
{
    return drawing.findChild<DxfDocument *>(QString(), Qt::FindDirectChildrenOnly);
}

void detach(Drawing &drawing)
{
    const auto docs = drawing.findChildren<DxfDocument *>(QString(), Qt::FindDirectChildrenOnly);
    for (DxfDocument *doc : docs)
        delete doc;
}

} // namespace

bool isDxfPath(const QString &path)
{
    return path.endsWith(QLatin1String(".dxf"), Qt::CaseInsensitive);
}

void readDxf(Drawing &drawing, const QByteArray &bytes, const QString &sourceName)
{
    std::unique_ptr<DxfDocument> doc = DxfDocument::parse(bytes, sourceName);
    DxfIndex &x = doc->index();
    try {
        drawing.fromJson(drawingJson(x));
    } catch (const ModelError &e) {
        throw ModelError(QStringLiteral("%1: %2").arg(x.name, e.message()));
    }
    // What the model made of each record is what a later save compares with.
    for (DxfOwned &o : x.owned)
        if (const Entity *e = drawing.find(o.asRead.handle))
            o.asRead = *e;
    for (const Layer &l : drawing.layers())
        x.layersAtLoad.insert(l.name.toUpper());
    x.drawingSeed = drawing.handleSeed();
    detach(drawing);
    DxfDocument *kept = doc.release();
    kept->setParent(&drawing);
    kept->track(drawing);
}

QByteArray writeDxf(const Drawing &drawing)
{
    if (const DxfDocument *doc = attached(drawing))
        return writeDxfDocument(*doc, drawing);
    const std::unique_ptr<DxfDocument> blank = DxfDocument::blank();
    return writeDxfDocument(*blank, drawing);
}

const DxfDocument *dxfDocument(const Drawing &drawing)
{
    return attached(drawing);
}

std::shared_ptr<Drawing> openStartDrawing(const QStringList &files, const char *program, int *exitCode)
{
    if (files.size() > 1) {
        std::fprintf(stderr, "%s: only one drawing can be opened\n", program);
        *exitCode = 2;
        return nullptr;
    }
    auto drawing = std::make_shared<Drawing>();
    if (!files.isEmpty()) {
        try {
            loadDrawingFile(*drawing, files.first());
            // FullName is a full path, whatever the command line said.
            drawing->setFileName(QFileInfo(files.first()).absoluteFilePath());
        } catch (const std::exception &e) {
            std::fprintf(stderr, "%s: cannot open %s: %s\n", program, qPrintable(files.first()), e.what());
            *exitCode = 1;
            return nullptr;
        }
    }
    return drawing;
}

void loadDrawingFile(Drawing &drawing, const QString &path)
{
    if (!isDxfPath(path)) {
        drawing.loadFile(path);
        detach(drawing);
        return;
    }
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw ModelError(QStringLiteral("Cannot open %1: %2").arg(path, f.errorString()));
    const QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError)
        throw ModelError(QStringLiteral("Cannot read %1: %2").arg(path, f.errorString()));
    readDxf(drawing, bytes, QFileInfo(path).fileName());
    drawing.setFileName(path);
}

void saveDrawingFile(const Drawing &drawing, const QString &path)
{
    if (!isDxfPath(path)) {
        drawing.saveFile(path);
        return;
    }
    const QByteArray bytes = writeDxf(drawing);
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        throw ModelError(QStringLiteral("Cannot write %1: %2").arg(path, f.errorString()));
    f.write(bytes);
    if (!f.commit())
        throw ModelError(QStringLiteral("Cannot write %1: %2").arg(path, f.errorString()));
}

} // namespace minicad
