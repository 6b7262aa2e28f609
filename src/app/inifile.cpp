#include "app/inifile.h"

#include <QFileInfo>

namespace lumo {

namespace {

bool isSectionHeader(const QString &trimmed, QString *name)
{
    if (!trimmed.startsWith(QLatin1Char('[')))
        return false;
    const int close = int(trimmed.indexOf(QLatin1Char(']')));
    if (close < 0)
        return false;
    if (name)
        *name = trimmed.mid(1, close - 1).trimmed();
    return true;
}

bool isComment(const QString &trimmed)
{
    return trimmed.startsWith(QLatin1Char(';')) || trimmed.startsWith(QLatin1Char('#'));
}

} // namespace

std::optional<int> parseIniInteger(const QString &text)
{
    bool ok = false;
    const qlonglong v = text.trimmed().toLongLong(&ok, 10);
    if (!ok || v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max())
        return std::nullopt;
    return int(v);
}

void IniFile::load(const QString &path)
{
    m_lines.clear();
    m_loadedLines.clear();
    m_loadedPath.clear();
    m_encoding = TextEncoding::System;
    m_undecodable = false;
    if (!QFileInfo::exists(path))
        return;
    TextFile file;
    if (readTextFile(path, file)) {
        m_lines = file.lines;
        m_loadedLines = file.lines;
        m_loadedPath = path;
        m_encoding = file.encoding;
        m_undecodable = file.undecodable;
    }
}

bool IniFile::save(const QString &path, QString *error) const
{
    const bool loadedHere = !m_loadedPath.isEmpty() && m_loadedPath == path;
    if (loadedHere && m_undecodable) {
        if (error)
            *error = QStringLiteral("文字コードが不明なファイルは書き換えません．");
        return false;
    }
    if (loadedHere && m_lines == m_loadedLines && QFileInfo::exists(path))
        return true;
    return writeTextFile(path, m_lines, m_encoding, error);
}

std::optional<std::pair<int, int>> IniFile::sectionRange(const QString &section) const
{
    for (int i = 0; i < m_lines.size(); ++i) {
        QString name;
        if (isSectionHeader(m_lines.at(i).trimmed(), &name) && name.compare(section, Qt::CaseInsensitive) == 0) {
            int end = i + 1;
            while (end < m_lines.size() && !isSectionHeader(m_lines.at(end).trimmed(), nullptr))
                ++end;
            return std::make_pair(i + 1, end);
        }
    }
    return std::nullopt;
}

std::optional<QString> IniFile::value(const QString &section, const QString &key) const
{
    const auto range = sectionRange(section);
    if (!range)
        return std::nullopt;
    for (int i = range->first; i < range->second; ++i) {
        const QString trimmed = m_lines.at(i).trimmed();
        if (trimmed.isEmpty() || isComment(trimmed))
            continue;
        const int eq = int(trimmed.indexOf(QLatin1Char('=')));
        if (eq < 0)
            continue;
        if (trimmed.left(eq).trimmed().compare(key, Qt::CaseInsensitive) == 0)
            return trimmed.mid(eq + 1).trimmed();
    }
    return std::nullopt;
}

void IniFile::setValue(const QString &section, const QString &key, const QString &value)
{
    const QString line = key + QLatin1Char('=') + value;
    const auto range = sectionRange(section);
    if (!range) {
        if (!m_lines.isEmpty() && !m_lines.last().trimmed().isEmpty())
            m_lines.append(QString());
        m_lines.append(QLatin1Char('[') + section + QLatin1Char(']'));
        m_lines.append(line);
        return;
    }
    int lastEntry = range->first - 1;
    for (int i = range->first; i < range->second; ++i) {
        const QString trimmed = m_lines.at(i).trimmed();
        if (trimmed.isEmpty() || isComment(trimmed))
            continue;
        lastEntry = i;
        const int eq = int(trimmed.indexOf(QLatin1Char('=')));
        if (eq >= 0 && trimmed.left(eq).trimmed().compare(key, Qt::CaseInsensitive) == 0) {
            m_lines[i] = line;
            return;
        }
    }
    m_lines.insert(lastEntry + 1, line);
}

QString IniFile::readString(const QString &section, const QString &key, const QString &def) const
{
    return value(section, key).value_or(def);
}

std::optional<int> IniFile::readOptionalInteger(const QString &section, const QString &key) const
{
    const auto v = value(section, key);
    return v ? parseIniInteger(*v) : std::nullopt;
}

int IniFile::readInteger(const QString &section, const QString &key, int def) const
{
    return readOptionalInteger(section, key).value_or(def);
}

bool IniFile::readBool(const QString &section, const QString &key, bool def) const
{
    return readInteger(section, key, def ? 1 : 0) != 0;
}

void IniFile::writeInteger(const QString &section, const QString &key, int value)
{
    setValue(section, key, QString::number(value));
}

void IniFile::writeBool(const QString &section, const QString &key, bool value)
{
    setValue(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

} // namespace lumo
