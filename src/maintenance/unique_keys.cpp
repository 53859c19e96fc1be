#include "maintenance/unique_keys.h"

#include <QThread>

namespace pelldrake::maintenance {

namespace {

constexpr qint64 kMsPerDay = 24 * 60 * 60 * 1000;

class SystemClock final : public KeyClock {
public:
    QDateTime now() override { return QDateTime::currentDateTime(); }
    void sleepMs(int ms) override { QThread::msleep(ulong(ms)); }
};

KeyClock *installed = nullptr;

QString keyFromWallClock(qint64 ms)
{
    const QDate date = QDate::fromJulianDay(ms / kMsPerDay);
    const int inDay = int(ms % kMsPerDay);
    return QString::asprintf("%04d%02d%02d%02d%02d%02d%03d", date.year(), date.month(), date.day(),
                             inDay / 3600000, inDay / 60000 % 60, inDay / 1000 % 60, inDay % 1000);
}

} // namespace

KeyClock::~KeyClock() = default;

KeyClock &KeyClock::instance()
{
    static SystemClock system;
    return installed ? *installed : system;
}

KeyClock *KeyClock::install(KeyClock *clock)
{
    KeyClock *previous = installed;
    installed = clock;
    return previous;
}

QString UniqueKeys::keyText(const QDateTime &local)
{
    return keyFromWallClock(local.date().toJulianDay() * kMsPerDay + local.time().msecsSinceStartOfDay());
}

QString UniqueKeys::next()
{
    clock_.sleepMs(1);
    const QDateTime now = clock_.now();
    // Compared as the wall-clock reading the key shows, never through a time
    // zone: the key must grow in the digits it is made of.
    qint64 ms = now.date().toJulianDay() * kMsPerDay + now.time().msecsSinceStartOfDay();
    if (ms <= last_)
        ms = last_ + 1;
    last_ = ms;
    return keyFromWallClock(ms);
}

} // namespace pelldrake::maintenance
