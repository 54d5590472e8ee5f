// TarnikSim: the simulated stage controller as a program, for scripts/run and for anyone who
// wants to try the panel without hardware.
#include "sim/SimArgs.h"
#include "sim/SimText.h"
#include "sim/StageSimulator.h"

#include <csignal>
#include <cstdio>
#include <pthread.h>

namespace {

constexpr size_t DEFAULT_SIGNAL_FLOOD = 4096;

// Signals are taken synchronously by sigwait. They are blocked before the serving thread exists, so
// that it inherits the mask and no handler ever runs on it.
sigset_t BlockSignals()
{
    sigset_t signals;
    sigemptyset(&signals);
    for (const int sig : {SIGINT, SIGTERM, SIGHUP, SIGUSR1, SIGUSR2})
        sigaddset(&signals, sig);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);   // a closed stdout must not end the simulator
    return signals;
}

// SIGUSR1: the device vanishes; SIGUSR2: a flood; any other: the end.
int ServeUntilStopped(sim::CStageSimulator& simulator, const sim::SSimArgs& args, const sigset_t& signals)
{
    for (;;) {
        int sig = 0;
        if (sigwait(&signals, &sig) != 0)
            continue;
        if (sig == SIGUSR1) {
            simulator.Vanish();
            std::printf("TarnikSim: %s vanished\n", simulator.ComName().c_str());
            std::fflush(stdout);
        } else if (sig == SIGUSR2) {
            const size_t bytes = args.options.floodBytes ? args.options.floodBytes : DEFAULT_SIGNAL_FLOOD;
            simulator.SendRaw(sim::FloodText(bytes, args.options.crlf ? "\r\n" : "\n"));
        } else {
            simulator.Stop();
            return 0;
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    sim::SSimArgs args;
    std::string error;
    if (!sim::ParseSimArgs(std::vector<std::string>(argv + 1, argv + argc), args, error)) {
        std::fprintf(stderr, "TarnikSim: %s\n\n%s", error.c_str(), sim::SimUsage().c_str());
        return 2;
    }
    if (args.help) {
        std::fputs(sim::SimUsage().c_str(), stdout);
        return 0;
    }

    const sigset_t signals = BlockSignals();
    sim::CStageSimulator simulator(args.options);
    if (!simulator.Start()) {
        std::fprintf(stderr, "TarnikSim: %s\n", simulator.LastError().c_str());
        return 1;
    }
    std::printf("TarnikSim serving %s on %s\n", simulator.ComName().c_str(), simulator.DevicePath().c_str());
    std::fflush(stdout);
    return ServeUntilStopped(simulator, args, signals);
}
