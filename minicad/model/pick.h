#pragma once
// How an on-screen pick gets its answer. Tests and scripts queue answers on
// the host (minicad::Session); a GUI host installs a PickProvider that lets
// the user pick in its view and hands the answer back with
// Session::answerPick()/cancelPick().

#include "minicad/model/filter.h"

#include <QStringList>

namespace minicad {

struct PickAnswer {
    bool cancelled = false; // the user pressed ESC
    QStringList handles;    // in pick order
};

class PickProvider {
public:
    virtual ~PickProvider() = default;
    // The host now waits for the user: start asking (show a prompt, enter
    // pick mode). Must return at once; the answer comes later through
    // Session::answerPick() or Session::cancelPick(). The filter lets the
    // view highlight what may be picked; the drawing filters again.
    virtual void beginPick(const SelectionFilter &filter) = 0;
    // The wait is over (answered by the host, from the queue, or cancelled):
    // leave pick mode.
    virtual void endPick() = 0;
};

} // namespace minicad
