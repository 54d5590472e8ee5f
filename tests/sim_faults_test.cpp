// The simulator's faults, as the panel on the other end of the line would meet them, and the
// executable's signals.
#include "sim/SimClient.h"
#include "sim/SimText.h"
#include "sim/StageSimulator.h"

#include <gtest/gtest.h>

#include <cctype>
#include <csignal>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace sim;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

extern char** environ;

namespace {

constexpr char HANDSHAKE[] = "ok T:25.0 /0.0 B:25.0 /0.0 @:0 B@:0";

bool Exists(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

class FaultTest : public ::testing::Test {
protected:
    FaultTest()
    {
        m_options.banner = false;
        m_options.speedFactor = 0;
    }
    void StartAndConnect()
    {
        m_pSim = std::make_unique<CStageSimulator>(m_options);
        ASSERT_TRUE(m_pSim->Start()) << m_pSim->LastError();
        ASSERT_EQ(m_client.Open(m_pSim->ComName()), 0);
    }
    // After a hang-up: the client's reads and writes fail, the entry is gone, the transcript stays.
    void ExpectVanished(size_t linesRecorded)
    {
        EXPECT_TRUE(m_client.WaitForHangup());
        EXPECT_NE(m_client.Send("M105\n"), 0);
        EXPECT_FALSE(Exists(m_pSim->PortEntryPath()));
        EXPECT_FALSE(m_pSim->Serving());
        EXPECT_EQ(m_pSim->Transcript().size(), linesRecorded);
    }

    CScratchDataDir m_dataDir;
    SSimOptions m_options;
    std::unique_ptr<CStageSimulator> m_pSim;
    CSimClient m_client;
};

} // namespace

TEST_F(FaultTest, HandshakeAndReportFaultsChangeTheAnswers)
{
    m_options.noHandshake = true;
    m_options.noEField = true;
    StartAndConnect();
    EXPECT_EQ(m_client.Ask("M105", 1), std::vector<std::string>{"ok"});
    m_client.Ask("G0 X1 Y2 Z3", 1);
    EXPECT_EQ(m_client.Ask("M114", 2), (std::vector<std::string>{"X:1.00 Y:2.00 Z:3.00 Count X:80 Y:160 Z:1200", "ok"}));
}

TEST_F(FaultTest, CrLfEndsEveryLineSent)
{
    m_options.crlf = true;
    m_options.banner = true;
    StartAndConnect();
    m_client.Lines(4);   // the banner
    EXPECT_EQ(m_client.Ask("M114", 2), (std::vector<std::string>{"X:0.00 Y:0.00 Z:0.00 E:0.00 Count X:0 Y:0 Z:0\r", "ok\r"}));
    EXPECT_EQ(m_client.Ask("M105", 1), std::vector<std::string>{std::string(HANDSHAKE) + "\r"});
}

TEST_F(FaultTest, DelayedRepliesComeOneAfterTheOther)
{
    m_options.replyDelayMs = 150;
    StartAndConnect();
    const auto sent = Clock::now();
    m_client.Send("G21\nG90\nM105\n");
    EXPECT_EQ(m_client.Lines(1), std::vector<std::string>{"ok"});
    EXPECT_GE(Clock::now() - sent, milliseconds(150));
    EXPECT_EQ(m_client.Lines(2), (std::vector<std::string>{"ok", HANDSHAKE}));
    EXPECT_GE(Clock::now() - sent, milliseconds(3 * 150));
    EXPECT_TRUE(m_pSim->WaitForLines(3, 0)) << "the transcript has every line at once, answered or not";
}

TEST_F(FaultTest, ChunkedRepliesArriveInPiecesAndStillWhole)
{
    m_options.chunkSize = 4;
    m_options.chunkPauseMs = 30;
    StartAndConnect();
    m_client.Send("M114\n");
    const std::string expected = "X:0.00 Y:0.00 Z:0.00 E:0.00 Count X:0 Y:0 Z:0\nok\n";
    size_t partialSightings = 0, lastSize = 0;
    m_client.ReadUntil([&](const std::string& text) {
        if (text.size() != lastSize && text.back() != '\n')
            ++partialSightings;
        lastSize = text.size();
        return text.size() >= expected.size();
    });
    EXPECT_EQ(m_client.Take(), expected);
    EXPECT_GE(partialSightings, 3u) << "a reply cut into pieces is seen half-way more than once";
}

TEST_F(FaultTest, FloodComesOnceBeforeTheFirstAnswer)
{
    m_options.floodBytes = 5000;
    StartAndConnect();
    m_client.Send("M105\n");
    ASSERT_TRUE(m_client.ReadUntil([](const std::string& t) { return t.find("ok T:") != std::string::npos; }));
    const auto lines = m_client.Lines(CSimClient::CountLines(m_client.Received()));
    std::string flood;
    for (size_t i = 0; i + 1 < lines.size(); ++i)
        flood += lines[i] + "\n";
    EXPECT_EQ(flood, FloodText(5000));
    EXPECT_EQ(lines.back(), HANDSHAKE);
    EXPECT_EQ(m_client.Ask("M105", 1), std::vector<std::string>{HANDSHAKE});

    m_pSim->SendRaw("X:1.00 Y:2.00 Z:3.00 E:0.00\n");   // an unsolicited report, injected on demand
    EXPECT_EQ(m_client.Lines(1), std::vector<std::string>{"X:1.00 Y:2.00 Z:3.00 E:0.00"});
}

TEST_F(FaultTest, NoiseLinesSitBetweenTheRealOnes)
{
    m_options.noise = true;
    StartAndConnect();
    m_client.Send("M114\n");
    const auto lines = m_client.Lines(4);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "X:0.00 Y:0.00 Z:0.00 E:0.00 Count X:0 Y:0 Z:0");
    EXPECT_EQ(lines[2], "ok");
    for (const std::string& noise : {lines[1], lines[3]}) {
        EXPECT_FALSE(noise.empty());
        for (const char c : noise)
            EXPECT_FALSE(std::isalnum(static_cast<unsigned char>(c)) || c == ':' || c == '\0') << int(c);
    }
}

TEST_F(FaultTest, LateHandshakeComesAfterTheOtherAnswers)
{
    m_options.lateHandshakeMs = 300;
    StartAndConnect();
    const auto sent = Clock::now();
    m_client.Send("M105\nG21\nM114\n");
    EXPECT_EQ(m_client.Lines(4), (std::vector<std::string>{"ok", "X:0.00 Y:0.00 Z:0.00 E:0.00 Count X:0 Y:0 Z:0", "ok", HANDSHAKE}));
    EXPECT_GE(Clock::now() - sent, milliseconds(300));
}

TEST_F(FaultTest, VanishesWhenTheNthLineArrives)
{
    m_options.vanishAfterLines = 3;
    StartAndConnect();
    const std::string entry = m_pSim->PortEntryPath();
    EXPECT_EQ(m_client.Ask("M105", 1), std::vector<std::string>{HANDSHAKE});
    EXPECT_EQ(m_client.Ask("G21", 1), std::vector<std::string>{"ok"});
    EXPECT_TRUE(Exists(entry));
    m_client.Send("M114\n");
    ExpectVanished(3);
    EXPECT_TRUE(m_client.Take().empty()) << "the last line is never answered";
    EXPECT_EQ(m_pSim->ComName(), "COM1") << "the name of what vanished stays readable";
}

TEST_F(FaultTest, VanishOnDemandHangsUpTheClient)
{
    StartAndConnect();
    EXPECT_EQ(m_client.Ask("M105", 1), std::vector<std::string>{HANDSHAKE});
    m_pSim->Vanish();
    ExpectVanished(1);
    // A new simulator can take the number again at once.
    CStageSimulator next(m_options);
    ASSERT_TRUE(next.Start()) << next.LastError();
    EXPECT_EQ(next.ComName(), m_pSim->ComName());
}

namespace {

// The simulator executable, started as scripts/run starts it, with its stdout on a pipe.
class CSimProcess {
public:
    bool Start(const std::vector<std::string>& args)
    {
        const std::string exe = platform::ExecutablePath();
        m_strExe = exe.substr(0, exe.rfind('/')) + "/../TarnikSim";
        int out[2];
        if (::pipe(out) != 0)
            return false;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDERR_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        std::vector<std::string> all = {m_strExe};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        const int rc = ::posix_spawn(&m_pid, m_strExe.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        m_fdOut = out[0];
        return rc == 0;
    }
    ~CSimProcess()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        if (m_fdOut >= 0)
            ::close(m_fdOut);
    }
    // The next line of its stdout and stderr, or "" when none comes before the deadline.
    std::string ReadLine(int timeoutMs = 5000)
    {
        const auto deadline = Clock::now() + milliseconds(timeoutMs);
        for (;;) {
            if (const auto eol = m_strOut.find('\n'); eol != std::string::npos) {
                std::string line = m_strOut.substr(0, eol);
                m_strOut.erase(0, eol + 1);
                return line;
            }
            const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
            pollfd pfd{m_fdOut, POLLIN, 0};
            if (left <= 0 || ::poll(&pfd, 1, static_cast<int>(left)) <= 0)
                return {};
            char buf[256];
            const ssize_t n = ::read(m_fdOut, buf, sizeof buf);
            if (n <= 0)
                return {};
            m_strOut.append(buf, static_cast<size_t>(n));
        }
    }
    void Signal(int sig) { ::kill(m_pid, sig); }
    // The exit status, or -1 when it did not end before the deadline.
    int Wait(int timeoutMs = 5000)
    {
        const auto deadline = Clock::now() + milliseconds(timeoutMs);
        while (Clock::now() < deadline) {
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(milliseconds(5));
        }
        return -1;
    }
    const std::string& Exe() const { return m_strExe; }

private:
    pid_t m_pid = -1;
    int m_fdOut = -1;
    std::string m_strOut, m_strExe;
};

} // namespace

TEST_F(FaultTest, ExecutableServesVanishesOnSigusr1AndCleansUpOnSignals)
{
    for (const int endSignal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(endSignal);
        CSimProcess sim;
        ASSERT_TRUE(sim.Start({"--ports-dir", m_dataDir.PortsDir(), "--com", "4", "--no-banner", "--speed", "0"}))
            << sim.Exe() << " (built beside the tests' folder?)";
        const std::string banner = sim.ReadLine();
        ASSERT_EQ(banner.rfind("TarnikSim serving COM4 on /dev/pts/", 0), 0u) << banner;
        ASSERT_TRUE(Exists(m_dataDir.PortsDir() + "COM4"));

        CSimClient client;
        ASSERT_EQ(client.Open("COM4"), 0);
        EXPECT_EQ(client.Ask("M105", 1), std::vector<std::string>{HANDSHAKE});
        if (endSignal == SIGTERM) {
            sim.Signal(SIGUSR1);
            EXPECT_EQ(sim.ReadLine(), "TarnikSim: COM4 vanished");
            EXPECT_TRUE(client.WaitForHangup());
            EXPECT_FALSE(Exists(m_dataDir.PortsDir() + "COM4"));
        }
        sim.Signal(endSignal);
        EXPECT_EQ(sim.Wait(), 0);
        EXPECT_FALSE(Exists(m_dataDir.PortsDir() + "COM4"));
    }

    CSimProcess bad;
    ASSERT_TRUE(bad.Start({"--delay", "soon"}));
    EXPECT_EQ(bad.ReadLine(), "TarnikSim: bad value for --delay: \"soon\"");
    EXPECT_EQ(bad.Wait(), 2);
}
