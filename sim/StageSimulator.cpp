// The simulator's serving loop: it takes the lines the client sends, records them, has the
// stage model carry them out in their turn and writes the answers when they fall due.
#include "sim/StageSimulatorPrivate.h"

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <utility>

namespace sim {
namespace {

using std::chrono::milliseconds;

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

CStageSimulator::CStageSimulator(SSimOptions options) : m_pImpl(std::make_unique<SImpl>(std::move(options))) {}

CStageSimulator::~CStageSimulator() { Stop(); }

void CStageSimulator::SImpl::Serve()
{
    CReplyScheduler replies(ScheduleOptions(), startedAt);
    if (options.banner)
        replies.SendLines(BannerLines());
    const auto execute = [this](const std::string& text, Clock::time_point at, std::uint64_t seq) {
        return Execute(text, at, seq);
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
        present = WaitAndTake(replies, received);
    }
    Shutdown();
}

SScheduleOptions CStageSimulator::SImpl::ScheduleOptions() const
{
    return {options.replyDelayMs, options.chunkSize,   options.chunkPauseMs, options.floodBytes,
            options.noise,        options.crlf,        options.lateHandshakeMs, options.busyNotices,
            options.busyEveryMs,  options.haltAfterMs, options.silentAfterMs};
}

// The model carries out a line whose turn has come.
SReply CStageSimulator::SImpl::Execute(const std::string& text, Clock::time_point at, std::uint64_t seq)
{
    SReply reply;
    {
        std::lock_guard lock(mutex);
        reply = model.Execute(text, at);
    }
    if (reply.outsideEnvelope)
        MarkOutside(seq);
    changed.notify_all();   // WaitUntilIdle learns of the new move
    return reply;
}

// Sleeps until the client writes, there is room to write, another thread wakes us or something
// falls due, then takes what woke us; false once serving is to end.
bool CStageSimulator::SImpl::WaitAndTake(CReplyScheduler& replies, size_t& received)
{
    const int timeoutMs = PollTimeoutMs(replies);
    SetIdleInPoll(replies.Idle() && !bootEndsAt);
    CSimLine::SReady ready;
    const bool polled = line.Poll(!replies.Writable(Clock::now()).empty(), timeoutMs, ready);
    SetIdleInPoll(false);
    if (!polled)
        return false;
    NoticeOpens(replies);
    if (ready.wake)
        TakeWake(replies);
    return !ready.input || Receive(replies, received);
}

// Until the next answer or piece falls due, or the board has booted; -1: nothing to wait for.
int CStageSimulator::SImpl::PollTimeoutMs(const CReplyScheduler& replies) const
{
    std::optional<Clock::time_point> next = replies.NextDeadline();
    if (bootEndsAt)
        next = next ? std::min(*next, *bootEndsAt) : *bootEndsAt;
    if (!next)
        return -1;
    const auto wait = std::chrono::ceil<milliseconds>(*next - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(wait, 0, 60'000));
}

// Bytes from SendRaw, requests from Halt and SetSilent.
void CStageSimulator::SImpl::TakeWake(CReplyScheduler& replies)
{
    {
        std::lock_guard lock(mutex);
        replies.SendRaw(injected);
        injected.clear();
    }
    ApplyRequests(replies);
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

void CStageSimulator::Halt()
{
    m_pImpl->Request([d = m_pImpl.get()] { d->haltRequested = true; });
}

void CStageSimulator::SetSilent(bool silent)
{
    m_pImpl->Request([d = m_pImpl.get(), silent] { d->silentRequested = silent; });
}

bool CStageSimulator::SImpl::OpenTranscriptFile(std::string& error)
{
    if (options.transcriptFile.empty())
        return true;
    transcriptFile.Reset(std::fopen(options.transcriptFile.c_str(), "a"));
    if (!transcriptFile.Get()) {
        error = "cannot open " + options.transcriptFile + ": " + ErrnoText(errno);
        return false;
    }
    const std::string header = "# TarnikSim on COM" + std::to_string(port.ComNumber()) + " (" + line.Device() +
                               "), started " + WallClockNow() + "; seconds since then, tab, line received\n";
    std::fputs(header.c_str(), transcriptFile.Get());
    std::fflush(transcriptFile.Get());
    return true;
}

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
