#pragma once
// A long operation of the window (a write-back, an acquisition, a search, a
// tool run): it owns runFlag and the controls that must not change what it
// works on. On every path out runFlag is cleared, the stop button goes off
// and each locked control gets back the state it had before.

#include "widgets/formfields.h"

#include <QList>
#include <QPointer>

class QObject;
class QWidget;

namespace lumo {

class LongRun {
public:
    // Sets runFlag, turns the stop button on (when there is one) and locks the controls.
    LongRun(FormFields &fields, const QList<QObject *> &locked, QWidget *stopButton = nullptr);
    ~LongRun();
    LongRun(const LongRun &) = delete;
    LongRun &operator=(const LongRun &) = delete;

    // Lets pending events through (repaints, "中止"); false once the run was stopped.
    bool keepGoing() const;
    bool stopped() const { return !m_fields.runFlag; }

private:
    struct Locked {
        QPointer<QObject> control;
        bool wasEnabled;
    };
    FormFields &m_fields;
    QList<Locked> m_locked;
    QPointer<QWidget> m_stopButton;
};

} // namespace lumo
