#pragma once
// Strings and numbers as DXF files hold them. Files before AC1021 store text
// in the drawing's code page ($DWGCODEPAGE) with \U+XXXX escapes (and, from
// the R12 era, \M+nXXXX) for what the code page lacks; later files are UTF-8.
// Control characters are written as a caret and a letter ("^J"), a caret as
// "^ ", as the CAD does, so a value never breaks the line structure.

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringDecoder>
#include <QStringEncoder>

namespace minicad {

class DxfTextCodec {
public:
    DxfTextCodec();
    // `version` is $ACADVER, `codepage` $DWGCODEPAGE (e.g. "ANSI_932").
    void setup(const QString &version, const QString &codepage);
    bool isUtf8() const { return m_utf8; }
    QString encodingName() const; // the Qt converter in use, for messages and tests

    QString decode(const QByteArray &raw) const;
    QByteArray encode(const QString &text) const;

    // The converter name for a $DWGCODEPAGE value; "" when unknown.
    static QString converterFor(const QString &codepage);
    // Whether the values of a file that names no code page are Shift_JIS
    // (CP932): every non-ASCII value is well-formed CP932, at least one is
    // no UTF-8, and some hold kana or kanji.
    static bool isShiftJis(const QList<QByteArrayView> &values);

private:
    bool m_utf8 = false;
    QString m_name;
    mutable QStringDecoder m_decoder;
    mutable QStringEncoder m_encoder;
};

// Real numbers as the writer puts them: the shortest text that reads back
// to the same double, always with a decimal point or an exponent.
QByteArray formatReal(double value);

} // namespace minicad
