#include "tests/support/Wait.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>

bool WaitUntil(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QTest::qWait(5);
    }
    return true;
}
