#pragma once
// The real panel against the simulated stage on a real pseudo-terminal: the simulator registers as
// COM1 in the panel's own ports/ folder, and the tests read what it received, line by line.
#include <string>
#include <vector>

#include "sim/StageSimulator.h"
#include "tests/support/PanelFixture.h"

class CStageTest : public CPanelTest {
protected:
    void TearDown() override;

    // Starts the simulator (instant moves, no banner unless asked) on the panel's ports/ folder.
    sim::CStageSimulator& StartStage(sim::SSimOptions options = Quiet());
    static sim::SSimOptions Quiet();

    // Presses Connect and waits for the panel's connected look; then forgets what was sent so far.
    void ConnectPanel();
    // The lines the simulator received since the last Forget(), each with its "\n" put back.
    std::vector<std::string> Lines() const;
    // Waits until the simulator has received count lines (since the last Forget()).
    bool WaitForLines(size_t count, int timeoutMs = 5000) const;
    // Waits until the line has been at rest for holdMs (both ends have read and answered all), then
    // gives Lines().
    std::vector<std::string> LinesAfterQuiet(int holdMs = 50);
    void Forget();
    // Lets the simulator report a position, and waits until the panel shows it.
    void ReportPosition(double x, double y, double z);

    std::unique_ptr<sim::CStageSimulator> m_stage;
};

// The panel already connected to a quiet simulated stage when the test begins.
class CConnectedStageTest : public CStageTest {
protected:
    void SetUp() override;
};

// Wire lines as the tests write them: {"G21\n", "G91\n", ...}.
using WireLines = std::vector<std::string>;
