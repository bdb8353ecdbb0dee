#pragma once

#include <QObject>

namespace velmora {

// Tells when the machine has woken from sleep. Qt's timers do not count the time asleep, so
// without it the periodic refresh would wait out its whole interval again after waking.
class SleepWatcher : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // Starts watching; later calls do nothing.
    virtual void start() = 0;

Q_SIGNALS:
    // The machine has just woken. One wake may be told twice, moments apart.
    void resumed();
};

} // namespace velmora
