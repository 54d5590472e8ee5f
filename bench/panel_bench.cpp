// How quickly the panel answers the operator and the controller, against the simulated stage on a
// real pseudo-terminal, on Qt's offscreen platform. Prints figures; fails on no time.
//   report -> read-out: a position report leaves the simulator until the read-out shows it (the
//                       panel's deliberate 50 ms wait before reading is part of it; both are printed)
//   key -> first byte:  a jog key event until the step line arrives at the simulator
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <vector>

#include "qt/panel/TarnikMDlg.h"
#include "platform/FileLocations.h"
#include "res/Resource.h"
#include "sim/StageSimulator.h"

namespace {

using Clock = std::chrono::steady_clock;

void Print(const char* what, std::vector<double> ms)
{
    std::sort(ms.begin(), ms.end());
    std::printf("%-34s min %8.3f ms   median %8.3f ms   max %8.3f ms   (%zu runs)\n", what, ms.front(),
                ms[ms.size() / 2], ms.back(), ms.size());
}

std::string TempDir()
{
    std::string templ = (std::filesystem::temp_directory_path() / "tarnik-bench-XXXXXX").string();
    return ::mkdtemp(templ.data()) ? templ + "/" : std::string();
}

bool WaitFor(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(3, std::atoi(argv[1])) : 20;
    const std::string data = TempDir(), devices = TempDir();
    platform::SetDataDirOverride(data);
    platform::SetDeviceDirOverride(devices);

    sim::SSimOptions options;
    options.banner = false;
    options.speedFactor = 0;
    options.comNumber = 1;
    options.portsDir = platform::PortsDir();
    sim::CStageSimulator stage(options);
    if (!stage.Start()) {
        std::fprintf(stderr, "simulator: %s\n", stage.LastError().c_str());
        return 1;
    }
    CTarnikMDlg panel;
    panel.Create();
    panel.show();
    panel.RefreshPortList();   // at once, not after the first paint
    QApplication::setActiveWindow(&panel);
    panel.DlgItem<QAbstractButton>(IDC_BTN_CONNECT)->click();
    if (!WaitFor([&] { return panel.GetDlgItem(IDC_BTN_HOME)->isEnabled(); }, 5000)) {
        std::fprintf(stderr, "the panel did not connect\n");
        return 1;
    }
    QTest::qWait(300);

    std::vector<double> toReadout, toReadoutLessWait;
    for (int i = 0; i < runs; ++i) {
        const std::string x = std::to_string(10 + i) + ".00";
        const QString expected = QStringLiteral("current: (%1 , 1.00 , 2.00 )").arg(QString::fromStdString(x));
        const auto t0 = Clock::now();
        stage.SendRaw("X:" + x + " Y:1.00 Z:2.00 E:0.00 Count X:0 Y:0 Z:0\n");
        if (!WaitFor([&] { return panel.GetDlgItemText(IDC_STATIC_CURPOS) == expected; }, 3000))
            return 1;
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
        toReadout.push_back(ms);
        toReadoutLessWait.push_back(ms - 50.0);
        QTest::qWait(20);
    }

    std::vector<double> keyToByte;
    QWidget* focus = panel.GetDlgItem(IDC_COMBO_XYSPEED);
    focus->setFocus();
    for (int i = 0; i < runs; ++i) {
        stage.SetPosition(100, 100, 100);
        QTest::qWait(150);
        stage.ClearTranscript();
        const auto t0 = Clock::now();
        QTest::keyClick(focus, Qt::Key_Right);
        if (!stage.WaitForLine("G0 X1.00 F5000", 2000))
            return 1;
        for (const auto& line : stage.Transcript())
            if (line.text == "G0 X1.00 F5000")
                keyToByte.push_back(std::chrono::duration<double, std::milli>(line.arrival - t0).count());
    }

    Print("report -> read-out", toReadout);
    Print("report -> read-out, less 50 ms wait", toReadoutLessWait);
    Print("jog key -> step line at controller", keyToByte);
    std::error_code ec;
    std::filesystem::remove_all(data, ec);
    std::filesystem::remove_all(devices, ec);
    return 0;
}
