// The listener and the window binding: what a window gets for bytes, breaks and line errors, how
// little the listener does while bytes wait unread, and how it stops. (A vanished device is
// asserted where the panel reacts to it, in the connection tests.)
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QWidget>
#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <thread>
#include <time.h>
#include <unistd.h>
#include <vector>

#include "qt/platform/NamedMessages.h"
#include "serial/posix/LineEvents.h"
#include "qt/serial/SerialWnd.h"
#include "tests/support/PseudoTerminal.h"
#include "tests/support/Wait.h"

// Qt is not built with ThreadSanitizer: the locking of its posted-event queue is invisible, so
// reading a posted event on the receiving thread looks like a race with the thread that built it.
extern "C" const char* __tsan_default_suppressions()
{
    return "race:libQt6Widgets\n";
}

namespace {

struct SMessage { UINT type; WPARAM wParam; LPARAM lParam; };

// A window that collects the named messages it gets, as the panel's dialog would.
class CReceiver : public QWidget {
public:
    std::vector<SMessage> messages;

    bool event(QEvent* e) override
    {
        if (e->type() < QEvent::User)
            return QWidget::event(e);
        auto* m = static_cast<CNamedMessageEvent*>(e);
        messages.push_back({static_cast<UINT>(e->type()), m->wParam(), m->lParam()});
        return true;
    }
};

// The port as the panel holds it, also telling which thread its notifications come from.
class CWatchedPort : public CSerialMFC {
public:
    ~CWatchedPort() override { StopNotifying(); }
    std::atomic<pthread_t> listener{};
    std::atomic<pid_t> tid{0};

    // The listener's entry under /proc, there while the thread lives.
    std::string Task() const { return "/proc/self/task/" + std::to_string(tid.load()) + "/stat"; }

protected:
    void OnSerialEvent(DWORD events, DWORD errors) override
    {
        listener.store(pthread_self());
        tid.store(::gettid());
        CSerialMFC::OnSerialEvent(events, errors);
    }
};

double ThreadCpuMs(pthread_t thread)
{
    clockid_t clock;
    timespec ts{};
    const bool fOk = pthread_getcpuclockid(thread, &clock) == 0 && clock_gettime(clock, &ts) == 0;
    return fOk ? ts.tv_sec * 1e3 + ts.tv_nsec / 1e6 : -1;
}

// Stands in for a UART driver's counters, which a pseudo-terminal does not keep.
class CFakeLineSource : public ILineEventSource {
public:
    CFakeLineSource() : m_wake(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}
    ~CFakeLineSource() override { ::close(m_wake); }

    bool ReadCounters(SLineCounters& counters) override
    {
        counters.dwBreak = m_break.load();
        counters.dwFrame = m_frame.load();
        counters.dwParity = m_parity.load();
        counters.dwOverrun = m_overrun.load();
        m_handedBreak.store(counters.dwBreak);
        if (m_fArmed.exchange(false))
            m_afterRead();
        return true;
    }
    int WakeHandle() const override { return m_wake; }
    void AcknowledgeWake() override
    {
        uint64_t v;
        (void)!::read(m_wake, &v, sizeof v);
    }
    // Wakes the waiter, with one counter raised or none: it takes one more look.
    void Raise(std::atomic<DWORD>* counter)
    {
        if (counter)
            ++*counter;
        const uint64_t one = 1;
        (void)!::write(m_wake, &one, sizeof one);
    }

    std::atomic<DWORD> m_break{0}, m_frame{0}, m_parity{0}, m_overrun{0};
    std::atomic<DWORD> m_handedBreak{0};  // the break total the last read handed out
    // Once armed, runs on the reading thread just after its next read took the totals. Set it
    // before the port opens: the listener reads it without a lock.
    std::function<void()> m_afterRead;
    std::atomic<bool> m_fArmed{false};

private:
    int m_wake;
};

struct SerialListenerTest : ::testing::Test {
    CPseudoTerminal pty;
    CReceiver receiver;
};

// One message per arrival, and none more while its bytes wait unread: a listener that re-polled
// them would also burn its thread's time.
TEST_F(SerialListenerTest, ReceivedBytesPostOneMessageAndNoWorkWhileUnread)
{
    CWatchedPort port;
    ASSERT_EQ(port.Open(pty.Path(), &receiver, 0, 0x5EED), 0);
    const std::string report = "X:10.00 Y:20.00 Z:5.00 E:0.00 Count X:800 Y:1600 Z:2000\n";
    ASSERT_TRUE(pty.Send(report));
    ASSERT_TRUE(WaitUntil([&] { return receiver.messages.size() == 1; }));
    const double cpuBefore = ThreadCpuMs(port.listener.load());
    WaitUntil([] { return false; }, 300);
    const double cpuSpent = ThreadCpuMs(port.listener.load()) - cpuBefore;
    EXPECT_EQ(receiver.messages.size(), 1u);
    EXPECT_GE(cpuBefore, 0);
    EXPECT_LT(cpuSpent, 30.0) << "listener thread used " << cpuSpent << " ms of CPU";

    // More bytes behind the unread ones are news again; once everything is read, so is the next.
    char buf[2047];
    DWORD n = 0;
    for (const std::string& expected : {report + "ok\n", std::string("ok\n")}) {
        const size_t before = receiver.messages.size();
        ASSERT_TRUE(pty.Send("ok\n"));
        ASSERT_TRUE(WaitUntil([&] { return receiver.messages.size() == before + 1; }));
        ASSERT_EQ(port.Read(buf, sizeof buf, &n), 0);
        EXPECT_EQ(std::string(buf, n), expected);
    }
    for (const SMessage& m : receiver.messages) {
        EXPECT_EQ(m.type, CSerialWnd::DefaultComMsg());
        EXPECT_EQ(m.wParam, 0x0001u);  // received, no line errors in the high word
        EXPECT_EQ(m.lParam, 0x5EED);
    }
}

TEST_F(SerialListenerTest, BreaksAndLineErrorsAreReportedWithTheirFlags)
{
    auto source = std::make_shared<CFakeLineSource>();
    source->m_afterRead = [&] {
        ++source->m_break;
        pty.SendQueued("ok\n");
    };
    CSerialMFC port;
    port.UseLineEventSource(source);
    ASSERT_EQ(port.Open(pty.Path(), &receiver, 0, 7), 0);
    const struct {
        const char* name;
        std::atomic<DWORD>& counter;
        WPARAM wParam;
    } cases[] = {
        {"break", source->m_break, (CE_BREAK << 16) | 0x0040},
        {"framing error", source->m_frame, (CE_FRAME << 16) | 0x0080},
        {"parity error", source->m_parity, (CE_RXPARITY << 16) | 0x0080},
        {"overrun", source->m_overrun, (CE_OVERRUN << 16) | 0x0080},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const size_t before = receiver.messages.size();
        source->Raise(&c.counter);
        ASSERT_TRUE(WaitUntil([&] { return receiver.messages.size() > before; }));
        EXPECT_EQ(receiver.messages.back().wParam, c.wParam);
        EXPECT_EQ(receiver.messages.back().lParam, 7);
    }

    // A break outside the mask posts nothing. Its flags ride on the next message whatever
    // wake-ups come between, and at the latest on the one for the bytes that came after it.
    ASSERT_EQ(port.SetEventMask(0x0001), 0);
    const struct {
        const char* name;
        std::function<void()> breakThenBytes;
    } masked[] = {
        {"a wake-up with nothing to report in between",
         [&] {
             source->Raise(&source->m_break);
             ASSERT_TRUE(WaitUntil([&] { return source->m_handedBreak.load() == source->m_break.load(); }));
             ASSERT_EQ(port.SetEventMask(0x0001), 0);
             ASSERT_TRUE(pty.Send("ok\n"));
         }},
        {"break and bytes just after the listener read the counters",
         [&] {
             source->m_fArmed.store(true);
             source->Raise(nullptr);
         }},
    };
    for (const auto& c : masked) {
        SCOPED_TRACE(c.name);
        const size_t before = receiver.messages.size();
        c.breakThenBytes();
        ASSERT_TRUE(WaitUntil([&] { return receiver.messages.size() > before; }));
        EXPECT_EQ(receiver.messages[before].wParam, (CE_BREAK << 16) | 0x0001);
        char buf[16];
        ASSERT_EQ(port.Read(buf, sizeof buf), 0);
    }
}

// A purge drops bytes unread and uncounted; what arrives just after it is news all the same, also
// before the listener has looked at the queue again.
TEST_F(SerialListenerTest, BytesArrivingRightAfterAPurgeAreNews)
{
    auto source = std::make_shared<CFakeLineSource>();
    CSerialMFC port;
    source->m_afterRead = [&] {   // the listener is between two looks at the queue
        port.Purge();
        pty.SendQueued("ok\n");
    };
    port.UseLineEventSource(source);
    ASSERT_EQ(port.Open(pty.Path(), &receiver), 0);
    ASSERT_TRUE(pty.Send("echo: a longer line left unread\n"));
    ASSERT_TRUE(WaitUntil([&] { return receiver.messages.size() == 1; }));
    source->m_fArmed.store(true);
    source->Raise(nullptr);
    EXPECT_TRUE(WaitUntil([&] { return receiver.messages.size() == 2; }));
    char buf[64];
    DWORD n = 0;
    ASSERT_EQ(port.Read(buf, sizeof buf, &n), 0);
    EXPECT_EQ(std::string(buf, n), "ok\n");
}

// Close wakes a listener asleep in its wait, or busy with a flood of replies; once it has
// returned the listener is gone and nothing more is posted.
TEST_F(SerialListenerTest, CloseEndsTheListenerAtOnce)
{
    ::fcntl(pty.Master(), F_SETFL, O_NONBLOCK);
    for (const bool fFlood : {false, true, false, true}) {
        SCOPED_TRACE(fFlood ? "flooded" : "asleep");
        CReceiver target;
        CWatchedPort port;
        ASSERT_EQ(port.Open(pty.Path(), &target), 0);
        std::atomic<bool> fStop{false};
        std::thread flood([&] {
            for (int sent = 0; sent == 0 || (fFlood && !fStop.load()); ++sent, std::this_thread::yield())
                (void)!::write(pty.Master(), "ok\n", 3);
        });
        ASSERT_TRUE(WaitUntil([&] { return !target.messages.empty(); }));
        char buf[2047];
        port.Read(buf, sizeof buf);
        // Asleep means blocked in its wait ("S" in its state), before the rug is pulled.
        ASSERT_TRUE(fFlood || WaitUntil([&] {
            std::string stat;
            std::getline(std::ifstream(port.Task()), stat);
            return stat.find(") S ") != std::string::npos;
        }));

        QElapsedTimer timer;
        timer.start();
        EXPECT_EQ(port.Close(), 0);
        // A listener nobody woke would keep Close waiting for ever; 2 s is only a guard.
        EXPECT_LT(timer.elapsed(), 2000);
        // The thread has ended; the kernel may take a moment longer to drop its entry.
        EXPECT_TRUE(WaitUntil([&] { return ::access(port.Task().c_str(), F_OK) != 0; }, 2000));
        QCoreApplication::sendPostedEvents(&target);  // whatever was posted before Close
        const size_t delivered = target.messages.size();
        WaitUntil([] { return false; }, 20);
        fStop.store(true);
        flood.join();
        EXPECT_EQ(target.messages.size(), delivered);
        ::tcflush(pty.Master(), TCIOFLUSH);
    }
}

} // namespace
