#include "widgets/messagebox.h"

#include <QApplication>
#include <QMessageBox>

namespace widgets {

namespace {
MessageSink &sink()
{
    static MessageSink s;
    return s;
}
} // namespace

void setMessageSink(MessageSink s)
{
    sink() = std::move(s);
}

void showMessage(MessageKind kind, const QString &text, QWidget *parent)
{
    if (sink()) {
        sink()({kind, text});
        return;
    }
    if (!parent)
        parent = QApplication::activeWindow();
    const QString title = QApplication::applicationDisplayName();
    QMessageBox box(parent);
    box.setWindowTitle(title);
    box.setText(text);
    box.setStandardButtons(QMessageBox::Ok);
    switch (kind) {
    case MessageKind::Plain:
        box.setIcon(QMessageBox::NoIcon);
        break;
    case MessageKind::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case MessageKind::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case MessageKind::Error:
        box.setIcon(QMessageBox::Critical);
        break;
    }
    // The main window stays on top; the box must not hide behind it.
    box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    box.exec();
}

MessageRecorder::MessageRecorder()
{
    setMessageSink([this](const Message &m) { messages.append(m); });
}

MessageRecorder::~MessageRecorder()
{
    setMessageSink({});
}

QStringList MessageRecorder::texts() const
{
    QStringList out;
    for (const Message &m : messages)
        out << m.text;
    return out;
}

} // namespace widgets
