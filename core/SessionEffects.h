#pragma once
// What the stage session asks of its front end, and the few things it reads from it. An effect is
// carried out in the order given: the bytes on the wire, the pauses between them and the texts on
// the panel come out exactly as the session lists them.
#include <array>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// The panel's controls the session speaks of; the front end knows which window each one is.
enum class EControl {
    None,
    ConnectButton,    // "Connect", "Connecting...", "Disconnect"
    ConnectionText,   // "Connected", "Disconnected", "Homing...", "Busy", "Not responding", "Halted"
    StatusButton,     // the owner-drawn status button's text
    Readout,          // "current: (...)"
    StartPoint,
    EndPoint,
    Depth,
    XYDistance,       // the four boxes of the jog: read for every step, written from System.cfg
    ZDistance,
    XYSpeed,
    ZSpeed,
    RetainCheck,      // read: "1" when checked
    OnTopCheck,
};

enum class EBoxStyle {
    Ok,                 // the port box, a failed connection
    OkWarning,          // the controller halted
    OkCancelQuestion,   // "Are you sure you want to exit?"
};

enum class EEffect {
    SendLine,         // text: one whole line, its "\n" included; a failed write is reported back
                      // with WriteFailed() and the rest of the effects are dropped
    Pause,            // number: milliseconds the window thread waits, part of the protocol's timing
    OpenPort,         // open the chosen port at the chosen rate, then report with LineReady()
    PurgePort,        // drop what waits in both directions
    ClosePort,
    ListPorts,        // list the ports again (after a disconnect)
    SetText,          // control, text
    Check,            // control, flag
    ConnectedLook,    // flag: the controls of a connected (or a disconnected) panel and its icon
    MotionControls,   // flag: the motion controls alone
    StatusButton,     // flag: the status button's icon of a connected (or disconnected) panel
    ReadoutLive,      // flag: the read-out and the thumbs show the live position, or dimmed
    Thumbs,           // numbers: the three slider positions, X, Y, Z
    Thumb,            // number: slider position of axis (0..2)
    Box,              // text, caption, style; modal; then BoxClosed()
    Trace,            // text: one entry in the trace log
    Store,            // section, key, text: one setting in System.cfg
    StartTimer,       // the connection timer, one tick a second
    StopTimer,
    TopMost,          // flag: the window stays on top
    ToggleExpander,   // show the other half of the panel (and tell ExpanderToggled())
    CloseWindow,      // the operator confirmed closing
};

struct SEffect {
    SEffect() = default;
    SEffect(EEffect k, EControl c = EControl::None) : kind(k), control(c) {}

    EEffect kind = EEffect::SendLine;
    EControl control = EControl::None;
    bool flag = false;
    int axis = 0;
    std::array<int, 3> numbers{};
    std::string text;
    std::string caption;   // a box's caption; a setting's section
    std::string key;       // a setting's key
    EBoxStyle style = EBoxStyle::Ok;

    int Number() const { return numbers[0]; }
    bool operator==(const SEffect&) const = default;
};

using SEffects = std::vector<SEffect>;

// What the session reads at the moment it needs it, as the panel always did: a setting from
// System.cfg (empty when missing), the text of one of the operator's boxes, a steady clock in ms.
struct SSessionInputs {
    std::function<std::string(std::string_view section, std::string_view key)> setting;
    std::function<std::string(EControl control)> box;
    std::function<long long()> nowMs;
};
