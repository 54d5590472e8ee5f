// The simulator's pseudo-terminal as other programs see it: the device and its ports/ entry come
// and go with Start() and Stop(), an open by another program may reboot the board, and the device
// may go away at any time.
#include "sim/StageSimulatorPrivate.h"

#include "platform/FileLocations.h"

#include <cerrno>

namespace sim {

using std::chrono::milliseconds;

bool CStageSimulator::Start()
{
    SImpl& d = *m_pImpl;
    if (d.serving.load()) {
        d.lastError = "already serving";
        return false;
    }
    if (d.thread.joinable())
        d.thread.join();
    std::string error;
    if (!d.OpenTerminal(error))
        return d.Abandon(error);
    d.startedAt = Clock::now();
    if (!d.OpenTranscriptFile(error))
        return d.Abandon(error);
    d.ResetForServing();
    if (!d.StartThread(error))
        return d.Abandon(error);
    d.lastError.clear();
    return true;
}

// A fresh pseudo-terminal, registered as COMn in the ports folder.
bool CStageSimulator::SImpl::OpenTerminal(std::string& error)
{
    if (!line.Open(error))
        return false;
    const std::string portsDir = options.portsDir.empty() ? platform::PortsDir() : options.portsDir;
    if (!port.Create(portsDir, options.comNumber, line.Device())) {
        const int err = errno;
        const std::string which = options.comNumber > 0 ? "COM" + std::to_string(options.comNumber) : "a free COM1..COM16";
        error = "cannot register " + which + " in " + portsDir + ": " + ErrnoText(err);
        return false;
    }
    return true;
}

void CStageSimulator::SImpl::ResetForServing()
{
    comNumber = port.ComNumber();
    device = line.Device();
    portPath = port.Path();
    splitter = CLineSplitter();
    bootEndsAt.reset();
    openCount.store(0);
    stopRequested.store(false);
}

bool CStageSimulator::SImpl::StartThread(std::string& error)
{
    serving.store(true);
    try {
        thread = std::thread([this] { Serve(); });
    } catch (const std::system_error& e) {
        serving.store(false);
        error = "cannot start the serving thread: " + ErrnoText(e.code().value());
        return false;
    }
    return true;
}

// A start that failed leaves nothing behind.
bool CStageSimulator::SImpl::Abandon(const std::string& error)
{
    lastError = error;
    port.Remove();
    line.Hangup();
    transcriptFile.Reset();
    return false;
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

void CStageSimulator::Stop()
{
    SImpl& d = *m_pImpl;
    d.stopRequested.store(true);
    d.line.Wake();
    if (d.thread.joinable())
        d.thread.join();
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

int CStageSimulator::UnreadByClient() const
{
    std::lock_guard lock(m_pImpl->mutex);
    return m_pImpl->serving.load() ? m_pImpl->line.UnreadByClient() : -1;
}

} // namespace sim
