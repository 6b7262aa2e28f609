#include "minicad/model/wildcard.h"

#include <QList>

namespace minicad {

namespace {

struct Range {
    QChar from, to;
};

struct Token {
    enum class Type { Literal, Star, Any, Digit, Letter, NonAlnum, Set } type = Type::Literal;
    QChar ch;
    QList<Range> set;
    bool negated = false;
};

bool isDigitChar(QChar c) { return c.isDigit(); }
bool isLetterChar(QChar c) { return c.isLetter(); }

// Parses one bracket expression starting after '['; returns false when it
// has no closing ']' (the '[' is then an ordinary character).
bool parseSet(const QString &p, qsizetype &i, Token &out)
{
    qsizetype j = i;
    Token t;
    t.type = Token::Type::Set;
    if (j < p.size() && p[j] == QLatin1Char('~')) {
        t.negated = true;
        ++j;
    }
    bool first = true;
    while (j < p.size()) {
        QChar c = p[j];
        if (c == QLatin1Char(']') && !first) {
            i = j + 1;
            out = t;
            return true;
        }
        first = false;
        if (c == QLatin1Char('`') && j + 1 < p.size())
            c = p[++j];
        ++j;
        // A '-' between two members makes a range; at either end it is itself.
        if (j + 1 < p.size() && p[j] == QLatin1Char('-') && p[j + 1] != QLatin1Char(']')) {
            QChar to = p[j + 1];
            j += 2;
            if (to == QLatin1Char('`') && j < p.size())
                to = p[j++];
            t.set.append({c, to});
        } else {
            t.set.append({c, c});
        }
    }
    return false;
}

QList<Token> compile(const QString &p)
{
    QList<Token> tokens;
    for (qsizetype i = 0; i < p.size();) {
        const QChar c = p[i++];
        Token t;
        switch (c.unicode()) {
        case '*':
            if (!tokens.isEmpty() && tokens.last().type == Token::Type::Star)
                continue;
            t.type = Token::Type::Star;
            break;
        case '?': t.type = Token::Type::Any; break;
        case '#': t.type = Token::Type::Digit; break;
        case '@': t.type = Token::Type::Letter; break;
        case '.': t.type = Token::Type::NonAlnum; break;
        case '`':
            t.ch = i < p.size() ? p[i++] : c; // a trailing backquote stands for itself
            break;
        case '[':
            if (!parseSet(p, i, t))
                t.ch = c;
            break;
        default:
            t.ch = c;
        }
        tokens.append(t);
    }
    return tokens;
}

bool matchOne(const Token &t, QChar c)
{
    switch (t.type) {
    case Token::Type::Literal: return t.ch == c;
    case Token::Type::Any: return true;
    case Token::Type::Digit: return isDigitChar(c);
    case Token::Type::Letter: return isLetterChar(c);
    case Token::Type::NonAlnum: return !isDigitChar(c) && !isLetterChar(c);
    case Token::Type::Set: {
        bool in = false;
        for (const Range &r : t.set) {
            if (c >= r.from && c <= r.to) {
                in = true;
                break;
            }
        }
        return in != t.negated;
    }
    case Token::Type::Star: break;
    }
    return false;
}

// Greedy match with backtracking to the last star: linear in practice.
bool matchTokens(const QString &text, const QList<Token> &tokens)
{
    qsizetype ti = 0, pi = 0;
    qsizetype starPi = -1, starTi = 0;
    while (ti < text.size()) {
        if (pi < tokens.size() && tokens[pi].type == Token::Type::Star) {
            starPi = pi++;
            starTi = ti;
        } else if (pi < tokens.size() && matchOne(tokens[pi], text[ti])) {
            ++pi;
            ++ti;
        } else if (starPi >= 0) {
            pi = starPi + 1;
            ti = ++starTi;
        } else {
            return false;
        }
    }
    while (pi < tokens.size() && tokens[pi].type == Token::Type::Star)
        ++pi;
    return pi == tokens.size();
}

// Splits at commas that are neither escaped nor inside brackets.
QStringList alternatives(const QString &p)
{
    QStringList out;
    QString cur;
    for (qsizetype i = 0; i < p.size(); ++i) {
        const QChar c = p[i];
        if (c == QLatin1Char('`') && i + 1 < p.size()) {
            cur += c;
            cur += p[++i];
            continue;
        }
        if (c == QLatin1Char('[')) {
            qsizetype end = i + 1;
            Token ignored;
            if (parseSet(p, end, ignored)) {
                cur += p.mid(i, end - i);
                i = end - 1;
                continue;
            }
        }
        if (c == QLatin1Char(',')) {
            out.append(cur);
            cur.clear();
            continue;
        }
        cur += c;
    }
    out.append(cur);
    return out;
}

} // namespace

bool wcmatch(const QString &text, const QString &pattern)
{
    QString p = pattern;
    bool negate = false;
    if (p.startsWith(QLatin1Char('~'))) {
        negate = true;
        p.remove(0, 1);
    }
    bool matched = false;
    for (const QString &alt : alternatives(p)) {
        if (matchTokens(text, compile(alt))) {
            matched = true;
            break;
        }
    }
    return matched != negate;
}

} // namespace minicad
