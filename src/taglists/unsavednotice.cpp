#include "taglists/unsavednotice.h"

#include <QDir>

namespace lumo {

QString unsavedFilesNotice(const QStringList &paths, const QString &lost, const QStringList &details)
{
    QString text = QStringLiteral("次のファイルを保存できませんでした．\n");
    for (const QString &path : paths)
        text += QStringLiteral("  ") + QDir::toNativeSeparators(path) + QLatin1Char('\n');
    for (const QString &detail : details) {
        if (!detail.isEmpty())
            text += QStringLiteral("  (") + detail + QStringLiteral(")\n");
    }
    // Program Files and read-only shares are the usual cause: the files live
    // beside the executable, so the cure is to move the whole folder.
    text += QLatin1Char('\n') + lost + QLatin1Char('\n')
          + QStringLiteral("LumoEdit のフォルダーごと、書き込みのできる場所（ドキュメントやデスクトップの下など）へ移してから起動してください．");
    return text;
}

} // namespace lumo
