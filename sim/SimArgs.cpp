#include "sim/SimArgs.h"

#include <charconv>
#include <cmath>
#include <functional>
#include <map>
#include <optional>

namespace sim {
namespace {

template <typename T>
bool ParseNumber(const std::string& text, T& value)
{
    const char* first = text.data();
    const char* last = first + text.size();
    const auto res = std::from_chars(first, last, value);
    return res.ec == std::errc() && res.ptr == last;
}

// Integer flags and their lowest accepted value.
template <typename T>
std::function<bool(const std::string&)> Int(T& field, long long lowest, long long highest = 1'000'000'000)
{
    return [&field, lowest, highest](const std::string& text) {
        long long v = 0;
        if (!ParseNumber(text, v) || v < lowest || v > highest)
            return false;
        field = static_cast<T>(v);
        return true;
    };
}

} // namespace

bool ParseSimArgs(const std::vector<std::string>& args, SSimArgs& out, std::string& error)
{
    SSimOptions& o = out.options;
    const std::map<std::string, bool*> switches = {
        {"--no-handshake", &o.noHandshake}, {"--no-e", &o.noEField}, {"--no-reports", &o.noReports}, {"--noise", &o.noise},
        {"--crlf", &o.crlf},                {"--help", &out.help},  {"-h", &out.help},
    };
    const std::map<std::string, std::function<bool(const std::string&)>> valued = {
        {"--delay", Int(o.replyDelayMs, 0)},
        {"--chunk", Int(o.chunkSize, 1)},
        {"--chunk-pause", Int(o.chunkPauseMs, 0)},
        {"--flood", Int(o.floodBytes, 1)},
        {"--late-handshake", Int(o.lateHandshakeMs, 0)},
        {"--vanish-after", Int(o.vanishAfterLines, 1)},
        {"--reset-on-open-ms", Int(o.resetOnOpenMs, 1, 60'000)},
        {"--com", Int(o.comNumber, 1, 16)},
        {"--speed", [&o](const std::string& t) { return ParseNumber(t, o.speedFactor) && std::isfinite(o.speedFactor) && o.speedFactor >= 0; }},
        {"--ports-dir", [&o](const std::string& t) { o.portsDir = t; return !t.empty(); }},
        {"--transcript", [&o](const std::string& t) { o.transcriptFile = t; return !t.empty(); }},
    };
    for (size_t i = 0; i < args.size(); ++i) {
        std::string flag = args[i];
        std::optional<std::string> value;
        if (const auto eq = flag.find('='); eq != std::string::npos && flag.rfind("--", 0) == 0) {
            value = flag.substr(eq + 1);
            flag.resize(eq);
        }
        if (flag == "--no-banner" && !value) {
            o.banner = false;
        } else if (flag == "--reset-on-open" && !value) {
            o.resetOnOpenMs = DEFAULT_RESET_BOOT_MS;
        } else if (auto sw = switches.find(flag); sw != switches.end() && !value) {
            *sw->second = true;
        } else if (auto v = valued.find(flag); v != valued.end()) {
            if (!value) {
                if (i + 1 >= args.size()) {
                    error = flag + " needs a value";
                    return false;
                }
                value = args[++i];
            }
            if (!v->second(*value)) {
                error = "bad value for " + flag + ": \"" + *value + "\"";
                return false;
            }
        } else {
            error = "unknown option: " + args[i];
            return false;
        }
    }
    return true;
}

std::string SimUsage()
{
    return "Usage: TarnikSim [options]\n"
           "Plays the stage controller on a pseudo-terminal offered as COMn in the ports folder.\n"
           "\n"
           "  --com N              serve as COM N (1..16); default: the first free number\n"
           "  --ports-dir DIR      the ports folder; default: the panel's (ports/ beside the\n"
           "                       executable, or in ~/.config/TarnikS when installed)\n"
           "  --transcript FILE    append every received line to FILE with its arrival time;\n"
           "                       lines lost in a reboot and targets outside the envelope\n"
           "                       are marked\n"
           "  --speed F            moves take distance/feed times F (0: instant; default 1)\n"
           "  --no-banner          no \"start\" and \"echo:\" lines at start-up\n"
           "Faults:\n"
           "  --no-handshake       answer M105 with a bare \"ok\"\n"
           "  --no-e               position reports without the E field (a board without an\n"
           "                       extruder)\n"
           "  --no-reports         answer M114 with a bare \"ok\", never a position\n"
           "  --reset-on-open      every open of the port reboots the board: 1.5 s deaf, then\n"
           "                       \"start\" and the banner (--reset-on-open-ms MS: another time)\n"
           "  --delay MS           wait MS before answering each line (lines queue up)\n"
           "  --chunk N            send everything in pieces of N bytes...\n"
           "  --chunk-pause MS     ...with MS between the pieces\n"
           "  --flood N            N bytes of \"echo:\" lines before the first answer; SIGUSR2\n"
           "                       sends another flood of N bytes (4096 without --flood)\n"
           "  --noise              a line of noise bytes after every line sent\n"
           "  --crlf               end lines with CR LF\n"
           "  --late-handshake MS  answer M105 only MS after it arrived, other lines first\n"
           "  --vanish-after N     the device goes away when the N-th line arrives\n"
           "                       (SIGUSR1: goes away at once)\n"
           "  -h, --help           this text\n"
           "Stops on SIGINT or SIGTERM and removes its ports entry.\n";
}

} // namespace sim
