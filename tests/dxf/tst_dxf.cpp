// DXF reading and writing, checked against ezdxf (python3-ezdxf), an
// independent reader and writer: files ezdxf wrote are read, files we wrote
// are read back by ezdxf.

#include "minicad/dxf/dxfdocument.h"
#include "minicad/dxf/dxffile.h"
#include "minicad/dxf/dxftext.h"
#include "minicad/model/drawing.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

using namespace minicad;

namespace {

const QString kPython = QStringLiteral("/usr/bin/python3");

QString sourceDir()
{
    const QString env = qEnvironmentVariable("LUMO_SOURCE_DIR");
    return env.isEmpty() ? QStringLiteral(LUMO_SOURCE_DIR_DEFAULT) : env;
}

QString toolPath()
{
    return sourceDir() + QStringLiteral("/tests/dxf/ezdxf_tool.py");
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(path));
    return f.readAll();
}

QString errorOf(const std::function<void()> &f)
{
    try {
        f();
    } catch (const ModelError &e) {
        return e.message();
    }
    return {};
}

Point pointOf(const QJsonValue &v)
{
    const QJsonArray a = v.toArray();
    return {a.at(0).toDouble(), a.at(1).toDouble(), a.at(2).toDouble()};
}

// The CAD's alignment code of a TEXT's horizontal and vertical justification.
int alignmentOf(int h, int v)
{
    if (v == 0)
        return h;
    static const int table[4][3] = {{0, 1, 2}, {12, 13, 14}, {9, 10, 11}, {6, 7, 8}};
    return table[v][h];
}

// Content without what a save may legitimately change.
QJsonObject content(const Drawing &d)
{
    QJsonObject o = d.toJson().object();
    o.remove(QStringLiteral("handseed"));
    o.remove(QStringLiteral("view"));
    o.remove(QStringLiteral("erased")); // a DXF file keeps no record of erased objects
    return o;
}

// ezdxf leaves \U+XXXX escapes in the text; the CAD (and we) read them as the character.
QString unescaped(QString s)
{
    static const QRegularExpression escape(QStringLiteral("\\\\U\\+([0-9A-Fa-f]{4})"));
    QRegularExpressionMatch m;
    while ((m = escape.match(s)).hasMatch())
        s.replace(m.capturedStart(), m.capturedLength(), QChar(m.captured(1).toUShort(nullptr, 16)));
    return s;
}

QString handleOfText(const Drawing &d, const QString &text)
{
    for (const QString &h : d.modelSpaceHandles())
        if (d.find(h)->text == text)
            return h;
    return {};
}

QJsonObject entityIn(const QJsonObject &dump, const QString &handle)
{
    for (const QJsonValue &v : dump.value(QStringLiteral("entities")).toArray())
        if (v.toObject().value(QStringLiteral("handle")).toString() == handle)
            return v.toObject();
    return {};
}

} // namespace

class TestDxf : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void textCodec_data();
    void textCodec();
    void readsWhatEzdxfWrote_data();
    void readsWhatEzdxfWrote();
    void unchangedRoundTripIsIdentical_data();
    void unchangedRoundTripIsIdentical();
    void savedEditsReadBackWithEzdxf_data();
    void savedEditsReadBackWithEzdxf();
    void newDrawingIsWrittenAsR12();
    void minimalFileWithoutHandles();
    void malformed_data();
    void malformed();
    void corruptedFilesNeverCrash();
    void sampleDrawing();
    void filesByExtension();

    void loadTimeDoesNotDependOnHandles_data();
    void loadTimeDoesNotDependOnHandles();
    void twentyThousandLayers();
    void shiftJisWithoutCodepage_data();
    void shiftJisWithoutCodepage();
    void binaryFiles_data();
    void binaryFiles();
    void faultsAreKept();
    void realWorldCorpus();

private:
    QJsonObject dump(const QString &path);
    QString fixture(const QString &name) const { return m_dir.filePath(name + QStringLiteral(".dxf")); }
    QString example(const QString &name) const { return sourceDir() + QStringLiteral("/examples/") + name; }
    void needEzdxf();

    QTemporaryDir m_dir;
    bool m_ezdxf = false;
};

void TestDxf::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QProcess probe;
    probe.start(kPython, {QStringLiteral("-c"), QStringLiteral("import ezdxf")});
    m_ezdxf = probe.waitForFinished(30000) && probe.exitStatus() == QProcess::NormalExit && probe.exitCode() == 0;
    if (!m_ezdxf)
        return;
    QProcess make;
    make.start(kPython, {toolPath(), QStringLiteral("make"), m_dir.path()});
    QVERIFY(make.waitForFinished(60000));
    QVERIFY2(make.exitCode() == 0, make.readAllStandardError().constData());
}

void TestDxf::needEzdxf()
{
    if (!m_ezdxf)
        QSKIP("python3-ezdxf is not installed (/usr/bin/python3 -c \"import ezdxf\" failed)");
}

QJsonObject TestDxf::dump(const QString &path)
{
    QProcess p;
    p.start(kPython, {toolPath(), QStringLiteral("dump"), path});
    if (!p.waitForFinished(120000) || p.exitCode() != 0)
        qWarning("ezdxf could not read %s: %s", qPrintable(path), p.readAllStandardError().constData());
    return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
}

// ---- Strings ------------------------------------------------------------------------

void TestDxf::textCodec_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("codepage");
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("writtenAlike"); // the text is written back in the same bytes

    const QString r2000 = QStringLiteral("AC1015"), r12 = QStringLiteral("AC1009"), r2007 = QStringLiteral("AC1021");
    const QString sjis = QStringLiteral("ANSI_932");
    QTest::newRow("shift_jis") << r2000 << sjis << QByteArray("\x90\xfc\x94\xd4") << QStringLiteral("線番") << true;
    QTest::newRow("cp932 circled digit") << r12 << sjis << QByteArray("\x87\x40") << QStringLiteral("①") << true;
    QTest::newRow("escape for what the code page lacks")
        << r2000 << sjis << QByteArray("\\U+00F1\\U+20AC") << QStringLiteral("ñ€") << true;
    QTest::newRow("lower-case escape") << r2000 << sjis << QByteArray("\\u+00f1") << QStringLiteral("ñ") << false;
    QTest::newRow("R12 multibyte escape") << r12 << QStringLiteral("ANSI_1252") << QByteArray("\\M+190FC")
                                          << QStringLiteral("線") << false;
    QTest::newRow("utf-8 from AC1021 on") << r2007 << sjis << QByteArray("線番") << QStringLiteral("線番") << true;
    QTest::newRow("escape in utf-8 file") << r2007 << QString() << QByteArray("\\U+7DDA") << QStringLiteral("線")
                                          << false;
    QTest::newRow("cp1252") << r2000 << QStringLiteral("ANSI_1252") << QByteArray("caf\xe9")
                            << QStringLiteral("café") << true;
    QTest::newRow("no code page means 1252") << r2000 << QString() << QByteArray("\xe9") << QStringLiteral("é")
                                             << true;
    QTest::newRow("control characters and caret") << r2000 << sjis << QByteArray("A^JB^ C^I")
                                                  << QStringLiteral("A\nB^C\t") << true;
    QTest::newRow("backslash stays") << r2000 << sjis << QByteArray("C:\\dir\\U+12") << QStringLiteral("C:\\dir\\U+12")
                                     << true;
    QTest::newRow("caret at the end") << r2000 << sjis << QByteArray("x^") << QStringLiteral("x^") << false;
}

void TestDxf::textCodec()
{
    QFETCH(QString, version);
    QFETCH(QString, codepage);
    QFETCH(QByteArray, raw);
    QFETCH(QString, text);
    QFETCH(bool, writtenAlike);
    DxfTextCodec codec;
    codec.setup(version, codepage);
    QCOMPARE(codec.decode(raw), text);
    // Whatever the form, what is written reads back as the same text, on one line.
    const QByteArray written = codec.encode(text);
    QVERIFY(!written.contains('\n') && !written.contains('\r'));
    QCOMPARE(codec.decode(written), text);
    if (writtenAlike)
        QCOMPARE(written, raw);
}

// ---- Files from ezdxf ------------------------------------------------------------------

void TestDxf::readsWhatEzdxfWrote_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("R12") << QStringLiteral("r12");
    QTest::newRow("R2000") << QStringLiteral("r2000");
    QTest::newRow("R2007") << QStringLiteral("r2007");
    QTest::newRow("R2018") << QStringLiteral("r2018");
}

void TestDxf::readsWhatEzdxfWrote()
{
    needEzdxf();
    QFETCH(QString, name);
    Drawing d;
    loadDrawingFile(d, fixture(name));
    const QJsonObject expected = dump(fixture(name));
    QVERIFY(!expected.isEmpty());
    const DxfDocument *doc = dxfDocument(d);
    QVERIFY(doc);

    QSet<QString> shapeHandles;
    for (const DxfShape &s : doc->modelSpaceShapes())
        shapeHandles.insert(s.handle);
    int modelEntities = 0;
    for (const QJsonValue &v : expected.value(QStringLiteral("entities")).toArray()) {
        const QJsonObject e = v.toObject();
        const QString type = e.value(QStringLiteral("type")).toString();
        const QString handle = e.value(QStringLiteral("handle")).toString();
        const Entity *mine = d.find(handle);
        if (type == QLatin1String("TEXT")) {
            ++modelEntities;
            QVERIFY2(mine && mine->kind == EntityKind::Text, qPrintable(handle));
            QCOMPARE(mine->text, unescaped(e.value(QStringLiteral("text")).toString()));
            QCOMPARE(mine->layer, e.value(QStringLiteral("layer")).toString());
            QCOMPARE(mine->insertion, pointOf(e.value(QStringLiteral("insert"))));
            const int alignment = alignmentOf(e.value(QStringLiteral("halign")).toInt(),
                                              e.value(QStringLiteral("valign")).toInt());
            QCOMPARE(mine->alignment, alignment);
            if (alignment != 0)
                QCOMPARE(mine->alignmentPoint, pointOf(e.value(QStringLiteral("align_point"))));
        } else if (type == QLatin1String("INSERT")) {
            ++modelEntities;
            QVERIFY2(mine && mine->kind == EntityKind::BlockReference, qPrintable(handle));
            QCOMPARE(mine->blockName, e.value(QStringLiteral("name")).toString());
            QCOMPARE(mine->layer, e.value(QStringLiteral("layer")).toString());
            const QJsonArray attribs = e.value(QStringLiteral("attribs")).toArray();
            QCOMPARE(mine->attributes.size(), attribs.size());
            for (qsizetype i = 0; i < attribs.size(); ++i) {
                const QJsonObject a = attribs[i].toObject();
                QCOMPARE(mine->attributes[i].handle, a.value(QStringLiteral("handle")).toString());
                QCOMPARE(mine->attributes[i].tag, a.value(QStringLiteral("tag")).toString());
                QCOMPARE(mine->attributes[i].text, a.value(QStringLiteral("text")).toString());
                QCOMPARE(d.ownerOf(mine->attributes[i].handle)->handle, handle);
            }
        } else {
            QVERIFY2(!mine, qPrintable(type));
            if (QStringList{"LINE", "CIRCLE", "ARC", "LWPOLYLINE", "POLYLINE"}.contains(type))
                QVERIFY2(shapeHandles.contains(handle), qPrintable(type));
        }
    }
    QCOMPARE(d.modelSpaceCount(), modelEntities);
    QCOMPARE(modelEntities, 10);
    // Paper space is not model space.
    for (const QJsonValue &v : expected.value(QStringLiteral("paper")).toArray())
        QVERIFY(!d.isModelSpace(v.toObject().value(QStringLiteral("handle")).toString()));

    const QJsonObject layers = expected.value(QStringLiteral("layers")).toObject();
    for (auto it = layers.begin(); it != layers.end(); ++it) {
        QVERIFY2(d.layer(it.key()), qPrintable(it.key()));
        QCOMPARE(d.isLayerLocked(it.key()), it.value().toBool());
    }
    QVERIFY(d.isLayerLocked(QStringLiteral("LOCKED")));
    QVERIFY(d.layer(QStringLiteral("日本語層")));

    const QJsonArray attdefs = expected.value(QStringLiteral("blocks")).toObject().value(QStringLiteral("DEV")).toArray();
    const Block *dev = d.block(QStringLiteral("DEV"));
    QVERIFY(dev);
    QList<Entity> mineDefs;
    for (const Entity &e : dev->entities)
        if (e.kind == EntityKind::AttributeDefinition)
            mineDefs.append(e);
    QCOMPARE(mineDefs.size(), attdefs.size());
    for (qsizetype i = 0; i < attdefs.size(); ++i) {
        const QJsonObject a = attdefs[i].toObject();
        QCOMPARE(mineDefs[i].tag, a.value(QStringLiteral("tag")).toString());
        QCOMPARE(mineDefs[i].prompt, a.value(QStringLiteral("prompt")).toString());
        QCOMPARE(mineDefs[i].text, a.value(QStringLiteral("text")).toString());
        QCOMPARE(mineDefs[i].handle, a.value(QStringLiteral("handle")).toString());
    }

    // New handles go above every handle in the file.
    const QJsonArray handles = expected.value(QStringLiteral("handles")).toArray();
    QVERIFY(handles.size() > 20);
    for (const QJsonValue &h : handles)
        QVERIFY(d.handleSeed() > Drawing::parseHandle(h.toString()).value());
}

void TestDxf::unchangedRoundTripIsIdentical_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("fromEzdxf");
    for (const char *name : {"r12", "r2000", "r2007", "r2018"})
        QTest::newRow(name) << fixture(QLatin1String(name)) << true;
    QTest::newRow("sample") << example(QStringLiteral("sample.dxf")) << false;
    QTest::newRow("big") << example(QStringLiteral("big.dxf")) << false;
}

void TestDxf::unchangedRoundTripIsIdentical()
{
    QFETCH(QString, path);
    QFETCH(bool, fromEzdxf);
    if (fromEzdxf)
        needEzdxf();
    const QByteArray original = readAll(path);
    Drawing d;
    readDxf(d, original, path);
    QCOMPARE(writeDxf(d), original);

    // Line ends and padding of the file are kept too.
    QByteArray crlf = original;
    crlf.replace("\n", "\r\n");
    readDxf(d, crlf, path);
    QCOMPARE(writeDxf(d), crlf);
}

// ---- Files we write, read by ezdxf ------------------------------------------------------

void TestDxf::savedEditsReadBackWithEzdxf_data()
{
    readsWhatEzdxfWrote_data();
}

void TestDxf::savedEditsReadBackWithEzdxf()
{
    needEzdxf();
    QFETCH(QString, name);
    const QJsonObject before = dump(fixture(name));
    Drawing d;
    loadDrawingFile(d, fixture(name));

    const QString wire = handleOfText(d, QStringLiteral("101"));
    const QString mc = handleOfText(d, QStringLiteral("MC"));
    const QString escaped = handleOfText(d, QStringLiteral("Ωñ€"));
    const QString tagged = handleOfText(d, QStringLiteral("XDATA"));
    const QString locked = handleOfText(d, QStringLiteral("LOCK1"));
    QString ref, lockedRef;
    for (const QString &h : d.modelSpaceHandles()) {
        if (d.find(h)->kind == EntityKind::BlockReference)
            (d.find(h)->layer == QLatin1String("WIRE") ? ref : lockedRef) = h;
    }
    QVERIFY(!wire.isEmpty() && !mc.isEmpty() && !escaped.isEmpty() && !tagged.isEmpty() && !ref.isEmpty());

    d.setTextString(wire, QStringLiteral("線番202 ñ"));
    d.setAlignment(wire, 7); // top center: the reference point starts at the insertion point
    d.setTextAlignmentPoint(mc, {70, 70, 0});
    const QString fit = handleOfText(d, QStringLiteral("FIT"));
    d.setInsertionPoint(fit, {12, 88, 0}); // its second point stays
    d.setTextString(d.find(ref)->attributes[0].handle, QStringLiteral("CR9 Ω"));
    d.setTextString(escaped, QStringLiteral("two\nlines ^ caret"));
    const QString copy = d.copyEntity(tagged);
    d.setInsertionPoint(copy, {0, 70, 0});
    const QString refCopy = d.copyEntity(ref);
    d.setTextString(d.find(refCopy)->attributes[1].handle, QStringLiteral("AC200V"));
    const QString erased = handleOfText(d, QStringLiteral("R"));
    d.eraseEntity(erased);
    QString nameDef;
    for (const Entity &e : d.block(QStringLiteral("DEV"))->entities)
        if (e.tag == QLatin1String("NAME"))
            nameDef = e.handle;
    d.modify(nameDef, [](Entity &e) { e.prompt = QStringLiteral("機器番号"); });
    d.addLayer(QStringLiteral("新規"));
    const QString added = d.addText(QStringLiteral("新規"), QStringLiteral("ADDED"), {5, 5, 0}, 10, {5, 5, 0});
    d.addBlockDefinition(QStringLiteral("NEWBLK"),
                         {attributeDefinition(QStringLiteral("TAG1"), QStringLiteral("項目"), QStringLiteral("X"))});
    const QString newRef = d.addBlockReference(QStringLiteral("新規"), QStringLiteral("NEWBLK"), {9, 9, 0});
    d.setLayerLocked(QStringLiteral("新規"), true);
    d.setLayerLocked(QStringLiteral("LOCKED"), false);

    const QString saved = m_dir.filePath(name + QStringLiteral("-saved.dxf"));
    saveDrawingFile(d, saved);
    const QJsonObject after = dump(saved);
    QVERIFY(!after.isEmpty());
    QCOMPARE(after.value(QStringLiteral("audit")).toArray(), QJsonArray());
    QCOMPARE(after.value(QStringLiteral("version")), before.value(QStringLiteral("version")));

    // Every model-space entity as the drawing has it, in the drawing's handles.
    QStringList savedHandles;
    for (const QJsonValue &v : after.value(QStringLiteral("entities")).toArray()) {
        const QString type = v.toObject().value(QStringLiteral("type")).toString();
        if (type == QLatin1String("TEXT") || type == QLatin1String("INSERT"))
            savedHandles.append(v.toObject().value(QStringLiteral("handle")).toString());
    }
    QCOMPARE(savedHandles, d.modelSpaceHandles());
    for (const QString &h : d.modelSpaceHandles()) {
        const Entity &e = *d.find(h);
        const QJsonObject s = entityIn(after, h);
        QCOMPARE(s.value(QStringLiteral("layer")).toString(), e.layer);
        QCOMPARE(pointOf(s.value(QStringLiteral("insert"))), e.insertion);
        if (e.kind == EntityKind::Text) {
            if (h != escaped)
                QCOMPARE(unescaped(s.value(QStringLiteral("text")).toString()), e.text);
            QCOMPARE(alignmentOf(s.value(QStringLiteral("halign")).toInt(), s.value(QStringLiteral("valign")).toInt()),
                     e.alignment);
            if (e.alignment != 0)
                QCOMPARE(pointOf(s.value(QStringLiteral("align_point"))), e.alignmentPoint);
        } else {
            const QJsonArray attribs = s.value(QStringLiteral("attribs")).toArray();
            QCOMPARE(attribs.size(), e.attributes.size());
            for (qsizetype i = 0; i < attribs.size(); ++i) {
                const QJsonObject a = attribs[i].toObject();
                QCOMPARE(a.value(QStringLiteral("handle")).toString(), e.attributes[i].handle);
                QCOMPARE(a.value(QStringLiteral("tag")).toString(), e.attributes[i].tag);
                QCOMPARE(a.value(QStringLiteral("text")).toString(), e.attributes[i].text);
            }
        }
    }
    // In the file's form: the code page and an escape for what it lacks, or UTF-8.
    const bool utf8 = name == QLatin1String("r2007") || name == QLatin1String("r2018");
    QCOMPARE(entityIn(after, wire).value(QStringLiteral("text")).toString(),
             utf8 ? QStringLiteral("線番202 ñ") : QStringLiteral("線番202 \\U+00F1"));
    const Point wireAt{10, 20, 0};
    QCOMPARE(pointOf(entityIn(after, wire).value(QStringLiteral("align_point"))), wireAt);
    // A line break is written in the caret form, so the file keeps its lines.
    QCOMPARE(entityIn(after, escaped).value(QStringLiteral("text")).toString(),
             QStringLiteral("two^Jlines ^  caret"));
    QVERIFY(entityIn(after, erased).isEmpty());
    QVERIFY(entityIn(after, added).value(QStringLiteral("layer")).toString() == QStringLiteral("新規"));

    // A copy is a clone of its source: the extended data goes with it.
    QCOMPARE(entityIn(after, copy).value(QStringLiteral("xdata")), entityIn(before, tagged).value(QStringLiteral("xdata")));
    QVERIFY(!entityIn(after, copy).value(QStringLiteral("xdata")).isUndefined());
    const QJsonObject savedRefCopy = entityIn(after, refCopy);
    if (name != QLatin1String("r12")) {
        // The attributes of the copied reference belong to it (ezdxf does not show owners as written).
        const auto doc = DxfDocument::parse(readAll(saved));
        QStringList owners;
        QString type;
        for (const DxfPair &p : doc->pairs()) {
            if (p.code == 0)
                type = QString::fromLatin1(p.value);
            else if (type == QLatin1String("ATTRIB") && p.code == 330)
                owners.append(QString::fromLatin1(p.value));
        }
        QCOMPARE(owners.count(refCopy), d.find(refCopy)->attributes.size());
    }
    QVERIFY(!savedRefCopy.value(QStringLiteral("seqend")).toString().isEmpty());
    QVERIFY(savedRefCopy.value(QStringLiteral("seqend")) != entityIn(after, ref).value(QStringLiteral("seqend")));

    // Untouched entities are exactly as they were.
    for (const QJsonValue &v : before.value(QStringLiteral("entities")).toArray()) {
        const QJsonObject e = v.toObject();
        const QString h = e.value(QStringLiteral("handle")).toString();
        if (QStringList{wire, mc, fit, escaped, ref, erased}.contains(h))
            continue;
        QCOMPARE(entityIn(after, h), e);
    }
    QCOMPARE(after.value(QStringLiteral("paper")), before.value(QStringLiteral("paper")));
    QVERIFY(!entityIn(after, locked).isEmpty());
    QCOMPARE(entityIn(after, lockedRef), entityIn(before, lockedRef));

    const QJsonObject layers = after.value(QStringLiteral("layers")).toObject();
    QCOMPARE(layers.value(QStringLiteral("新規")).toBool(), true);
    QCOMPARE(layers.value(QStringLiteral("LOCKED")).toBool(), false);
    QCOMPARE(layers.value(QStringLiteral("WIRE")).toBool(), false);
    const QJsonObject blocks = after.value(QStringLiteral("blocks")).toObject();
    QCOMPARE(blocks.value(QStringLiteral("NEWBLK")).toArray().at(0).toObject().value(QStringLiteral("prompt")).toString(),
             QStringLiteral("項目"));
    bool promptSaved = false;
    for (const QJsonValue &a : blocks.value(QStringLiteral("DEV")).toArray())
        promptSaved = promptSaved || a.toObject().value(QStringLiteral("prompt")).toString() == QStringLiteral("機器番号");
    QVERIFY(promptSaved);
    QCOMPARE(entityIn(after, newRef).value(QStringLiteral("name")).toString(), QStringLiteral("NEWBLK"));

    // Handles are unique and all below the rewritten seed.
    const quint64 seed = Drawing::parseHandle(after.value(QStringLiteral("handseed")).toString()).value();
    QSet<QString> unique;
    const QJsonArray handles = after.value(QStringLiteral("handles")).toArray();
    for (const QJsonValue &h : handles) {
        QVERIFY(Drawing::parseHandle(h.toString()).value() < seed);
        unique.insert(h.toString());
    }
    QCOMPARE(unique.size(), handles.size());
    QVERIFY(seed >= d.handleSeed());

    // And our own reader gets the edited drawing back.
    Drawing again;
    loadDrawingFile(again, saved);
    QCOMPARE(content(again), content(d));
}

void TestDxf::newDrawingIsWrittenAsR12()
{
    Drawing d;
    d.addLayer(QStringLiteral("A"));
    d.addLayer(QStringLiteral("L"), true);
    d.addText(QStringLiteral("A"), QStringLiteral("線番 1"), {10, 20, 0});
    d.addText(QStringLiteral("L"), QStringLiteral("€ right"), {0, 0, 0}, 2, {30, 0, 0});
    d.addBlockDefinition(QStringLiteral("RELAY"),
                         {attributeDefinition(QStringLiteral("NAME"), QStringLiteral("機器名"), QStringLiteral("RY"))});
    d.addBlockReference(QStringLiteral("A"), QStringLiteral("RELAY"), {100, 100, 0},
                        {{QStringLiteral("NAME"), QStringLiteral("RY1")}});
    const QByteArray bytes = writeDxf(d);
    QVERIFY(bytes.contains("AC1009"));

    Drawing back;
    readDxf(back, bytes);
    QCOMPARE(content(back), content(d));
    QCOMPARE(back.modelSpaceHandles(), d.modelSpaceHandles());

    if (!m_ezdxf)
        return;
    const QString path = m_dir.filePath(QStringLiteral("new.dxf"));
    saveDrawingFile(d, path);
    const QJsonObject s = dump(path);
    QCOMPARE(s.value(QStringLiteral("audit")).toArray(), QJsonArray());
    QCOMPARE(s.value(QStringLiteral("entities")).toArray().size(), 3);
    QCOMPARE(s.value(QStringLiteral("layers")).toObject().value(QStringLiteral("L")).toBool(), true);
    QCOMPARE(entityIn(s, d.modelSpaceHandles().first()).value(QStringLiteral("text")).toString(),
             QStringLiteral("線番 1"));
}

// Old programs write R12 files of an ENTITIES section only, without handles.
void TestDxf::minimalFileWithoutHandles()
{
    const QByteArray original = "0\r\nSECTION\r\n2\r\nENTITIES\r\n"
                                "0\r\nTEXT\r\n8\r\nW\r\n10\r\n1.5\r\n20\r\n2\r\n40\r\n2.5\r\n1\r\nA\r\n"
                                "0\r\nLINE\r\n8\r\n0\r\n10\r\n0\r\n20\r\n0\r\n11\r\n5\r\n21\r\n5\r\n"
                                "0\r\nENDSEC\r\n0\r\nEOF\r\n";
    Drawing d;
    readDxf(d, original);
    QCOMPARE(d.modelSpaceCount(), 1);
    const QString text = d.modelSpaceHandles().first();
    QVERIFY(d.layer(QStringLiteral("W")));
    QCOMPARE(writeDxf(d), original);

    d.setTextString(text, QStringLiteral("B"));
    d.copyEntity(text);
    const QByteArray written = writeDxf(d);
    QVERIFY(written.contains("\r\n1\r\nB\r\n"));
    const auto parsed = DxfDocument::parse(written);
    for (const DxfPair &p : parsed->pairs())
        QVERIFY(p.code != 5); // still a file without handles
    QVERIFY(written.contains("LINE\r\n8\r\n0\r\n10\r\n0\r\n"));
    Drawing back;
    readDxf(back, written);
    QCOMPARE(back.modelSpaceCount(), 2);
    QCOMPARE(back.find(back.modelSpaceHandles().last())->text, QStringLiteral("B"));
    QCOMPARE(back.find(back.modelSpaceHandles().last())->insertion.x, 1.5);
}

// ---- Malformed files ----------------------------------------------------------------------

void TestDxf::malformed_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("what");

    const QByteArray head = "  0\nSECTION\n  2\nENTITIES\n";
    const QByteArray text = "  0\nTEXT\n  5\n2A\n  8\n0\n 10\n1.0\n 20\n2.0\n  1\nABC\n";
    const QByteArray tail = "  0\nENDSEC\n  0\nEOF\n";
    QTest::newRow("empty") << QByteArray() << 1 << "empty";
    QTest::newRow("truncated in a pair") << head + "  0\nTEXT\n  5\n" << 7 << "ends early";
    QTest::newRow("truncated, no EOF") << head + text << 17 << "EOF is missing";
    QTest::newRow("letters as group code") << head + "ABC\nTEXT\n" + tail << 5 << "group code expected";
    QTest::newRow("group code out of range") << head + text + " 99999\nx\n" + tail << 17 << "out of range";
    QTest::newRow("negative group code") << head + text + " -5\nx\n" + tail << 17 << "out of range";
    QTest::newRow("binary junk") << head + QByteArray("\x00\x01\xff\xfe junk\n\x02", 10) + tail << 5
                                 << "group code expected";
    // A binary file names byte offsets.
    const QByteArray binary("AutoCAD Binary DXF\r\n\x1a\x00", 22);
    QTest::newRow("binary DXF, nothing more") << binary << 22 << "empty";
    QTest::newRow("binary DXF cut in a string")
        << binary + QByteArray("\x00SECTION\x00\x02HEAD", 14) << 31 << "not terminated";
    QTest::newRow("binary DXF cut in a number")
        << binary + QByteArray("\x00SECTION\x00\x02" "ENTITIES\x00\x00TEXT\x00\x0a\x01\x02", 28) << 47 << "ends early";
    QTest::newRow("huge number") << head + "  0\nTEXT\n 10\n1e999\n" + tail << 7 << "bad number";
    QTest::newRow("huge coordinate") << head + "  0\nTEXT\n 20\n1e300\n" + tail << 7 << "out of range";
    QTest::newRow("not a number") << head + "  0\nTEXT\n 40\n2,5\n" + tail << 7 << "bad number";
    QTest::newRow("huge integer") << head + "  0\nTEXT\n 72\n99999999999\n" + tail << 7 << "bad integer";
    QTest::newRow("bad handle") << head + "  0\nTEXT\n  5\nXYZ\n" + tail << 7 << "bad handle";
    QTest::newRow("section not closed") << head + text + "  0\nEOF\n" << 1 << "not closed";
    QTest::newRow("entity outside a section") << text + tail << 1 << "SECTION expected";
    QTest::newRow("block not closed")
        << QByteArray("  0\nSECTION\n  2\nBLOCKS\n  0\nBLOCK\n  2\nB\n") + text + tail << 5 << "not closed";
    QTest::newRow("reference without block name") << head + "  0\nINSERT\n  8\n0\n" + tail << 5 << "block name";
}

void TestDxf::malformed()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, line);
    QFETCH(QString, what);
    Drawing d;
    d.addText(QStringLiteral("0"), QStringLiteral("before"), {});
    const QJsonObject state = d.toJson().object();
    const QString message = errorOf([&] { readDxf(d, bytes, QStringLiteral("bad.dxf")); });
    const QString unit = bytes.startsWith("AutoCAD Binary DXF") ? QStringLiteral("byte") : QStringLiteral("line");
    QVERIFY2(message.startsWith(QStringLiteral("bad.dxf, %1 %2: ").arg(unit).arg(line)), qPrintable(message));
    QVERIFY2(message.contains(what), qPrintable(message));
    QCOMPARE(d.toJson().object(), state);
    QVERIFY(!dxfDocument(d));
}

void TestDxf::corruptedFilesNeverCrash()
{
    const QByteArray original = readAll(example(QStringLiteral("sample.dxf")));
    QRandomGenerator random(20240401);
    int loaded = 0;
    for (int round = 0; round < 300; ++round) {
        QByteArray bytes = original;
        const int kind = round % 4;
        const qsizetype at = random.bounded(qsizetype(1), bytes.size());
        if (kind == 0)
            bytes.truncate(at);
        else if (kind == 1)
            bytes[at] = char(random.bounded(256));
        else if (kind == 2)
            bytes.insert(at, QByteArray("\n999999\n\xff\x00\n", 12));
        else
            bytes.remove(at, random.bounded(1, 200));
        Drawing d;
        try {
            readDxf(d, bytes, QStringLiteral("corrupt.dxf"));
        } catch (const ModelError &e) {
            QVERIFY2(e.message().contains(QRegularExpression(QStringLiteral("line \\d+"))), qPrintable(e.message()));
            continue;
        }
        ++loaded;
        // What loads also saves, and reads again.
        Drawing again;
        readDxf(again, writeDxf(d));
        QCOMPARE(content(again), content(d));
    }
    QVERIFY(loaded > 0);
}

// ---- The committed sample drawings ------------------------------------------------------------

void TestDxf::sampleDrawing()
{
    Drawing d;
    loadDrawingFile(d, example(QStringLiteral("sample.dxf")));
    QCOMPARE(dxfDocument(d)->codepage(), QStringLiteral("ANSI_932"));

    // The wire-number column: an even step, the last ones on a locked layer.
    QList<const Entity *> wires;
    for (const QString &h : d.modelSpaceHandles()) {
        const Entity *e = d.find(h);
        if (e->kind == EntityKind::Text && e->layer.startsWith(QLatin1String("WIRE")))
            wires.append(e);
    }
    QCOMPARE(wires.size(), 20);
    for (qsizetype i = 1; i < wires.size(); ++i) {
        QCOMPARE(wires[i]->insertion.x, wires[0]->insertion.x);
        QCOMPARE(wires[i - 1]->insertion.y - wires[i]->insertion.y, 10.0);
    }
    QVERIFY(d.isLayerLocked(QStringLiteral("WIRE_LOCK")));
    QVERIFY(!d.isLayerLocked(QStringLiteral("WIRE")));
    QCOMPARE(wires.last()->layer, QStringLiteral("WIRE_LOCK"));
    QVERIFY(d.find(handleOfText(d, QStringLiteral("線番一覧"))));

    auto tagsOf = [&](const QString &block) {
        QStringList tags;
        for (const Entity &e : d.block(block)->entities)
            if (e.kind == EntityKind::AttributeDefinition)
                tags.append(e.tag);
        return tags;
    };
    QCOMPARE(tagsOf(QStringLiteral("TB")), QStringList{QStringLiteral("SENBAN")});
    QCOMPARE(tagsOf(QStringLiteral("RELAY")), QStringLiteral("NAME,NAME1,SPEC,TYPE").split(QLatin1Char(',')));
    QCOMPARE(tagsOf(QStringLiteral("PLC_IN")), QStringLiteral("PIN1,IOADRS,JCMNT1,JCMNT2").split(QLatin1Char(',')));
    const QString titleTags = QStringLiteral("BITEM7,BITEM5,ZITEM2,ZITEM3,ZITEM1,ZSHEET,FILE3,ZITEM10,ZITEM9,"
                                             "ZITEM8,BITEM2,ZITEM5,BITEM3,ZITEM6,BITEM4,ZITEM7,ZSEIHIN,PAGE");
    QCOMPARE(tagsOf(QStringLiteral("図枠TTL")), titleTags.split(QLatin1Char(',')));
    for (const Entity &e : d.block(QStringLiteral("図枠TTL"))->entities)
        if (e.kind == EntityKind::AttributeDefinition)
            QVERIFY2(!e.prompt.isEmpty() && e.prompt.at(0).unicode() > 0x3000, qPrintable(e.tag));

    int references = 0;
    for (const QString &h : d.modelSpaceHandles())
        if (d.find(h)->kind == EntityKind::BlockReference && d.find(h)->blockName == QStringLiteral("図枠TTL")) {
            ++references;
            QCOMPARE(d.find(h)->attributes.size(), 18);
        }
    QCOMPARE(references, 1);

    // The outline, for the view.
    const DxfDocument *doc = dxfDocument(d);
    int polylines = 0, lines = 0, arcs = 0;
    for (const DxfShape &s : doc->modelSpaceShapes()) {
        polylines += s.kind == DxfShape::Kind::Polyline;
        lines += s.kind == DxfShape::Kind::Line;
        arcs += s.kind == DxfShape::Kind::Arc;
    }
    QCOMPARE(polylines, 3);
    QCOMPARE(lines, 2);
    QCOMPARE(arcs, 1);
    QCOMPARE(doc->modelSpaceShapes().first().points.size(), 4);
    QVERIFY(doc->modelSpaceShapes().first().closed);
    QCOMPARE(doc->blockShapes(QStringLiteral("tb")).first().kind, DxfShape::Kind::Circle);
    QCOMPARE(doc->blockShapes(QStringLiteral("図枠TTL")).size(), 9);

    Drawing big;
    QElapsedTimer timer;
    timer.start();
    loadDrawingFile(big, example(QStringLiteral("big.dxf")));
    qInfo("big.dxf: %d texts read in %lld ms", big.modelSpaceCount(), timer.elapsed());
    QCOMPARE(big.modelSpaceCount(), 20000);

    // Every text changed, written, read again.
    const QStringList handles = big.modelSpaceHandles();
    big.startUndoMark();
    for (const QString &h : handles)
        big.setTextString(h, big.find(h)->text + QStringLiteral("-改"));
    big.endUndoMark();
    timer.restart();
    const QByteArray written = writeDxf(big);
    qInfo("big.dxf: written with 20000 changes in %lld ms", timer.elapsed());
    Drawing again;
    readDxf(again, written);
    QCOMPARE(content(again), content(big));
    QCOMPARE(again.find(handles.last())->text, QStringLiteral("W20000-改"));
}

void TestDxf::filesByExtension()
{
    QVERIFY(isDxfPath(QStringLiteral("/a/b.DXF")));
    QVERIFY(isDxfPath(QStringLiteral("b.Dxf")));
    QVERIFY(!isDxfPath(QStringLiteral("b.dxf.json")));

    Drawing d;
    const QString upper = m_dir.filePath(QStringLiteral("COPY.DXF"));
    QFile::remove(upper);
    QVERIFY(QFile::copy(example(QStringLiteral("sample.dxf")), upper));
    loadDrawingFile(d, upper);
    QCOMPARE(d.fileName(), upper);
    QVERIFY(dxfDocument(d));
    const int count = d.modelSpaceCount();

    const QString json = m_dir.filePath(QStringLiteral("sample.json"));
    saveDrawingFile(d, json);
    QVERIFY(readAll(json).startsWith('{'));
    loadDrawingFile(d, json);
    QCOMPARE(d.fileName(), json);
    QCOMPARE(d.modelSpaceCount(), count);
    QVERIFY(!dxfDocument(d)); // a JSON drawing has no DXF source any more

    const QString missing = m_dir.filePath(QStringLiteral("missing.dxf"));
    QVERIFY(errorOf([&] { loadDrawingFile(d, missing); }).contains(QLatin1String("missing.dxf")));
    QCOMPARE(d.fileName(), json);
    QVERIFY(!errorOf([&] { saveDrawingFile(d, m_dir.filePath(QStringLiteral("no/such/dir/x.dxf"))); }).isEmpty());
}

// ---- Handles, sizes, encodings and forms of files from other programs -------------------------

namespace {

// A small R2000 file: a TEXT 2A and a LINE with the given handle.
QByteArray seededFile(const QByteArray &seed, const QByteArray &lineHandle)
{
    return "  0\nSECTION\n  2\nHEADER\n  9\n$ACADVER\n  1\nAC1015\n  9\n$HANDSEED\n  5\n" + seed
        + "\n  0\nENDSEC\n  0\nSECTION\n  2\nENTITIES\n"
          "  0\nTEXT\n  5\n2A\n100\nAcDbEntity\n  8\n0\n100\nAcDbText\n 10\n1.0\n 20\n2.0\n 30\n0.0\n 40\n2.5\n"
          "  1\nOLD\n100\nAcDbText\n"
          "  0\nLINE\n  5\n"
        + lineHandle
        + "\n100\nAcDbEntity\n  8\n0\n100\nAcDbLine\n 10\n0.0\n 20\n0.0\n 30\n0.0\n 11\n1.0\n 21\n1.0\n 31\n0.0\n"
          "  0\nENDSEC\n  0\nEOF\n";
}

QStringList fileHandles(const QByteArray &bytes)
{
    QStringList handles;
    const auto doc = DxfDocument::parse(bytes);
    bool seed = false; // the value of $HANDSEED is no handle
    for (const DxfPair &p : doc->pairs()) {
        if (p.code == 5 && !seed)
            handles.append(QString::fromLatin1(p.value.trimmed()));
        seed = p.code == 9 && p.value.trimmed() == "$HANDSEED";
    }
    return handles;
}

} // namespace

void TestDxf::loadTimeDoesNotDependOnHandles_data()
{
    QTest::addColumn<QByteArray>("seed");
    QTest::addColumn<QByteArray>("lineHandle");
    QTest::addColumn<QStringList>("newHandles"); // what the next two new entities get; fewer: out of handles
    QTest::newRow("AutoCAD Architecture seed") << QByteArray("D9B071D01A0CB6A8") << QByteArray("2B")
                                               << QStringList{"D9B071D01A0CB6A8", "D9B071D01A0CB6A9"};
    QTest::newRow("seed at the last handle") << QByteArray("FFFFFFFFFFFFFFFF") << QByteArray("2B")
                                             << QStringList{"FFFFFFFFFFFFFFFF"};
    QTest::newRow("last handle in use") << QByteArray("30") << QByteArray("FFFFFFFFFFFFFFFF") << QStringList{};
}

void TestDxf::loadTimeDoesNotDependOnHandles()
{
    QFETCH(QByteArray, seed);
    QFETCH(QByteArray, lineHandle);
    QFETCH(QStringList, newHandles);
    const QByteArray bytes = seededFile(seed, lineHandle);
    // Loaded over a drawing read from a file, as the host does on Load.
    Drawing d;
    loadDrawingFile(d, example(QStringLiteral("sample.dxf")));
    QElapsedTimer timer;
    timer.start();
    readDxf(d, bytes, QStringLiteral("seeded.dxf"));
    QVERIFY2(timer.elapsed() < 2000, qPrintable(QStringLiteral("%1 ms").arg(timer.elapsed())));
    QCOMPARE(writeDxf(d), bytes);

    const QStringList before = fileHandles(bytes);
    QStringList made;
    for (int i = 0; i < 2; ++i) {
        const QString error = errorOf([&] {
            made.append(i == 0 ? d.addText(QStringLiteral("0"), QStringLiteral("NEW"), {5, 5, 0})
                               : d.copyEntity(QStringLiteral("2A")));
        });
        if (made.size() == i) {
            QVERIFY2(error.startsWith(QStringLiteral("Out of handles")), qPrintable(error));
            break;
        }
    }
    QCOMPARE(made, newHandles);
    for (const QString &h : made)
        QVERIFY(!before.contains(h));
    // What was made is saved under its handles, and the file says no handle is reused.
    const QByteArray written = writeDxf(d);
    QStringList after = fileHandles(written);
    QCOMPARE(QSet<QString>(after.cbegin(), after.cend()).size(), after.size());
    Drawing back;
    readDxf(back, written);
    QCOMPARE(content(back), content(d));
    for (const QString &h : made)
        QCOMPARE(back.find(h)->text, made.size() > 1 && h == made.last() ? QStringLiteral("OLD") : QStringLiteral("NEW"));
    QCOMPARE(back.handlesExhausted(), newHandles.size() < 2);
}

void TestDxf::twentyThousandLayers()
{
    QByteArray bytes = "  0\nSECTION\n  2\nHEADER\n  9\n$ACADVER\n  1\nAC1009\n  0\nENDSEC\n"
                       "  0\nSECTION\n  2\nTABLES\n  0\nTABLE\n  2\nLAYER\n 70\n20001\n"
                       "  0\nLAYER\n  2\n0\n 70\n0\n 62\n7\n  6\nCONTINUOUS\n";
    for (int i = 0; i < 20000; ++i)
        bytes += "  0\nLAYER\n  2\nL" + QByteArray::number(i) + "\n 70\n0\n 62\n7\n  6\nCONTINUOUS\n";
    bytes += "  0\nENDTAB\n  0\nENDSEC\n  0\nSECTION\n  2\nENTITIES\n"
             "  0\nTEXT\n  8\nl19999\n 10\n0.0\n 20\n0.0\n 40\n2.5\n  1\nLAST\n  0\nENDSEC\n  0\nEOF\n";
    Drawing d;
    QElapsedTimer timer;
    timer.start();
    readDxf(d, bytes);
    const qint64 read = timer.elapsed();
    QCOMPARE(d.layers().size(), 20001);
    d.setLayerLocked(QStringLiteral("L123"), true);
    timer.restart();
    const QByteArray written = writeDxf(d);
    qInfo("20,000 layers: read in %lld ms, written in %lld ms", read, timer.elapsed());
    QVERIFY2(read < 2000 && timer.elapsed() < 2000, "layers must not cost time by the square of their number");
    Drawing back;
    readDxf(back, written);
    QVERIFY(back.isLayerLocked(QStringLiteral("L123")));
    QVERIFY(!back.isLayerLocked(QStringLiteral("L124")));
    QCOMPARE(back.find(back.modelSpaceHandles().first())->layer, QStringLiteral("l19999"));
}

void TestDxf::shiftJisWithoutCodepage_data()
{
    QTest::addColumn<QByteArray>("layer");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("codepage");
    QTest::addColumn<QString>("expected");
    // 配線, 線番①ｱ in Shift_JIS (CP932).
    QTest::newRow("Shift_JIS") << QByteArray("\x94z\x90\xfc") << QByteArray("\x90\xfc\x94\xd4\x87@\xb1")
                               << QStringLiteral("ANSI_932") << QStringLiteral("線番①ｱ");
    // Western text that happens to pair up as CP932 stays windows-1252.
    QTest::newRow("windows-1252") << QByteArray("Gr\xf6\xdf" "e") << QByteArray("D\xe9tail caf\xe9")
                                  << QString() << QStringLiteral("Détail café");
    QTest::newRow("UTF-8 is no Shift_JIS") << QByteArray("\xe9\x85\x8d") << QByteArray("\xe7\xb7\x9a")
                                           << QString() << QStringLiteral("ç·š");
}

void TestDxf::shiftJisWithoutCodepage()
{
    QFETCH(QByteArray, layer);
    QFETCH(QByteArray, text);
    QFETCH(QString, codepage);
    QFETCH(QString, expected);
    // R12 as older Japanese programs write it: no $DWGCODEPAGE.
    const QByteArray original =
        "  0\nSECTION\n  2\nHEADER\n  9\n$ACADVER\n  1\nAC1009\n  9\n$HANDSEED\n  5\n100\n  0\nENDSEC\n"
        "  0\nSECTION\n  2\nTABLES\n  0\nTABLE\n  2\nLAYER\n 70\n2\n  0\nLAYER\n  2\n0\n 70\n0\n"
        "  0\nLAYER\n  2\n" + layer + "\n 70\n0\n  0\nENDTAB\n  0\nENDSEC\n"
        "  0\nSECTION\n  2\nENTITIES\n"
        "  0\nTEXT\n  5\n2A\n  8\n" + layer + "\n 10\n0.0\n 20\n0.0\n 40\n2.5\n  1\n" + text + "\n"
        "  0\nTEXT\n  5\n2B\n  8\n0\n 10\n0.0\n 20\n5.0\n 40\n2.5\n  1\nA-1\n"
        "  0\nENDSEC\n  0\nEOF\n";
    Drawing d;
    readDxf(d, original);
    QCOMPARE(dxfDocument(d)->textCodepage(), codepage);
    QCOMPARE(dxfDocument(d)->codepage(), QString());
    QCOMPARE(d.find(QStringLiteral("2A"))->text, expected);
    QVERIFY(d.layer(d.find(QStringLiteral("2A"))->layer));
    QCOMPARE(writeDxf(d), original);

    // An edit of the other text leaves these bytes as they were.
    d.setTextString(QStringLiteral("2B"), QStringLiteral("A-2"));
    const QByteArray written = writeDxf(d);
    QByteArray expectedBytes = original;
    expectedBytes.replace("  1\nA-1\n", "  1\nA-2\n");
    QCOMPARE(written, expectedBytes);
    if (codepage.isEmpty())
        return;
    // New text goes out in the same code page.
    d.setTextString(QStringLiteral("2B"), QStringLiteral("線"));
    QVERIFY(writeDxf(d).contains("  1\n\x90\xfc\n"));
}

void TestDxf::binaryFiles_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("R12") << QStringLiteral("r12");
    QTest::newRow("R2000") << QStringLiteral("r2000");
}

void TestDxf::binaryFiles()
{
    needEzdxf();
    QFETCH(QString, name);
    const QString binaryPath = fixture(name + QStringLiteral("_bin"));
    const QByteArray bytes = readAll(binaryPath);
    QVERIFY(bytes.startsWith(QByteArray("AutoCAD Binary DXF\r\n\x1a\x00", 22)));
    Drawing d, ascii;
    readDxf(d, bytes, binaryPath);
    loadDrawingFile(ascii, fixture(name));
    QVERIFY(dxfDocument(d)->isBinary());
    QCOMPARE(content(d), content(ascii));
    QCOMPARE(writeDxf(d), bytes);

    const QString wire = handleOfText(d, QStringLiteral("101"));
    const QString tagged = handleOfText(d, QStringLiteral("XDATA"));
    QString ref;
    for (const QString &h : d.modelSpaceHandles())
        if (d.find(h)->kind == EntityKind::BlockReference && d.find(h)->layer == QLatin1String("WIRE"))
            ref = h;
    d.setTextString(wire, QStringLiteral("線番202"));
    d.setInsertionPoint(wire, {-0.0, 1e-300, 12345.678});
    d.setTextString(d.find(ref)->attributes[1].handle, QStringLiteral("AC100V"));
    const QString copy = d.copyEntity(tagged);
    const QString added = d.addText(QStringLiteral("新規"), QStringLiteral("追加"), {1, 2, 0});
    const QString saved = m_dir.filePath(name + QStringLiteral("_bin_saved.dxf"));
    saveDrawingFile(d, saved);
    const QByteArray written = readAll(saved);
    QVERIFY(written.startsWith(QByteArray("AutoCAD Binary DXF\r\n\x1a\x00", 22)));

    Drawing back;
    readDxf(back, written);
    QVERIFY(dxfDocument(back)->isBinary());
    QCOMPARE(content(back), content(d));

    const QJsonObject before = dump(binaryPath);
    const QJsonObject after = dump(saved);
    QCOMPARE(after.value(QStringLiteral("audit")).toArray(), QJsonArray());
    QCOMPARE(entityIn(after, wire).value(QStringLiteral("text")).toString(), QStringLiteral("線番202"));
    QCOMPARE(pointOf(entityIn(after, wire).value(QStringLiteral("insert"))), (Point{0, 1e-300, 12345.678}));
    QCOMPARE(entityIn(after, added).value(QStringLiteral("text")).toString(), QStringLiteral("追加"));
    QCOMPARE(entityIn(after, copy).value(QStringLiteral("xdata")), entityIn(before, tagged).value(QStringLiteral("xdata")));
    QCOMPARE(entityIn(after, ref).value(QStringLiteral("attribs")).toArray().at(1).toObject().value(QStringLiteral("text")),
             QJsonValue(QStringLiteral("AC100V")));
    for (const QJsonValue &v : before.value(QStringLiteral("entities")).toArray()) {
        const QString h = v.toObject().value(QStringLiteral("handle")).toString();
        if (h != wire && h != ref)
            QCOMPARE(entityIn(after, h), v.toObject());
    }

    // A cut file names the byte where it ends.
    const QString message = errorOf([&] { readDxf(back, bytes.left(bytes.size() * 2 / 3), QStringLiteral("cut.dxf")); });
    QVERIFY2(message.contains(QRegularExpression(QStringLiteral("^cut\\.dxf, byte \\d+: "))), qPrintable(message));
    QCOMPARE(content(back), content(d));
}

// What ezdxf reads opens here too, faults and all, and is saved with its faults.
void TestDxf::faultsAreKept()
{
    const QByteArray original =
        "  9\n$ACADVER\n  1\nAC1009\n" // before the first section
        "  0\nSECTION\n  2\nHEADER\n  9\n$HANDSEED\n  5\n100\n  0\nENDSEC\n"
        "  0\nSECTION\n  2\nENTITIES\n"
        "  0\nTEXT\n  5\n2A\n  8\n0\n 10\n1.0\n 20\n2.0\n 40\n2.5\n  1\nFIRST\n"
        "  0\nTEXT\n  5\n2A\n  8\n0\n 10\n3.0\n 20\n4.0\n 40\n2.5\n  1\nSECOND\n"
        "  0\nLINE\n  5\n2B\n  8\n0\n 10\n5.0\n 20\n6.0\n 11\n7.0\n 21\n8.0\n"
        "  0\nENDSEC\n  0\nEOF"; // and no line end
    Drawing d;
    readDxf(d, original);
    QCOMPARE(dxfDocument(d)->version(), QStringLiteral("AC1009"));
    QCOMPARE(d.modelSpaceCount(), 2);
    // The handle stays with the first; the others get handles of their own, above the file's.
    QCOMPARE(d.find(QStringLiteral("2A"))->text, QStringLiteral("FIRST"));
    const QStringList handles = d.modelSpaceHandles();
    QCOMPARE(handles.first(), QStringLiteral("2A"));
    QCOMPARE(d.find(handles[1])->text, QStringLiteral("SECOND"));
    QVERIFY(*Drawing::parseHandle(handles[1]) >= 0x100);
    QCOMPARE(writeDxf(d), original);

    // An edit goes to the entity it names, and the file keeps its handles.
    d.setTextString(QStringLiteral("2A"), QStringLiteral("EDITED"));
    QByteArray expected = original;
    expected.replace("FIRST", "EDITED");
    QCOMPARE(writeDxf(d), expected);
    d.setTextString(handles[1], QStringLiteral("SECOND-2"));
    expected.replace("SECOND", "SECOND-2");
    QCOMPARE(writeDxf(d), expected);
    Drawing back;
    readDxf(back, expected);
    QCOMPARE(content(back), content(d));

    if (!m_ezdxf)
        return;
    const QString path = m_dir.filePath(QStringLiteral("faults.dxf"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write(original) == original.size());
    f.close();
    QCOMPARE(dump(path).value(QStringLiteral("version")).toString(), QStringLiteral("AC1009"));
}

// Drawings other programs wrote: every one ezdxf reads opens, saves
// unchanged byte for byte, and an edit of one TEXT changes nothing else as
// ezdxf sees it.
void TestDxf::realWorldCorpus()
{
    const QDir corpus(QStringLiteral(LUMO_DXF_CORPUS_DIR));
    if (!corpus.exists())
        QSKIP(qPrintable(QStringLiteral("no corpus of DXF files from other programs at %1").arg(corpus.path())));
    needEzdxf();
    const QString edited = QStringLiteral("LUMO EDIT 1");
    QElapsedTimer timer;
    timer.start();
    QByteArray pairs;
    QHash<QString, QString> refused; // path -> our message
    int opened = 0, edits = 0;
    const QStringList files = corpus.entryList({QStringLiteral("*.dxf")}, QDir::Files, QDir::Name | QDir::IgnoreCase);
    QVERIFY(files.size() > 10);
    for (const QString &name : files) {
        const QString path = corpus.filePath(name);
        const QByteArray bytes = readAll(path);
        Drawing d;
        const QString error = errorOf([&] { readDxf(d, bytes, name); });
        if (!error.isEmpty()) {
            QVERIFY2(error.startsWith(name + QStringLiteral(", line ")) || error.startsWith(name + QStringLiteral(", byte ")),
                     qPrintable(error));
            refused.insert(path, error);
            pairs += path.toUtf8() + "\t\n";
            continue;
        }
        ++opened;
        QVERIFY2(writeDxf(d) == bytes, qPrintable(name));
        // The first TEXT on an unlocked layer whose handle the file uses once.
        const QStringList inFile = fileHandles(bytes);
        QString text;
        for (const QString &h : d.modelSpaceHandles()) {
            const Entity *e = d.find(h);
            if (e->kind == EntityKind::Text && !d.isLayerLocked(e->layer) && inFile.count(h) == 1) {
                text = h;
                break;
            }
        }
        if (text.isEmpty())
            continue;
        d.setTextString(text, edited);
        const QString saved = m_dir.filePath(QStringLiteral("corpus-") + name);
        saveDrawingFile(d, saved);
        Drawing back;
        loadDrawingFile(back, saved);
        QVERIFY2(content(back) == content(d), qPrintable(name));
        pairs += path.toUtf8() + '\t' + saved.toUtf8() + '\n';
        ++edits;
    }
    QProcess p;
    p.start(kPython, {toolPath(), QStringLiteral("compare")});
    p.write(pairs);
    p.closeWriteChannel();
    QVERIFY(p.waitForFinished(240000));
    QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
    const QJsonObject result = QJsonDocument::fromJson(p.readAllStandardOutput()).object();
    for (auto it = result.begin(); it != result.end(); ++it) {
        const QJsonObject r = it.value().toObject();
        const QString name = QFileInfo(it.key()).fileName();
        if (refused.contains(it.key())) {
            QVERIFY2(!r.value(QStringLiteral("readable")).toBool(),
                     qPrintable(QStringLiteral("ezdxf reads %1, minicad refuses it: %2").arg(name, refused[it.key()])));
            continue;
        }
        QVERIFY2(!r.contains(QStringLiteral("error")), qPrintable(name + QStringLiteral(": ") + r.value(QStringLiteral("error")).toString()));
        QVERIFY2(r.value(QStringLiteral("missing")).toArray().isEmpty() && r.value(QStringLiteral("added")).toArray().isEmpty(),
                 qPrintable(name));
        const QJsonArray changed = r.value(QStringLiteral("changed")).toArray();
        QVERIFY2(changed.size() == 1, qPrintable(name + QStringLiteral(": ") + QJsonDocument(changed).toJson()));
        QJsonObject now = changed[0].toObject();
        QJsonObject was = now.value(QStringLiteral("before")).toObject();
        QCOMPARE(now.value(QStringLiteral("type")).toString(), QStringLiteral("TEXT"));
        QCOMPARE(now.value(QStringLiteral("text")).toString(), edited);
        // Nothing but the text changed.
        QJsonObject allNow = now.value(QStringLiteral("all")).toObject(), allWas = was.value(QStringLiteral("all")).toObject();
        allNow.remove(QStringLiteral("text"));
        allWas.remove(QStringLiteral("text"));
        QVERIFY2(allNow == allWas, qPrintable(name));
        QCOMPARE(now.value(QStringLiteral("xdata")), was.value(QStringLiteral("xdata")));
    }
    QCOMPARE(result.size(), files.size() - (opened - edits));
    qInfo("corpus: %d files, %d opened, %d refused as ezdxf refuses them, %d edited and compared, in %lld ms",
          int(files.size()), opened, int(refused.size()), edits, timer.elapsed());
}

QTEST_GUILESS_MAIN(TestDxf)
#include "tst_dxf.moc"
