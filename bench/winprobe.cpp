// Starts a program under an X server and times what an operator sees of it, with microsecond
// clocks rather than the polling of command-line tools:
//   map_ms     process start (just before fork) -> its first top-level window mapped (MapNotify)
//   cpu_to_map_ms, switches_to_map  CPU time the process's threads had used by then, and how
//              often they had given up or lost the processor (each costs a wait on a busy machine)
//   hwm_kib, rss_kib, threads   from /proc after the window is mapped and has settled
//   --connect  clicks the panel's Connect button (placed from the window's size, see below) and
//              waits until FILE (the simulator's transcript) holds TEXT
//   --idle S   CPU time (utime+stime of all threads) and context switches over S seconds of idling
//   --close    sends WM_DELETE_WINDOW as a window manager would; with --confirm it waits for the
//              question box, presses Return there and times Return -> process exit, otherwise
//              WM_DELETE_WINDOW -> process exit
// Prints key=value lines for scripts/bench. Uses XTest for input, since Qt ignores sent events.
#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>
#include <dirent.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point t0)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

[[noreturn]] void Fail(pid_t child, const char* why)
{
    std::printf("error=%s\n", why);
    std::fflush(stdout);
    if (child > 0) {
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
    }
    std::exit(1);
}

struct SX {
    xcb_connection_t* c = nullptr;
    xcb_window_t root = 0;

    xcb_atom_t Atom(const char* name)
    {
        auto* r = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
        const xcb_atom_t a = r ? r->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
        std::free(r);
        return a;
    }

    // Waits for the next top-level window of the server to be mapped, up to timeoutMs.
    xcb_window_t AwaitTopLevelMap(int timeoutMs, pid_t child)
    {
        const auto give_up = Clock::now() + std::chrono::milliseconds(timeoutMs);
        const int fd = xcb_get_file_descriptor(c);
        for (;;) {
            while (xcb_generic_event_t* e = xcb_poll_for_event(c)) {
                const uint8_t type = e->response_type & 0x7f;
                if (type == XCB_MAP_NOTIFY) {
                    auto* m = reinterpret_cast<xcb_map_notify_event_t*>(e);
                    const bool top = m->event == root && !m->override_redirect;
                    const xcb_window_t w = m->window;
                    std::free(e);
                    if (top)
                        return w;
                    continue;
                }
                std::free(e);
            }
            if (xcb_connection_has_error(c))
                Fail(child, "X connection lost");
            if (child > 0 && ::waitpid(child, nullptr, WNOHANG) == child)
                Fail(-1, "program exited before mapping a window");
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(give_up - Clock::now()).count();
            if (left <= 0)
                return XCB_WINDOW_NONE;
            pollfd p{fd, POLLIN, 0};
            ::poll(&p, 1, static_cast<int>(std::min<long long>(left, 20)));
        }
    }

    xcb_keycode_t KeycodeOf(uint32_t keysym)
    {
        const xcb_setup_t* setup = xcb_get_setup(c);
        const int count = setup->max_keycode - setup->min_keycode + 1;
        auto* r = xcb_get_keyboard_mapping_reply(
            c, xcb_get_keyboard_mapping(c, setup->min_keycode, static_cast<uint8_t>(count)), nullptr);
        xcb_keycode_t found = 0;
        if (r) {
            const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(r);
            for (int k = 0; k < count && !found; ++k)
                for (int j = 0; j < r->keysyms_per_keycode; ++j)
                    if (syms[k * r->keysyms_per_keycode + j] == keysym) {
                        found = static_cast<xcb_keycode_t>(setup->min_keycode + k);
                        break;
                    }
            std::free(r);
        }
        return found;
    }

    void Key(xcb_keycode_t code)
    {
        xcb_test_fake_input(c, XCB_KEY_PRESS, code, XCB_CURRENT_TIME, root, 0, 0, 0);
        xcb_test_fake_input(c, XCB_KEY_RELEASE, code, XCB_CURRENT_TIME, root, 0, 0, 0);
        xcb_flush(c);
    }

    void Click(int rootX, int rootY)
    {
        xcb_test_fake_input(c, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, root, static_cast<int16_t>(rootX),
                            static_cast<int16_t>(rootY), 0);
        xcb_test_fake_input(c, XCB_BUTTON_PRESS, 1, XCB_CURRENT_TIME, root, 0, 0, 0);
        xcb_test_fake_input(c, XCB_BUTTON_RELEASE, 1, XCB_CURRENT_TIME, root, 0, 0, 0);
        xcb_flush(c);
    }

    xcb_window_t Focus()
    {
        auto* r = xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr);
        const xcb_window_t w = r ? r->focus : static_cast<xcb_window_t>(XCB_WINDOW_NONE);
        std::free(r);
        return w;
    }
};

std::string StatusField(pid_t pid, const char* key)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    const std::string prefix = std::string(key) + ":";
    while (std::getline(in, line))
        if (line.rfind(prefix, 0) == 0) {
            std::istringstream rest(line.substr(prefix.size()));
            std::string value;
            rest >> value;
            return value;
        }
    return "?";
}

// utime + stime of the whole process, in clock ticks.
long long CpuTicks(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto close = all.rfind(')');
    if (close == std::string::npos)
        return -1;
    std::istringstream rest(all.substr(close + 2));
    std::vector<std::string> f;
    std::string s;
    while (rest >> s)
        f.push_back(s);
    // After the command: state(0) ... utime is field 14 of the line, i.e. index 11 here.
    if (f.size() < 13)
        return -1;
    return std::stoll(f[11]) + std::stoll(f[12]);
}

// CPU time of all live threads in milliseconds, from the scheduler's nanosecond accounting: a
// figure for start-up that the load of a shared machine hardly moves, unlike the wall clock.
double CpuMs(pid_t pid)
{
    const std::string dir = "/proc/" + std::to_string(pid) + "/task";
    long long ns = 0;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* e = ::readdir(d)) {
            if (e->d_name[0] == '.')
                continue;
            std::ifstream in(dir + "/" + e->d_name + "/schedstat");
            long long run = 0;
            if (in >> run)
                ns += run;
        }
        ::closedir(d);
    }
    return static_cast<double>(ns) / 1e6;
}

// Voluntary and involuntary context switches summed over all threads: each wake-up of an idle
// thread counts, so this shows polling that is too small to reach one clock tick of CPU.
long long ContextSwitches(pid_t pid)
{
    const std::string dir = "/proc/" + std::to_string(pid) + "/task";
    long long sum = 0;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* e = ::readdir(d)) {
            if (e->d_name[0] == '.')
                continue;
            std::ifstream in(dir + "/" + e->d_name + "/status");
            std::string line;
            while (std::getline(in, line))
                if (line.rfind("voluntary_ctxt_switches:", 0) == 0 || line.rfind("nonvoluntary_ctxt_switches:", 0) == 0)
                    sum += std::stoll(line.substr(line.find(':') + 1));
        }
        ::closedir(d);
    }
    return sum;
}

bool FileHas(const std::string& path, const std::string& text)
{
    std::ifstream in(path);
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return all.find(text) != std::string::npos;
}

void Usage()
{
    std::fprintf(stderr,
                 "usage: winprobe [--settle MS] [--connect FILE TEXT] [--idle S] [--close [--confirm]] -- program args...\n");
    std::exit(2);
}

} // namespace

int main(int argc, char** argv)
{
    int settleMs = 500;
    std::string connectFile, connectText;
    double idleS = 0;
    bool close = false, confirm = false;
    int i = 1;
    for (; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--") {
            ++i;
            break;
        }
        if (a == "--settle" && i + 1 < argc)
            settleMs = std::atoi(argv[++i]);
        else if (a == "--connect" && i + 2 < argc) {
            connectFile = argv[++i];
            connectText = argv[++i];
        } else if (a == "--idle" && i + 1 < argc)
            idleS = std::atof(argv[++i]);
        else if (a == "--close")
            close = true;
        else if (a == "--confirm")
            confirm = true;
        else
            Usage();
    }
    if (i >= argc)
        Usage();

    SX x;
    int screenNo = 0;
    x.c = xcb_connect(nullptr, &screenNo);
    if (xcb_connection_has_error(x.c))
        Fail(-1, "cannot open the display");
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(x.c));
    for (int s = 0; s < screenNo; ++s)
        xcb_screen_next(&it);
    x.root = it.data->root;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(x.c, x.root, XCB_CW_EVENT_MASK, &mask);
    const xcb_atom_t wmProtocols = x.Atom("WM_PROTOCOLS");
    const xcb_atom_t wmDelete = x.Atom("WM_DELETE_WINDOW");
    const xcb_keycode_t returnKey = x.KeycodeOf(0xff0d);
    xcb_flush(x.c);

    const auto t0 = Clock::now();
    const pid_t child = ::fork();
    if (child < 0)
        Fail(-1, "fork");
    if (child == 0) {
        ::execv(argv[i], argv + i);
        std::perror(argv[i]);
        ::_exit(127);
    }
    const xcb_window_t win = x.AwaitTopLevelMap(20000, child);
    if (win == XCB_WINDOW_NONE)
        Fail(child, "no window within 20 s");
    const double mapMs = MsSince(t0);
    std::printf("map_ms=%.2f\ncpu_to_map_ms=%.2f\nswitches_to_map=%lld\npid=%d\nwindow=0x%x\n", mapMs, CpuMs(child),
                ContextSwitches(child), static_cast<int>(child), win);
    std::fflush(stdout);

    std::this_thread::sleep_for(std::chrono::milliseconds(settleMs));
    std::printf("hwm_kib=%s\nrss_kib=%s\nthreads=%s\n", StatusField(child, "VmHWM").c_str(),
                StatusField(child, "VmRSS").c_str(), StatusField(child, "Threads").c_str());

    if (!connectFile.empty()) {
        auto* g = xcb_get_geometry_reply(x.c, xcb_get_geometry(x.c, win), nullptr);
        if (!g)
            Fail(child, "no geometry");
        const int w = g->width, h = g->height;
        std::free(g);
        // The panel prints no base units, so they are found back from its size: its width is 239
        // dialog units and its height either 361 (expanded) or the collapse marker's bottom,
        // 214 + 8 (collapsed, as it starts without a settings file). The Connect button lies at
        // (128, 32), 56 x 12 dialog units; it is clicked in its middle.
        int bx = 0, by = 0;
        for (int cand = 1; cand < 64 && !bx; ++cand)
            if ((239 * cand + 2) / 4 == w)
                bx = cand;
        const auto my = [](int v, int b) { return (v * b + 4) / 8; };
        // Both heights can fit some unit (361 px is 361 du at 8 px or collapsed at 13 px); a
        // font's height lies between one and three of its average character widths.
        // The collapsed height is tried first, as the panel starts collapsed in a fresh folder.
        for (int cand = bx; cand <= 3 * bx && !by; ++cand)
            if (my(214, cand) + my(8, cand) == h)
                by = cand;
        for (int cand = bx; cand <= 3 * bx && !by; ++cand)
            if (my(361, cand) == h)
                by = cand;
        if (!bx || !by)
            Fail(child, "window size matches no dialog base units");
        const int cx = (128 * bx + 2) / 4 + (56 * bx + 2) / 4 / 2;
        const int cy = my(32, by) + my(12, by) / 2;
        auto* tr = xcb_translate_coordinates_reply(
            x.c, xcb_translate_coordinates(x.c, win, x.root, static_cast<int16_t>(cx), static_cast<int16_t>(cy)),
            nullptr);
        if (!tr)
            Fail(child, "cannot place the click");
        std::printf("base_units=%dx%d\nclick=%d,%d\n", bx, by, tr->dst_x, tr->dst_y);
        const auto tc = Clock::now();
        x.Click(tr->dst_x, tr->dst_y);
        std::free(tr);
        while (!FileHas(connectFile, connectText)) {
            if (MsSince(tc) > 15000)
                Fail(child, "the program did not connect");
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        std::printf("connect_ms=%.2f\n", MsSince(tc));
        // Homing and the first reports take a moment; idling starts after them.
        std::this_thread::sleep_for(std::chrono::milliseconds(3000));
        std::printf("threads_connected=%s\nhwm_kib_connected=%s\n", StatusField(child, "Threads").c_str(),
                    StatusField(child, "VmHWM").c_str());
    }

    if (idleS > 0) {
        const long long cpu0 = CpuTicks(child), cs0 = ContextSwitches(child);
        const auto ti = Clock::now();
        std::this_thread::sleep_for(std::chrono::duration<double>(idleS));
        const long long cpu1 = CpuTicks(child), cs1 = ContextSwitches(child);
        const double seconds = MsSince(ti) / 1000.0;
        const double ticks = static_cast<double>(::sysconf(_SC_CLK_TCK));
        std::printf("idle_s=%.2f\nidle_cpu_pct=%.2f\nidle_wakeups=%lld\n", seconds,
                    100.0 * static_cast<double>(cpu1 - cpu0) / ticks / seconds, cs1 - cs0);
    }

    if (close) {
        xcb_client_message_event_t ev{};
        ev.response_type = XCB_CLIENT_MESSAGE;
        ev.format = 32;
        ev.window = win;
        ev.type = wmProtocols;
        ev.data.data32[0] = wmDelete;
        ev.data.data32[1] = XCB_CURRENT_TIME;
        const auto tq = Clock::now();
        xcb_send_event(x.c, 0, win, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&ev));
        xcb_flush(x.c);
        auto tEnd = tq;
        if (confirm) {
            const xcb_window_t box = x.AwaitTopLevelMap(10000, child);
            if (box == XCB_WINDOW_NONE)
                Fail(child, "no question box");
            std::printf("question_ms=%.2f\n", MsSince(tq));
            // Qt gives the box the input focus itself once it is exposed (there is no window
            // manager); Return must not go out before that.
            const auto tf = Clock::now();
            while (x.Focus() != box) {
                if (MsSince(tf) > 3000)
                    Fail(child, "the question box never got the focus");
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            tEnd = Clock::now();
            x.Key(returnKey);
        }
        int status = 0;
        for (;;) {
            const pid_t r = ::waitpid(child, &status, WNOHANG);
            if (r == child)
                break;
            if (MsSince(tEnd) > 10000)
                Fail(child, "the program did not exit");
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        std::printf("%s=%.2f\nexit_status=%d\n", confirm ? "confirm_to_exit_ms" : "close_to_exit_ms", MsSince(tEnd),
                    WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
    } else {
        ::kill(child, SIGTERM);
        ::waitpid(child, nullptr, 0);
    }
    xcb_disconnect(x.c);
    return 0;
}
