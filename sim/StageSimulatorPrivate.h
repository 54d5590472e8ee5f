#pragma once
// Internal to CStageSimulator: the state that its pseudo-terminal plumbing (SimTerminal.cpp) and
// its serving loop (StageSimulator.cpp) share.
#include "sim/PortEntry.h"
#include "sim/ReplyScheduler.h"
#include "sim/SimLine.h"
#include "sim/SimText.h"
#include "sim/StageModel.h"
#include "sim/StageSimulator.h"

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

namespace sim {

inline std::string ErrnoText(int err) { return std::generic_category().message(err); }

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

struct CStageSimulator::SImpl {
    explicit SImpl(SSimOptions opt)
        : options(std::move(opt)),
          model({options.noHandshake, options.noEField, options.noReports, options.speedFactor, options.homingMmPerSec,
                 options.maxFeedMmPerSec, options.handshakeReply})
    {
        model.SetPosition(options.startPosition);
    }

    // The device as other programs see it (SimTerminal.cpp): Start's steps, each with a reason
    // when it fails, opens and reboots, the end.
    bool OpenTerminal(std::string& error);
    void ResetForServing();
    bool StartThread(std::string& error);
    bool Abandon(const std::string& error);
    void NoticeOpens(CReplyScheduler& replies);
    void EndBoot(CReplyScheduler& replies);
    void Shutdown();

    // The serving loop and its records (StageSimulator.cpp).
    void Serve();
    SScheduleOptions ScheduleOptions() const;
    SReply Execute(const std::string& text, Clock::time_point at, std::uint64_t seq);
    bool Receive(CReplyScheduler& replies, size_t& received);
    bool WaitAndTake(CReplyScheduler& replies, size_t& received);
    int PollTimeoutMs(const CReplyScheduler& replies) const;
    void TakeWake(CReplyScheduler& replies);
    bool OpenTranscriptFile(std::string& error);
    void Record(std::string text, Clock::time_point arrival, bool lost);
    void MarkOutside(std::uint64_t seq);
    void WriteDue(CReplyScheduler& replies);
    void ApplyRequests(CReplyScheduler& replies);
    void StopIfHalted(const CReplyScheduler& replies);
    void Request(const std::function<void()>& change);
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

} // namespace sim
