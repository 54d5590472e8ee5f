#include "sim/SimArgs.h"

#include "sim/StageModel.h"

#include <array>
#include <charconv>
#include <cmath>
#include <functional>
#include <map>
#include <optional>

namespace sim {
namespace {

using FParse = std::function<bool(const std::string&)>;

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
FParse Int(T& field, long long lowest, long long highest = 1'000'000'000)
{
    return [&field, lowest, highest](const std::string& text) {
        long long v = 0;
        if (!ParseNumber(text, v) || v < lowest || v > highest)
            return false;
        field = static_cast<T>(v);
        return true;
    };
}

// "X,Y,Z": three numbers, each within [lowest, highest[i]].
FParse Triple(Axes& field, double lowest, Axes highest)
{
    return [&field, lowest, highest](const std::string& text) {
        std::array<double, 3> v{};
        size_t from = 0;
        for (size_t i = 0; i < 3; ++i) {
            const size_t comma = i < 2 ? text.find(',', from) : text.size();
            if (comma == std::string::npos || !ParseNumber(text.substr(from, comma - from), v[i]) ||
                !(v[i] >= lowest && v[i] <= highest[i]))
                return false;
            from = comma + 1;
        }
        field = v;
        return true;
    };
}

// Seconds, fractions allowed, into whole milliseconds.
FParse Seconds(int& fieldMs)
{
    return [&fieldMs](const std::string& text) {
        double s = 0;
        if (!ParseNumber(text, s) || !(s >= 0 && s <= 86'400))
            return false;
        fieldMs = static_cast<int>(std::lround(s * 1000));
        return true;
    };
}

// "\n" written as backslash and n, as a shell passes it; "\\" is a backslash.
std::string Unescape(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && (text[i + 1] == 'n' || text[i + 1] == '\\'))
            out += text[++i] == 'n' ? '\n' : '\\';
        else
            out += text[i];
    }
    return out;
}

// Flags that stand alone.
std::map<std::string, bool*> Switches(SSimArgs& out)
{
    SSimOptions& o = out.options;
    return {
        {"--no-handshake", &o.noHandshake}, {"--no-e", &o.noEField}, {"--no-reports", &o.noReports}, {"--noise", &o.noise},
        {"--crlf", &o.crlf},                {"--help", &out.help},  {"-h", &out.help},
    };
}

// Flags that take a value, each with what checks it and stores it in `o`.
std::map<std::string, FParse> ValuedOptions(SSimOptions& o)
{
    return {
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
        {"--homing-speeds", Triple(o.homingMmPerSec, 0.01, {10'000, 10'000, 10'000})},
        {"--max-feed", Triple(o.maxFeedMmPerSec, 0.01, {10'000, 10'000, 10'000})},
        {"--start-at", Triple(o.startPosition, 0, ENVELOPE_MM)},
        {"--busy-every", Int(o.busyEveryMs, 1, 3'600'000)},
        {"--halt-after", Seconds(o.haltAfterMs)},
        {"--silent-after", Seconds(o.silentAfterMs)},
        {"--handshake", [&o](const std::string& t) { o.handshakeReply = Unescape(t); return !t.empty(); }},
    };
}

// "--flag=value": cuts the value off the flag.
std::optional<std::string> TakeInlineValue(std::string& flag)
{
    const auto eq = flag.find('=');
    if (eq == std::string::npos || flag.rfind("--", 0) != 0)
        return std::nullopt;
    std::string value = flag.substr(eq + 1);
    flag.resize(eq);
    return value;
}

} // namespace

bool ParseSimArgs(const std::vector<std::string>& args, SSimArgs& out, std::string& error)
{
    SSimOptions& o = out.options;
    const std::map<std::string, bool*> switches = Switches(out);
    const std::map<std::string, FParse> valued = ValuedOptions(o);
    for (size_t i = 0; i < args.size(); ++i) {
        std::string flag = args[i];
        std::optional<std::string> value = TakeInlineValue(flag);
        if (flag == "--no-banner" && !value) {
            o.banner = false;
        } else if (flag == "--no-busy" && !value) {
            o.busyNotices = false;
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
           "  --speed F            moves and homing take F times as long as on a real machine\n"
           "                       (0: instant; default 1)\n"
           "  --start-at X,Y,Z     where the stage is at start (mm; default 0,0,0): from there\n"
           "                       a G28 takes time\n"
           "  --homing-speeds X,Y,Z  homing speed of each axis in mm/s (default 50,50,4); G28\n"
           "                       homes X, then Y, then Z\n"
           "  --max-feed X,Y,Z     highest speed of each axis in mm/s (default 300,300,5); a\n"
           "                       move runs at its feed capped per axis\n"
           "  --busy-every MS      \"echo:busy: processing\" every MS while G28 or M400 runs\n"
           "                       (default 2000)\n"
           "  --no-busy            no busy notices: silent until the blocking command's \"ok\"\n"
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
           "  --halt-after S       S seconds after start the controller halts: it prints\n"
           "                       \"Error:Printer halted. kill() called!\", then nothing more\n"
           "                       (the port stays open)\n"
           "  --silent-after S     S seconds after start the controller falls silent: it takes\n"
           "                       no line and sends nothing (the port stays open)\n"
           "  --handshake TEXT     answer M105 with exactly TEXT, lines separated by \\n:\n"
           "                       'ok\\nT:21.30/ 0.00 B:21.30/ 0.00 @:64',\n"
           "                       'ok T0:21.30/ 0.00 B:21.30/ 0.00 @:64',\n"
           "                       'Error: Missing checksum' or 'error:20'\n"
           "  -h, --help           this text\n"
           "Stops on SIGINT or SIGTERM and removes its ports entry.\n";
}

} // namespace sim
