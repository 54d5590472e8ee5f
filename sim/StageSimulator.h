#pragma once
// A simulated stage controller on a pseudo-terminal: registered as COMn in the ports/ folder, it
// answers G-code lines as the real controller does, records what it receives, and misbehaves on
// demand so that the panel can be tested against every fault of the line.
#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace sim {

// How long a board that reboots when its port opens stays deaf, unless told otherwise.
inline constexpr int DEFAULT_RESET_BOOT_MS = 1500;

struct SSimOptions {
    int comNumber = 0;            // 0: the first free COMn (n in 1..16) in the ports folder
    std::string portsDir;         // empty: platform::PortsDir()
    bool noHandshake = false;     // M105 answered with a bare "ok", without "T:"
    bool noEField = false;        // position reports without " E:..."
    bool noReports = false;       // M114 answered with a bare "ok": the position is never reported
    int resetOnOpenMs = 0;        // >0: every open of the device reboots the board: for this long it
                                  // loses what arrives, then prints "start" and the banner
    int replyDelayMs = 0;         // each line waits this long before it is answered; lines are
                                  // answered one after the other, so N queued lines take N delays
    int chunkSize = 0;            // >0: everything sent goes out in pieces of this many bytes...
    int chunkPauseMs = 0;         // ...with this pause after each piece
    size_t floodBytes = 0;        // >0: once, just before the answer to the first received line,
                                  // this many bytes of "echo:" lines (so it hits a connected client)
    bool noise = false;           // a line of 1..8 noise bytes after every line sent
    bool crlf = false;            // lines sent end in "\r\n" instead of "\n"
    int lateHandshakeMs = -1;     // >=0: the answer to M105 goes out this long after M105 arrived;
                                  // lines after it are answered in the meantime
    int vanishAfterLines = -1;    // >0: the device goes away when the N-th line arrives; that line is
                                  // recorded but not answered, and unsent answers are lost
    bool banner = true;           // "start" and a few "echo:" lines when the simulator starts
    double speedFactor = 1.0;     // scales how long moves and homing take (0: instant; 1: real time)
    std::array<double, 3> homingMmPerSec = {50, 50, 4};    // per-axis homing speeds; homing runs the axes
                                  // one after the other (X, Y, then Z) from where the stage is to 0
    std::array<double, 3> maxFeedMmPerSec = {300, 300, 5}; // a move runs at the commanded feed capped per
                                  // axis, and lasts as long as its slowest axis
    std::array<double, 3> startPosition = {0, 0, 0};       // where the stage is at start
    bool busyNotices = true;      // "echo:busy: processing" every busyEveryMs while a blocking command
    int busyEveryMs = 2000;       // (G28, M400) runs; false: nothing until its "ok"
    int haltAfterMs = -1;         // >=0: that long after Start(), "Error:Printer halted. kill() called!"
                                  // once, then nothing; lines are recorded, never answered
    int silentAfterMs = -1;       // >=0: that long after Start(), the controller falls silent (records,
                                  // never answers, sends nothing) with the port open
    std::string handshakeReply{}; // non-empty: M105 is answered with exactly these lines (split at
                                  // "\n"), without an "ok" of the simulator's own
    std::string transcriptFile;   // non-empty: every received line is appended here as it arrives
};

struct STranscriptLine {
    std::string text;   // the received bytes without the "\n"; a "\r" before it stays, so a stray CR shows
    std::chrono::steady_clock::time_point arrival;
    bool lostInBoot = false;        // arrived while the board was rebooting: never carried out
    bool outsideEnvelope = false;   // a move whose commanded target lay outside the envelope
    std::uint64_t seq = 0;          // the line's place among every line ever received
};

class CStageSimulator {
public:
    explicit CStageSimulator(SSimOptions options = {});
    ~CStageSimulator();   // stops, removes its ports/ entry
    CStageSimulator(const CStageSimulator&) = delete;
    CStageSimulator& operator=(const CStageSimulator&) = delete;

    // Opens the pseudo-terminal, registers COMn and serves on a thread of its own. False (with a
    // reason in LastError()) when any step fails; nothing is left behind then.
    bool Start();
    // Ends serving; the client sees the line hang up, as with Vanish().
    void Stop();

    int ComNumber() const;
    std::string ComName() const;      // "COM3"
    std::string DevicePath() const;   // "/dev/pts/5"
    std::string PortEntryPath() const;
    std::string LastError() const;
    bool Serving() const;             // started, and neither stopped nor vanished
    int OpenCount() const;            // how often another program opened the device since Start()

    std::vector<STranscriptLine> Transcript() const;   // a copy; safe from any thread
    std::vector<std::string> TranscriptTexts() const;
    bool WaitForLines(size_t count, int timeoutMs) const;   // until the transcript holds count lines
    bool WaitForLine(const std::string& text, int timeoutMs) const;   // until one line equals text
    void ClearTranscript();

    void SetPosition(double x, double y, double z);   // at once, no motion
    std::array<double, 3> Position() const;           // the target, as M114 reports it
    std::array<double, 3> ActualPosition() const;     // where a running move has got to
    bool WaitUntilIdle(int timeoutMs) const;          // until every planned move has ended
    // Nothing received waits to be read or answered, and no answer waits to go out.
    bool Settled() const;
    // Bytes sent that the client has not read yet (-1: cannot tell, or no longer serving).
    int UnreadByClient() const;

    void SendRaw(const std::string& bytes);   // queued behind the answers not yet sent; goes out even
                                              // when the controller is halted or silent
    void Vanish();                            // the device goes away now
    // The controller halts now: the halt line, then silence; the stage stops where it is.
    void Halt();
    // Falls silent now, or speaks again. Answers to lines received while silent are lost for good.
    // Both take effect before they return: a line written afterwards meets the new state.
    void SetSilent(bool silent);

private:
    struct SImpl;
    std::unique_ptr<SImpl> m_pImpl;
};

} // namespace sim
