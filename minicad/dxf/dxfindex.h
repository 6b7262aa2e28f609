#pragma once
// Internal to minicad/dxf: what the reader found where, shared with the writer.

#include "minicad/dxf/dxfdocument.h"
#include "minicad/dxf/dxftext.h"

#include <QHash>
#include <QList>
#include <QSet>

namespace minicad {

// A TEXT, ATTDEF or INSERT (with its ATTRIBs and SEQEND) the model holds.
struct DxfOwned {
    int begin = 0;            // index of its (0, type) pair
    int end = 0;              // one past its last pair (the SEQEND's, for an INSERT)
    int block = -1;           // -1: model space; otherwise the index in DxfIndex::blocks
    bool fileHandle = false;  // the file gave it a handle (code 5)
    Entity asRead;            // the values its pairs hold
    QList<int> attribBegins;  // ATTRIB records of an INSERT
    QList<int> attribEnds;
    int seqend = -1;          // SEQEND record of an INSERT, -1 when none
};

struct DxfLayerRecord {
    int begin = 0, end = 0;
    QString name;
    int flags = 0;
    int flagsPair = -1; // the pair holding code 70, -1 when there is none
};

struct DxfBlockRecord {
    QString name;
    int begin = 0;      // the BLOCK record
    int endblk = 0;     // the ENDBLK record
    bool inModel = false; // model-space and paper-space blocks are not
    Point base;
};

struct DxfTable {
    int begin = -1;     // the (0, TABLE) pair
    int countPair = -1; // the pair holding code 70 of the table header
    int endtab = -1;    // the (0, ENDTAB) pair
    QString handle;
};

struct DxfIndex {
    QList<DxfPair> pairs;
    QByteArray prefix;   // a byte-order mark, or the sentinel of a binary file
    QByteArray tail;     // whatever follows EOF
    QByteArray eol = "\n";
    bool eofLineEnd = true;  // the EOF line has a line end (some programs leave it out)
    bool paddedCodes = true; // group codes right-aligned to three places
    bool binary = false;     // binary DXF
    bool wideCodes = false;  // binary DXF from R13 on: two-byte group codes
    QString name;

    QString version = QStringLiteral("AC1009");
    bool headerHasVersion = false;
    QString codepage;
    QString assumedCodepage; // what the text showed when the header names no code page
    DxfTextCodec codec;
    bool markers = false;     // subclass markers (R13 and later)
    bool hasHandles = false;
    quint64 handseed = 0;     // the file's $HANDSEED
    quint64 maxHandle = 0;    // the highest handle anywhere in the file (or given out for it)
    int handseedPair = -1;    // the value pair of $HANDSEED
    quint64 drawingSeed = 0;  // the drawing's handle seed right after reading
    int headerEnd = -1;       // the ENDSEC of the HEADER section
    int blocksEnd = -1;       // the ENDSEC of BLOCKS
    int entitiesEnd = -1;     // the ENDSEC of ENTITIES
    int eofPair = -1;

    DxfTable layerTable;
    DxfTable blockRecordTable;
    QString modelSpaceRecord; // handle of the *Model_Space block record
    QList<DxfLayerRecord> layers;
    QList<DxfBlockRecord> blocks;

    QList<DxfOwned> owned;
    QHash<QString, int> ownedByHandle; // model handle -> index in owned
    QHash<int, int> ownedByBegin;      // pair index -> index in owned
    QSet<QString> layersAtLoad;        // layer names (upper case) the drawing had after reading

    QList<DxfShape> modelShapes;
    QHash<QString, QList<DxfShape>> blockShapes; // upper-case block name

    // Error helpers: "<name>, line N: what" ("byte N" in a binary file).
    [[noreturn]] void fail(int line, const QString &what) const;
    [[noreturn]] void failAt(int pair, const QString &what) const;

    QString typeAt(int i) const; // the upper-case value of a (0, ...) pair
    int nextRecord(int i) const; // the next (0, ...) pair after i
    // Values of a pair, checked; errors name the line.
    double realAt(int i) const;
    qint64 intAt(int i) const;
    QString stringAt(int i) const { return codec.decode(pairs[i].value); }
};

// Fills the index from the bytes of a file; throws ModelError naming the line.
void indexDxf(DxfIndex &x, const QByteArray &bytes);
// An empty R12 drawing.
QByteArray blankDxf();

} // namespace minicad
