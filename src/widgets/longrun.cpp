#include "widgets/longrun.h"

#include <QAction>
#include <QCoreApplication>
#include <QWidget>

namespace lumo {

namespace {
// Widgets and menu actions both lock; anything else has no enabled state.
bool isEnabled(const QObject *o)
{
    if (const auto *w = qobject_cast<const QWidget *>(o))
        return w->isEnabled();
    if (const auto *a = qobject_cast<const QAction *>(o))
        return a->isEnabled();
    return false;
}

void setEnabled(QObject *o, bool enabled)
{
    if (auto *w = qobject_cast<QWidget *>(o))
        w->setEnabled(enabled);
    else if (auto *a = qobject_cast<QAction *>(o))
        a->setEnabled(enabled);
}
} // namespace

LongRun::LongRun(FormFields &fields, const QList<QObject *> &locked, QWidget *stopButton)
    : m_fields(fields), m_stopButton(stopButton)
{
    m_fields.runFlag = true;
    if (m_stopButton)
        m_stopButton->setEnabled(true);
    m_locked.reserve(locked.size());
    for (QObject *o : locked) {
        m_locked.append({o, isEnabled(o)});
        setEnabled(o, false);
    }
}

LongRun::~LongRun()
{
    m_fields.runFlag = false;
    if (m_stopButton)
        m_stopButton->setEnabled(false);
    for (const Locked &l : std::as_const(m_locked))
        if (l.control)
            setEnabled(l.control, l.wasEnabled);
}

bool LongRun::keepGoing() const
{
    QCoreApplication::processEvents();
    return m_fields.runFlag;
}

} // namespace lumo
