#include "tests/support/StageFixture.h"

#include <QElapsedTimer>

#include "platform/FileLocations.h"
#include "res/Resource.h"
#include "qt/serial/SerialWnd.h"
#include "tests/support/Wait.h"

void CStageTest::TearDown()
{
    CPanelTest::TearDown();
    m_stage.reset();
}

sim::SSimOptions CStageTest::Quiet()
{
    sim::SSimOptions options;
    options.banner = false;
    options.speedFactor = 0;
    return options;
}

sim::CStageSimulator& CStageTest::StartStage(sim::SSimOptions options)
{
    options.portsDir = platform::PortsDir();
    if (options.comNumber == 0)
        options.comNumber = 1;
    m_stage = std::make_unique<sim::CStageSimulator>(options);
    EXPECT_TRUE(m_stage->Start()) << m_stage->LastError();
    return *m_stage;
}

void CStageTest::ConnectPanel()
{
    ASSERT_TRUE(m_panel);
    ASSERT_EQ(Text(IDC_COMBO_PORT), QString::fromStdString(m_stage->ComName()));
    Click(IDC_BTN_CONNECT);
    ASSERT_EVENTUALLY_EQ(Text(IDC_BTN_CONNECT), QStringLiteral("Disconnect"), 5000);
    ASSERT_EVENTUALLY(Enabled(IDC_BTN_HOME), 5000);
    ASSERT_TRUE(m_stage->WaitUntilIdle(5000));
    LinesAfterQuiet();
    Forget();
}

std::vector<std::string> CStageTest::Lines() const
{
    std::vector<std::string> lines;
    for (const auto& t : m_stage->TranscriptTexts())
        lines.push_back(t + "\n");
    return lines;
}

bool CStageTest::WaitForLines(size_t count, int timeoutMs) const
{
    return WaitUntil([&] { return m_stage->Transcript().size() >= count; }, timeoutMs);
}

std::vector<std::string> CStageTest::LinesAfterQuiet(int holdMs)
{
    // The line is at rest once the simulator has answered all it got and the panel has read all of
    // it (a panel without an open port reads nothing: what waits for it then does not count);
    // holding that for holdMs covers bytes still inside the kernel between the two ends. A stage
    // that is gone cannot tell: then only the hold is waited.
    QElapsedTimer restingFor;
    const auto restedLongEnough = [&] {
        const bool bReading = m_panel && m_panel->m_pSerial && m_panel->m_pSerial->IsOpen();
        if (m_stage->Serving() && !(m_stage->Settled() && (!bReading || m_stage->UnreadByClient() == 0)))
            restingFor.invalidate();
        else if (!restingFor.isValid())
            restingFor.start();
        return restingFor.isValid() && restingFor.elapsed() >= holdMs;
    };
    EXPECT_TRUE(WaitUntil(restedLongEnough, 5000)) << "the line never came to rest";
    return Lines();
}

void CStageTest::Forget()
{
    m_stage->ClearTranscript();
}

void CStageTest::ReportPosition(double x, double y, double z)
{
    const float fx = static_cast<float>(x), fy = static_cast<float>(y), fz = static_cast<float>(z);
    const auto shown = [&] { return m_panel->m_fPosX == fx && m_panel->m_fPosY == fy && m_panel->m_fPosZ == fz; };
    // A line the controller has taken but not yet carried out may still move the stage after we put
    // it somewhere: let it settle, and ask again if the report shows otherwise.
    for (int attempt = 0; attempt < 5 && !shown(); ++attempt) {
        ASSERT_TRUE(m_stage->WaitUntilIdle(5000));
        LinesAfterQuiet();
        m_stage->SetPosition(x, y, z);
        m_panel->m_pSerial->WriteText("M114\n");
        WaitUntil(shown, 2000);
    }
    ASSERT_TRUE(shown()) << "the panel never showed " << x << ", " << y << ", " << z;
    LinesAfterQuiet();
    Forget();
}

void CConnectedStageTest::SetUp()
{
    CStageTest::SetUp();
    StartStage();
    OpenPanel();
    ConnectPanel();
}
