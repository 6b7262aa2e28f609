#include "tools/widthcommands.h"

#include "tools/zenhanutil.h"

namespace tools {

const WidthMenuItem &WidthSubmenuItem(int index)
{
    static const WidthMenuItem items[kWidthSubmenuSize] = {
        {"半角カタカナを全角に", zenHanUtil::KanaHanToZen},
        {"全角カタカナを半角に", zenHanUtil::KanaZenToHan},
        {"半角数字(0..9)を全角に", zenHanUtil::DigitHanToZen},
        {"全角数字(0..9)を半角に", zenHanUtil::DigitZenToHan},
        {"半角数値(0..9+-.,)を全角に", zenHanUtil::NumericHanToZen},
        {"全角数値(0..9+-.,)を半角に", zenHanUtil::NumericZenToHan},
        {"半角アルファベット(A..Z)を全角に", zenHanUtil::AlphaHanToZen},
        {"全角アルファベット(A..Z)を半角に", zenHanUtil::AlphaZenToHan},
        {"半角記号を全角に", zenHanUtil::SymbolHanToZen},
        {"全角記号を半角に", zenHanUtil::SymbolZenToHan},
    };
    return items[qBound(0, index, kWidthSubmenuSize - 1)];
}

void ParensToZen(QString &s)
{
    s.replace(u'(', QChar(char16_t(0xFF08)));
    s.replace(u')', QChar(char16_t(0xFF09)));
}

void AllToZenExceptSpaces(QString &s)
{
    zenHanUtil::AllToZen(s);
    s.replace(QChar(char16_t(0x3000)), u' ');
}

} // namespace tools
