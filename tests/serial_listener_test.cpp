// The listener and the window binding: what a receiver gets for bytes, breaks, line errors and a
// vanished device, how little the listener does while bytes wait unread, and how it stops.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QWidget>
#include <atomic>
#include <chrono>
#include <dirent.h>
#include <functional>
#include <gtest/gtest.h>
#include <pthread.h>
#include <set>
#include <sys/eventfd.h>
#include <thread>
#include <time.h>
#include <vector>

#include "platform/NamedMessages.h"
#include "serial/LineEvents.h"
#include "serial/SerialWnd.h"
#include "tests/support/PseudoTerminal.h"

// Qt is not built with ThreadSanitizer: the locking of its posted-event queue is invisible, so
// reading a posted event on the receiving thread looks like a race with the thread that built it.
extern "C" const char* __tsan_default_suppressions()
{
    return "race:libQt6Widgets\n";
}

namespace {

struct SMessage {
    UINT type;
    WPARAM wParam;
    LPARAM lParam;
};

// Collects the named messages that reach one object.
class CReceiver : public QObject {
public:
    std::vector<SMessage> messages;

    bool event(QEvent* e) override
    {
        if (e->type() >= QEvent::User) {
            auto* m = static_cast<CNamedMessageEvent*>(e);
            messages.push_back({static_cast<UINT>(e->type()), m->wParam(), m->lParam()});
            return true;
        }
        return QObject::event(e);
    }
    size_t CountWith(DWORD events) const
    {
        size_t n = 0;
        for (const SMessage& m : messages)
            n += (m.wParam & 0xFFFF) == events;
        return n;
    }
};

// Processes events until pred holds or the time-out passes.
template <typename Pred>
bool WaitUntil(Pred pred, int timeoutMs = 5000)
{
    QElapsedTimer timer;
    timer.start();
    while (!pred()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QCoreApplication::sendPostedEvents();
    }
    return true;
}

// Lets the listener do whatever it would do for ms while the window thread keeps delivering.
void KeepDelivering(int ms)
{
    WaitUntil([] { return false; }, ms);
}

std::set<std::string> ThreadIds()
{
    std::set<std::string> ids;
    if (DIR* d = ::opendir("/proc/self/task")) {
        while (const dirent* e = ::readdir(d))
            if (e->d_name[0] != '.')
                ids.insert(e->d_name);
        ::closedir(d);
    }
    return ids;
}

// The port as the panel holds it, also telling which thread its notifications come from.
class CWatchedPort : public CSerialMFC {
public:
    ~CWatchedPort() override { StopNotifying(); }
    std::atomic<pthread_t> listener{};
    std::atomic<bool> fSeen{false};

protected:
    void OnSerialEvent(DWORD events, DWORD errors) override
    {
        listener.store(pthread_self());
        fSeen.store(true);
        CSerialMFC::OnSerialEvent(events, errors);
    }
};

double ThreadCpuMs(pthread_t thread)
{
    clockid_t clock;
    timespec ts{};
    if (pthread_getcpuclockid(thread, &clock) != 0 || clock_gettime(clock, &ts) != 0)
        return -1;
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
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
    void Raise(std::atomic<DWORD>& counter)
    {
        ++counter;
        Nudge();
    }
    // Wakes the waiter without a change: it takes one more look.
    void Nudge()
    {
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

TEST_F(SerialListenerTest, ReceivedBytesPostTheMessageWithTheUserValue)
{
    const UINT custom = RegisterNamedMessage("SerialListenerTest_ComMsg");
    EXPECT_EQ(CSerialWnd::DefaultComMsg(), RegisterNamedMessage("CSerialWnd_DefaultComMsg"));
    const struct {
        const char* name;
        UINT given, expected;
        bool fWidget;
    } cases[] = {
        {"default message", 0, CSerialWnd::DefaultComMsg(), false},
        {"own message", custom, custom, false},
        {"widget destination", 0, CSerialWnd::DefaultComMsg(), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CReceiver target;
        QWidget widget;
        CReceiver widgetSpy;
        CSerialMFC port;
        LONG opened;
        if (c.fWidget) {
            opened = port.Open(pty.Path(), &widget, c.given, 0x5EED);
        } else {
            opened = port.CSerialWnd::Open(pty.Path(), &target, c.given, 0x5EED);
        }
        ASSERT_EQ(opened, 0);
        struct Filter : QObject {
            CReceiver* spy;
            bool eventFilter(QObject*, QEvent* e) override { return spy->event(e); }
        } filter;
        filter.spy = &widgetSpy;
        widget.installEventFilter(&filter);
        CReceiver& seen = c.fWidget ? widgetSpy : target;

        // One message per arrival, each after the previous bytes were read.
        for (const char* reply : {"ok\n", "ok T:21.53 /0.00 B:22.10 /0.00 @:0 B@:0\n"}) {
            const size_t before = seen.messages.size();
            ASSERT_TRUE(pty.Send(reply));
            ASSERT_TRUE(WaitUntil([&] { return seen.messages.size() > before; }));
            const SMessage m = seen.messages.back();
            EXPECT_EQ(m.type, c.expected);
            EXPECT_EQ(m.wParam, 0x0001u);  // received, no line errors in the high word
            EXPECT_EQ(m.lParam, 0x5EED);
            char buf[2047];
            DWORD n = 0;
            ASSERT_EQ(port.Read(buf, sizeof buf, &n), 0);
            EXPECT_EQ(std::string(buf, n), reply);
        }
        EXPECT_EQ(port.Close(), 0);
    }
}

TEST_F(SerialListenerTest, BytesLeftUnreadGiveOneNotificationAndNoWork)
{
    CWatchedPort port;
    ASSERT_EQ(port.CSerialWnd::Open(pty.Path(), &receiver), 0);

    ASSERT_TRUE(pty.Send("X:10.00 Y:20.00 Z:5.00 E:0.00 Count X:800 Y:1600 Z:2000\n"));
    ASSERT_TRUE(WaitUntil([&] { return receiver.messages.size() == 1; }));
    const double cpuBefore = ThreadCpuMs(port.listener.load());
    KeepDelivering(300);
    const double cpuSpent = ThreadCpuMs(port.listener.load()) - cpuBefore;
    EXPECT_EQ(receiver.messages.size(), 1u);
    // A listener that re-polled the waiting bytes would burn the whole 300 ms.
    EXPECT_GE(cpuBefore, 0);
    EXPECT_LT(cpuSpent, 30.0) << "listener thread used " << cpuSpent << " ms of CPU";

    // More bytes behind the unread ones are news again; once everything is read, so is the next.
    ASSERT_TRUE(pty.Send("ok\n"));
    ASSERT_TRUE(WaitUntil([&] { return receiver.messages.size() == 2; }));
    char buf[2047];
    DWORD n = 0;
    ASSERT_EQ(port.Read(buf, sizeof buf, &n), 0);
    EXPECT_EQ(n, 59u);
    ASSERT_TRUE(pty.Send("ok\n"));
    ASSERT_TRUE(WaitUntil([&] { return receiver.messages.size() == 3; }));
    EXPECT_EQ(receiver.CountWith(0x0001), 3u);
}

TEST_F(SerialListenerTest, LargeWriteReachesASlowReaderWhole)
{
    CSerialWnd port;
    ASSERT_EQ(port.Open(pty.Path(), &receiver), 0);
    std::string sent(64 * 1024, '\0');
    for (size_t i = 0; i < sent.size(); ++i)
        sent[i] = static_cast<char>('A' + (i * 7 + i / 251) % 26);

    std::string got;
    std::thread reader([&] {
        // Takes small bites with pauses, so the writer meets a full queue many times.
        while (got.size() < sent.size()) {
            const std::string bite = pty.Receive(std::min<size_t>(512, sent.size() - got.size()));
            if (bite.empty())
                break;
            got += bite;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    DWORD written = 0;
    const LONG result = port.Write(sent.data(), static_cast<DWORD>(sent.size()), &written);
    reader.join();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(written, sent.size());
    EXPECT_EQ(got.size(), sent.size());
    EXPECT_TRUE(got == sent);
}

TEST_F(SerialListenerTest, BreaksAndLineErrorsAreReportedWithTheirFlags)
{
    auto source = std::make_shared<CFakeLineSource>();
    source->m_afterRead = [&] {
        ++source->m_break;
        pty.Send("ok\n");
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (pty.ClientQueued() < 3 && std::chrono::steady_clock::now() < until)
            std::this_thread::yield();
    };
    CSerialWnd port;
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
        source->Raise(c.counter);
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
             source->Raise(source->m_break);
             ASSERT_TRUE(WaitUntil([&] { return source->m_handedBreak.load() == source->m_break.load(); }));
             ASSERT_EQ(port.SetEventMask(0x0001), 0);
             ASSERT_TRUE(pty.Send("ok\n"));
         }},
        {"break and bytes just after the listener read the counters",
         [&] {
             source->m_fArmed.store(true);
             source->Nudge();
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

TEST_F(SerialListenerTest, CloseWithABlockedListenerReturnsAtOnceAndLeavesNoThread)
{
    {
        // Threads that start with the first thread of the process (a sanitizer's) are not ours.
        CSerialWnd warmUp;
        ASSERT_EQ(warmUp.Open(pty.Path(), &receiver), 0);
    }
    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE(round);
        const std::set<std::string> before = ThreadIds();
        CSerialWnd port;
        ASSERT_EQ(port.Open(pty.Path(), &receiver), 0);
        std::set<std::string> added;
        for (const std::string& id : ThreadIds())
            if (!before.count(id))
                added.insert(id);
        ASSERT_EQ(added.size(), 1u);
        const std::string status = "/proc/self/task/" + *added.begin() + "/stat";
        // Wait until the listener sleeps in its wait before pulling the rug.
        ASSERT_TRUE(WaitUntil([&] {
            FILE* f = std::fopen(status.c_str(), "r");
            char state = '?';
            if (f) {
                (void)!std::fscanf(f, "%*d (%*[^)]) %c", &state);
                std::fclose(f);
            }
            return state == 'S';
        }));

        QElapsedTimer timer;
        timer.start();
        EXPECT_EQ(port.Close(), 0);
        // A listener nobody woke would keep Close waiting for ever; 2 s is only a guard.
        EXPECT_LT(timer.elapsed(), 2000);
        EXPECT_FALSE(port.IsListening());
        EXPECT_EQ(ThreadIds().count(*added.begin()), 0u);
    }
}

TEST_F(SerialListenerTest, NothingIsPostedOnceCloseHasReturned)
{
    ::fcntl(pty.Master(), F_SETFL, O_NONBLOCK);
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        CReceiver target;
        CSerialWnd port;
        ASSERT_EQ(port.Open(pty.Path(), &target), 0);
        std::atomic<bool> fStop{false};
        std::thread flood([&] {
            while (!fStop.load()) {
                (void)!::write(pty.Master(), "ok\n", 3);
                std::this_thread::yield();
            }
        });
        ASSERT_TRUE(WaitUntil([&] { return !target.messages.empty(); }));
        char buf[2047];
        port.Read(buf, sizeof buf);
        EXPECT_EQ(port.Close(), 0);
        QCoreApplication::sendPostedEvents(&target);  // whatever was posted before Close
        const size_t delivered = target.messages.size();
        KeepDelivering(20);
        fStop.store(true);
        flood.join();
        EXPECT_EQ(target.messages.size(), delivered);
        tcflush(pty.Master(), TCIOFLUSH);
    }
}

TEST_F(SerialListenerTest, VanishedDeviceGivesOneLastNotification)
{
    CWatchedPort port;
    ASSERT_EQ(port.CSerialWnd::Open(pty.Path(), &receiver, 0, 42), 0);
    ASSERT_TRUE(pty.Send("ok\n"));
    ASSERT_TRUE(WaitUntil([&] { return receiver.messages.size() == 1; }));
    const std::set<std::string> before = ThreadIds();

    pty.CloseMaster();
    ASSERT_TRUE(WaitUntil([&] { return receiver.CountWith(EV_VANISHED) == 1; }));
    EXPECT_EQ(receiver.messages.back().wParam, EV_VANISHED);  // no error flags, no other bits
    EXPECT_EQ(receiver.messages.back().lParam, 42);
    // The listener has ended: nothing more can come from it.
    ASSERT_TRUE(WaitUntil([&] { return ThreadIds().size() < before.size(); }));
    QCoreApplication::sendPostedEvents(&receiver);
    EXPECT_EQ(receiver.CountWith(EV_VANISHED), 1u);
    EXPECT_EQ(receiver.messages.size(), 2u);

    // The panel's next command fails visibly instead of going nowhere.
    EXPECT_EQ(port.WriteText("M114\n"), EIO);
    EXPECT_EQ(port.Close(), 0);
    EXPECT_FALSE(port.IsOpen());
}

} // namespace
