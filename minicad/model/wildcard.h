#pragma once
// The CAD's wildcard match (wcmatch): `*`, `?`, `#` digit, `@` letter,
// `.` non-alphanumeric, `[...]` with ranges, `[~...]`, a leading `~` negates,
// backquote escapes, `,` separates alternatives. Case-sensitive.

#include <QString>

namespace minicad {

bool wcmatch(const QString &text, const QString &pattern);

} // namespace minicad
