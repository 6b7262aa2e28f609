#pragma once
// The one message for files beside the executable that could not be written:
// which ones, what is lost, and where the program can keep its files instead.

#include <QString>
#include <QStringList>

namespace lumo {

// `lost` says what the user loses ("今回の設定とタグリストは失われます．").
// `details` (the system's reasons) follow the paths when not empty.
QString unsavedFilesNotice(const QStringList &paths, const QString &lost, const QStringList &details = {});

} // namespace lumo
