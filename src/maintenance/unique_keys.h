#pragma once

#include <QDateTime>
#include <QString>

namespace pelldrake::maintenance {

// The local clock and the millisecond wait of the key fill; tests install a
// clock of their own.
class KeyClock {
public:
    virtual ~KeyClock();
    virtual QDateTime now() = 0; // local date and time
    virtual void sleepMs(int ms) = 0;

    // The installed clock (the system's until something is installed;
    // installing nullptr restores it). Returns the previous one.
    static KeyClock &instance();
    static KeyClock *install(KeyClock *clock);
};

// The keys of one fill: the local date and time as the 17 digits
// yyyyMMddHHmmsszzz, taken after a wait of 1 ms. Each key is greater than the
// one before even when the clock has not moved on or has stepped back (a
// clock adjustment, the end of summer time): it is then the previous key plus
// 1 ms.
class UniqueKeys {
public:
    explicit UniqueKeys(KeyClock &clock = KeyClock::instance()) : clock_(clock) {}
    QString next();

    // The 17-digit form of a local date and time.
    static QString keyText(const QDateTime &local);

private:
    KeyClock &clock_;
    qint64 last_ = -1; // wall-clock milliseconds since the Julian day 0 of the last key
};

} // namespace pelldrake::maintenance
