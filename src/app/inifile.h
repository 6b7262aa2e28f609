#pragma once
// A small INI file that keeps what it does not know: unknown sections, keys
// and comments of an existing file survive a rewrite.

#include "taglists/textfile.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace lumo {

class IniFile {
public:
    // A missing or unreadable file gives an empty one.
    void load(const QString &path);
    // Leaves a loaded file alone when its lines did not change, and refuses
    // (false) to replace one that no encoding read cleanly.
    bool save(const QString &path, QString *error = nullptr) const;
    // The loaded file held bytes no encoding reads cleanly; its values are a lossy reading.
    bool undecodable() const { return m_undecodable; }

    // Section and key names are matched ignoring letter case; values are trimmed.
    std::optional<QString> value(const QString &section, const QString &key) const;
    void setValue(const QString &section, const QString &key, const QString &value);

    QString readString(const QString &section, const QString &key, const QString &def) const;
    // A value that does not read as a (decimal, optionally signed) integer gives the default.
    int readInteger(const QString &section, const QString &key, int def) const;
    std::optional<int> readOptionalInteger(const QString &section, const QString &key) const;
    bool readBool(const QString &section, const QString &key, bool def) const;
    void writeInteger(const QString &section, const QString &key, int value);
    void writeBool(const QString &section, const QString &key, bool value);

    const QStringList &lines() const { return m_lines; }

private:
    // Index range [begin, end) of the section's body lines, or nullopt.
    std::optional<std::pair<int, int>> sectionRange(const QString &section) const;

    QStringList m_lines;
    QStringList m_loadedLines;
    QString m_loadedPath; // empty: nothing was loaded
    TextEncoding m_encoding = TextEncoding::System;
    bool m_undecodable = false;
};

std::optional<int> parseIniInteger(const QString &text);

} // namespace lumo
