#pragma once
// Every message box of the program goes through here, so tests can record
// them instead of blocking on a modal box.

#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

namespace widgets {

enum class MessageKind {
    Plain,       // no icon, one OK button
    Information, // information icon, one OK button
    Warning,
    Error,       // the general error report of an operation
};

struct Message {
    MessageKind kind;
    QString text;
};

using MessageSink = std::function<void(const Message &)>;

// Replaces the real message boxes (empty: the real ones again).
void setMessageSink(MessageSink sink);
void showMessage(MessageKind kind, const QString &text, QWidget *parent = nullptr);

// Collects messages for the lifetime of the object.
class MessageRecorder {
public:
    MessageRecorder();
    ~MessageRecorder();
    QList<Message> messages;
    QStringList texts() const;
};

} // namespace widgets

#include <exception>

namespace widgets {

// Runs an operation; an error that escapes it is shown as the general error
// report instead of ending the program.
template <typename F>
void withErrorReport(F &&operation, QWidget *parent = nullptr)
{
    try {
        operation();
    } catch (const std::exception &e) {
        showMessage(MessageKind::Error, QString::fromUtf8(e.what()), parent);
    }
}

} // namespace widgets
