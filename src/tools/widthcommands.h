#pragma once
// What the width-conversion menu commands apply to one line or cell, so the
// menus and their handlers share one list of captions and functions.

#include <QString>

namespace tools {

using WidthConversion = void (*)(QString &);

struct WidthMenuItem {
    const char *caption; // UTF-8, exactly as the menu shows it
    WidthConversion convert;
};

// The ten items of the submenu "その他のすべてを変換", in menu order.
constexpr int kWidthSubmenuSize = 10;
const WidthMenuItem &WidthSubmenuItem(int index);

// "すべての半角 ( ) を全角に ": every "(" then every ")"; nothing else.
void ParensToZen(QString &s);

// Grid "選択範囲のスペース以外を全角に": AllToZen, then every ideographic
// space back to an ASCII space, so spaces stay half-width.
void AllToZenExceptSpaces(QString &s);

} // namespace tools
