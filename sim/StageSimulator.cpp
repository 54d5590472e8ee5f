#include "sim/StageSimulator.h"

#include "platform/FileLocations.h"
#include "sim/PortEntry.h"
#include "sim/ReplyScheduler.h"
#include "sim/SimLine.h"
#include "sim/SimText.h"
#include "sim/StageModel.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <functional>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>

namespace sim {
namespace {

using std::chrono::milliseconds;

std::string ErrnoText(int err) { return std::generic_category().message(err); }

class CFile {
public:
    ~CFile() { Reset(); }
    void Reset(std::FILE* f = nullptr)
    {
        if (m_pFile)
            std::fclose(m_pFile);
        m_pFile = f;
    }
    std::FILE* Get() const { return m_pFile; }

private:
    std::FILE* m_pFile = nullptr;
};

std::string WallClockNow()
{
    const std::time_t t = std::time(nullptr);
    std::tm tm {};
    ::localtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
    return buf;
}

} // namespace

struct CStageSimulator::SImpl {
    explicit SImpl(SSimOptions opt)
        : options(std::move(opt)),
          model({options.noHandshake, options.noEField, options.noReports, options.speedFactor, options.homingMmPerSec,
                 options.maxFeedMmPerSec, options.handshakeReply})
    {
        model.SetPosition(options.startPosition);
    }

    void Serve();
    bool Receive(CReplyScheduler& replies, size_t& received);
    void Record(std::string text, Clock::time_point arrival, bool lost);
    void MarkOutside(std::uint64_t seq);
    void NoticeOpens(CReplyScheduler& replies);
    void EndBoot(CReplyScheduler& replies);
    void WriteDue(CReplyScheduler& replies);
    void ApplyRequests(CReplyScheduler& replies);
    void StopIfHalted(const CReplyScheduler& replies);
    void Request(const std::function<void()>& change);
    void Shutdown();
    void SetIdleInPoll(bool idle)
    {
        std::lock_guard lock(mutex);
        idleInPoll = idle;
    }

    const SSimOptions options;

    mutable std::mutex mutex;
    mutable std::condition_variable changed;   // the transcript grew, the model changed, serving ended
    CStageModel model;
    std::vector<STranscriptLine> transcript;
    std::string injected;
    std::string lastError;

    // Set up by Start() before the thread runs; afterwards only the serve thread touches them.
    CSimLine line;
    CPortEntry port;
    CFile transcriptFile;
    CLineSplitter splitter;
    Clock::time_point startedAt{};
    std::optional<Clock::time_point> bootEndsAt;   // the board is rebooting until then
    std::uint64_t nextSeq = 0;
    bool stoppedByHalt = false;

    // Kept after the entry is gone, so that a test can still name what vanished.
    int comNumber = 0;
    std::string device, portPath;

    // The serve thread sleeps in poll with nothing received left to answer and nothing due to send;
    // guarded by mutex, as is the line while Shutdown hangs it up.
    bool idleInPoll = false;

    // Halt() and SetSilent() from other threads, guarded by mutex: the serve thread carries them out
    // and counts them in `applied`.
    bool haltRequested = false;
    std::optional<bool> silentRequested;
    std::uint64_t requests = 0, applied = 0;

    std::thread thread;
    std::atomic<bool> stopRequested{false};
    std::atomic<bool> serving{false};
    std::atomic<int> openCount{0};
};

void CStageSimulator::SImpl::Record(std::string text, Clock::time_point arrival, bool lost)
{
    if (FILE* f = transcriptFile.Get()) {
        const double seconds = std::chrono::duration<double>(arrival - startedAt).count();
        std::string entry = FormatTranscriptEntry(seconds, text);
        if (lost)
            entry.insert(entry.size() - 1, "\t# lost: the board was rebooting");
        std::fwrite(entry.data(), 1, entry.size(), f);
        std::fflush(f);   // a killed simulator still leaves every line it got
    }
    {
        std::lock_guard lock(mutex);
        transcript.push_back({std::move(text), arrival, lost, false, nextSeq});
    }
    ++nextSeq;
    changed.notify_all();
}

void CStageSimulator::SImpl::MarkOutside(std::uint64_t seq)
{
    std::string text;
    {
        std::lock_guard lock(mutex);
        for (auto it = transcript.rbegin(); it != transcript.rend() && it->seq >= seq; ++it)
            if (it->seq == seq) {
                it->outsideEnvelope = true;
                text = it->text;
            }
    }
    if (FILE* f = transcriptFile.Get()) {
        const double seconds = std::chrono::duration<double>(Clock::now() - startedAt).count();
        std::string entry = FormatTranscriptEntry(seconds, text);
        entry.insert(entry.size() - 1, "\t# outside the envelope: clamped");
        std::fwrite(entry.data(), 1, entry.size(), f);
        std::fflush(f);
    }
}

// Every open of the device by another program. A board that reboots when its port opens loses
// what it was doing: the lines waiting, the answers not yet sent, and whatever arrives while it
// boots. The events are read before the line, so bytes written after an open are never taken
// for bytes written before it.
void CStageSimulator::SImpl::NoticeOpens(CReplyScheduler& replies)
{
    for (int opened = line.TakeOpens(); opened > 0; --opened) {
        openCount.fetch_add(1);
        if (options.resetOnOpenMs > 0) {
            bootEndsAt = Clock::now() + milliseconds(options.resetOnOpenMs);
            replies.Reset();
        }
    }
}

void CStageSimulator::SImpl::EndBoot(CReplyScheduler& replies)
{
    if (bootEndsAt && Clock::now() >= *bootEndsAt) {
        bootEndsAt.reset();
        replies.SendLines(BannerLines());
    }
}

// Reads what the client sent; false once the device is to go away.
bool CStageSimulator::SImpl::Receive(CReplyScheduler& replies, size_t& received)
{
    char buf[4096];
    for (;;) {
        const long n = line.Read(buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            return true;
        if (n <= 0)
            return false;   // only once no client descriptor is left, which our own one prevents
        const auto arrival = Clock::now();
        const bool booting = bootEndsAt.has_value();
        for (auto& text : splitter.Feed(std::string_view(buf, static_cast<size_t>(n)))) {
            if (!booting)
                replies.Queue(text, arrival, nextSeq);
            Record(std::move(text), arrival, booting);
            if (options.vanishAfterLines > 0 && ++received >= static_cast<size_t>(options.vanishAfterLines))
                return false;
        }
    }
}

void CStageSimulator::SImpl::WriteDue(CReplyScheduler& replies)
{
    for (;;) {
        const auto now = Clock::now();
        const std::string_view piece = replies.Writable(now);
        if (piece.empty())
            return;
        const long n = line.Write(piece.data(), piece.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            return;   // the client's queue is full: poll for POLLOUT
        // Any other failure drops the piece rather than retrying it forever.
        replies.Written(n < 0 ? piece.size() : static_cast<size_t>(n), now);
    }
}

void CStageSimulator::SImpl::Serve()
{
    CReplyScheduler replies({options.replyDelayMs, options.chunkSize, options.chunkPauseMs, options.floodBytes,
                             options.noise, options.crlf, options.lateHandshakeMs, options.busyNotices,
                             options.busyEveryMs, options.haltAfterMs, options.silentAfterMs},
                            startedAt);
    if (options.banner)
        replies.SendLines(BannerLines());
    const auto execute = [this](const std::string& line, Clock::time_point at, std::uint64_t seq) {
        SReply reply;
        {
            std::lock_guard lock(mutex);
            reply = model.Execute(line, at);
        }
        if (reply.outsideEnvelope)
            MarkOutside(seq);
        changed.notify_all();   // WaitUntilIdle learns of the new move
        return reply;
    };
    size_t received = 0;
    bool present = true;
    while (present && !stopRequested.load()) {
        // Take what has arrived before answering, so that lines written while we were busy are
        // stamped when they came, not after our own answers went out.
        NoticeOpens(replies);
        EndBoot(replies);
        ApplyRequests(replies);
        present = Receive(replies, received);
        if (!present)
            break;
        replies.Advance(Clock::now(), execute);
        StopIfHalted(replies);
        WriteDue(replies);

        std::optional<Clock::time_point> next = replies.NextDeadline();
        if (bootEndsAt)
            next = next ? std::min(*next, *bootEndsAt) : *bootEndsAt;
        int timeoutMs = -1;
        if (next) {
            const auto wait = std::chrono::ceil<milliseconds>(*next - Clock::now()).count();
            timeoutMs = static_cast<int>(std::clamp<long long>(wait, 0, 60'000));
        }
        SetIdleInPoll(replies.Idle() && !bootEndsAt);
        CSimLine::SReady ready;
        const bool polled = line.Poll(!replies.Writable(Clock::now()).empty(), timeoutMs, ready);
        SetIdleInPoll(false);
        if (!polled)
            break;
        NoticeOpens(replies);
        if (ready.wake) {
            {
                std::lock_guard lock(mutex);
                replies.SendRaw(injected);
                injected.clear();
            }
            ApplyRequests(replies);
        }
        if (ready.input)
            present = Receive(replies, received);
    }
    Shutdown();
}

void CStageSimulator::SImpl::ApplyRequests(CReplyScheduler& replies)
{
    {
        std::lock_guard lock(mutex);
        if (applied == requests)
            return;
        if (std::exchange(haltRequested, false))
            replies.Halt();
        if (silentRequested)
            replies.SetSilent(*std::exchange(silentRequested, std::nullopt));
        applied = requests;
    }
    StopIfHalted(replies);
    changed.notify_all();
}

// A halted controller's motors stop where they are; a reboot (on open) brings it back.
void CStageSimulator::SImpl::StopIfHalted(const CReplyScheduler& replies)
{
    if (replies.Halted() && !stoppedByHalt) {
        std::lock_guard lock(mutex);
        model.Stop(Clock::now());
    }
    stoppedByHalt = replies.Halted();
}

// The serve thread takes the change before it reads the line again, and the caller waits for that.
void CStageSimulator::SImpl::Request(const std::function<void()>& change)
{
    std::unique_lock lock(mutex);
    change();
    const std::uint64_t mine = ++requests;
    line.Wake();
    changed.wait_for(lock, std::chrono::seconds(5), [&] { return applied >= mine || !serving.load(); });
}

// The entry goes and the state turns before the line hangs up: whoever notices the hang-up (a panel
// rescanning its ports, a test) must find both already done.
void CStageSimulator::SImpl::Shutdown()
{
    port.Remove();
    transcriptFile.Reset();
    serving.store(false);
    changed.notify_all();
    std::lock_guard lock(mutex);
    line.Hangup();
}

CStageSimulator::CStageSimulator(SSimOptions options) : m_pImpl(std::make_unique<SImpl>(std::move(options))) {}

CStageSimulator::~CStageSimulator() { Stop(); }

bool CStageSimulator::Start()
{
    SImpl& d = *m_pImpl;
    if (d.serving.load()) {
        d.lastError = "already serving";
        return false;
    }
    if (d.thread.joinable())
        d.thread.join();
    auto fail = [&d](const std::string& error) {
        d.lastError = error;
        d.port.Remove();
        d.line.Hangup();
        d.transcriptFile.Reset();
        return false;
    };
    std::string error;
    if (!d.line.Open(error))
        return fail(error);
    const std::string name = d.line.Device();

    const std::string portsDir = d.options.portsDir.empty() ? platform::PortsDir() : d.options.portsDir;
    if (!d.port.Create(portsDir, d.options.comNumber, name)) {
        const int err = errno;
        const std::string which = d.options.comNumber > 0 ? "COM" + std::to_string(d.options.comNumber) : "a free COM1..COM16";
        return fail("cannot register " + which + " in " + portsDir + ": " + ErrnoText(err));
    }
    d.startedAt = Clock::now();
    if (!d.options.transcriptFile.empty()) {
        d.transcriptFile.Reset(std::fopen(d.options.transcriptFile.c_str(), "a"));
        if (!d.transcriptFile.Get())
            return fail("cannot open " + d.options.transcriptFile + ": " + ErrnoText(errno));
        const std::string header = "# TarnikSim on COM" + std::to_string(d.port.ComNumber()) + " (" + name +
                                   "), started " + WallClockNow() + "; seconds since then, tab, line received\n";
        std::fputs(header.c_str(), d.transcriptFile.Get());
        std::fflush(d.transcriptFile.Get());
    }
    d.comNumber = d.port.ComNumber();
    d.device = name;
    d.portPath = d.port.Path();
    d.splitter = CLineSplitter();
    d.bootEndsAt.reset();
    d.openCount.store(0);
    d.stopRequested.store(false);
    d.serving.store(true);
    try {
        d.thread = std::thread([&d] { d.Serve(); });
    } catch (const std::system_error& e) {
        d.serving.store(false);
        return fail("cannot start the serving thread: " + ErrnoText(e.code().value()));
    }
    d.lastError.clear();
    return true;
}

void CStageSimulator::Stop()
{
    SImpl& d = *m_pImpl;
    d.stopRequested.store(true);
    d.line.Wake();
    if (d.thread.joinable())
        d.thread.join();
}

void CStageSimulator::Halt()
{
    m_pImpl->Request([d = m_pImpl.get()] { d->haltRequested = true; });
}

void CStageSimulator::SetSilent(bool silent)
{
    m_pImpl->Request([d = m_pImpl.get(), silent] { d->silentRequested = silent; });
}

// A pulled cable and an orderly end look the same from the client's side: the master closes.
void CStageSimulator::Vanish() { Stop(); }

int CStageSimulator::ComNumber() const { return m_pImpl->comNumber; }
std::string CStageSimulator::ComName() const
{
    return m_pImpl->comNumber > 0 ? "COM" + std::to_string(m_pImpl->comNumber) : std::string();
}
std::string CStageSimulator::DevicePath() const { return m_pImpl->device; }
std::string CStageSimulator::PortEntryPath() const { return m_pImpl->portPath; }
std::string CStageSimulator::LastError() const { return m_pImpl->lastError; }
bool CStageSimulator::Serving() const { return m_pImpl->serving.load(); }
int CStageSimulator::OpenCount() const { return m_pImpl->openCount.load(); }

std::vector<STranscriptLine> CStageSimulator::Transcript() const
{
    std::lock_guard lock(m_pImpl->mutex);
    return m_pImpl->transcript;
}

std::vector<std::string> CStageSimulator::TranscriptTexts() const
{
    std::lock_guard lock(m_pImpl->mutex);
    std::vector<std::string> texts;
    for (const auto& line : m_pImpl->transcript)
        texts.push_back(line.text);
    return texts;
}

bool CStageSimulator::WaitForLines(size_t count, int timeoutMs) const
{
    std::unique_lock lock(m_pImpl->mutex);
    return m_pImpl->changed.wait_for(lock, milliseconds(timeoutMs),
                                     [this, count] { return m_pImpl->transcript.size() >= count; });
}

bool CStageSimulator::WaitForLine(const std::string& text, int timeoutMs) const
{
    std::unique_lock lock(m_pImpl->mutex);
    return m_pImpl->changed.wait_for(lock, milliseconds(timeoutMs), [this, &text] {
        return std::any_of(m_pImpl->transcript.begin(), m_pImpl->transcript.end(),
                           [&text](const STranscriptLine& line) { return line.text == text; });
    });
}

void CStageSimulator::ClearTranscript()
{
    std::lock_guard lock(m_pImpl->mutex);
    m_pImpl->transcript.clear();
}

void CStageSimulator::SetPosition(double x, double y, double z)
{
    {
        std::lock_guard lock(m_pImpl->mutex);
        m_pImpl->model.SetPosition({x, y, z});
    }
    m_pImpl->changed.notify_all();
}

std::array<double, 3> CStageSimulator::Position() const
{
    std::lock_guard lock(m_pImpl->mutex);
    return m_pImpl->model.Target();
}

std::array<double, 3> CStageSimulator::ActualPosition() const
{
    std::lock_guard lock(m_pImpl->mutex);
    return m_pImpl->model.Actual(Clock::now());
}

bool CStageSimulator::Settled() const
{
    std::lock_guard lock(m_pImpl->mutex);
    const SImpl& d = *m_pImpl;
    return d.serving.load() && d.idleInPoll && d.injected.empty() && d.line.PendingInput() == 0;
}

int CStageSimulator::UnreadByClient() const
{
    std::lock_guard lock(m_pImpl->mutex);
    return m_pImpl->serving.load() ? m_pImpl->line.UnreadByClient() : -1;
}

bool CStageSimulator::WaitUntilIdle(int timeoutMs) const
{
    const auto deadline = Clock::now() + milliseconds(timeoutMs);
    std::unique_lock lock(m_pImpl->mutex);
    for (;;) {
        const auto idleAt = m_pImpl->model.IdleAt();
        const auto now = Clock::now();
        if (now >= idleAt)
            return true;
        if (now >= deadline)
            return false;
        // Woken early when a new move is planned; the loop then reads the new end time.
        m_pImpl->changed.wait_until(lock, std::min(idleAt, deadline));
    }
}

void CStageSimulator::SendRaw(const std::string& bytes)
{
    {
        std::lock_guard lock(m_pImpl->mutex);
        m_pImpl->injected += bytes;
    }
    m_pImpl->line.Wake();
}

} // namespace sim
