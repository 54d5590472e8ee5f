#pragma once
// The real panel, created in a folder of its own (System.cfg, the log and ports/ live there) and
// with an empty device folder, so that no serial device of the host machine shows up.
#include <QString>
#include <QStringList>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

#include "qt/panel/TarnikMDlg.h"
#include "tests/support/TestFiles.h"

// Answers the message boxes that come up while it lives: records each and presses a button.
class CMessageBoxAnswerer {
public:
    struct SSeen {
        QString text, caption;
        QStringList buttons;
        int icon = 0;   // QMessageBox::Icon
    };
    // answer: the text of the button to press ("OK", "Cancel").
    explicit CMessageBoxAnswerer(QString answer = QStringLiteral("OK"));
    ~CMessageBoxAnswerer();
    void SetAnswer(const QString& answer) { m_answer = answer; }
    // Runs while a box is up, before it is answered (the box's event loop keeps turning).
    void SetWhileShown(std::function<void()> whileShown) { m_whileShown = std::move(whileShown); }
    const std::vector<SSeen>& Seen() const { return m_seen; }

private:
    void Poll();
    QString m_answer;
    std::function<void()> m_whileShown;
    std::vector<SSeen> m_seen;
    class QTimer* m_timer;
};

class CPanelTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Creates, initialises and shows the panel (after the test has prepared System.cfg), and lists
    // the ports at once unless told to leave that to the panel (it does after its first paint).
    CTarnikMDlg& OpenPanel(bool listPortsAtOnce = true);
    void ClosePanel();
    CTarnikMDlg& Panel() { return *m_panel; }

    std::string ConfigPath() const { return m_dir.File("System.cfg"); }
    std::string Config() const { return ReadWholeFile(ConfigPath()); }
    void WriteConfig(const std::string& text) const { WriteWholeFile(ConfigPath(), text); }
    // The trace log goes to TarnikS_log.txt in the test's folder, without time stamps.
    void CaptureLog();
    std::string Log() const { return ReadWholeFile(m_dir.File("TarnikS_log.txt")); }
    QString Text(int id) const { return m_panel->GetDlgItemText(id); }
    bool Enabled(int id) const;
    void Click(int id);

    CTempDir m_dir;
    CTempDir m_devices;
    std::unique_ptr<CTarnikMDlg> m_panel;
};
