// The baud-rate list: the rates offered, the one System.cfg keeps, and the one Connect uses.
#include <QComboBox>

#include "qt/panel/ConfigFile.h"
#include "qt/panel/TarnikMDlg.h"
#include "res/Resource.h"

namespace {

// The first is the rate when nothing is stored, or something the list does not offer.
constexpr DWORD kBaudRates[] = {115200, 250000, 230400, 500000, 1000000, 57600};

const QString kConnection = QStringLiteral("Connection");
const QString kBaud = QStringLiteral("Baud");

} // namespace

void CTarnikMDlg::FillBaudList()
{
    QComboBox* list = m_cmbBaud;
    list->clear();
    for (DWORD rate : kBaudRates)
        list->addItem(QString::number(rate));
    const QString stored = ReadConfigString(g_strConfigFile, kConnection, kBaud).trimmed();
    list->setCurrentIndex(qMax(0, list->findText(stored)));
}

void CTarnikMDlg::OnCbnSelchangeBaud()
{
    WriteConfigString(g_strConfigFile, kConnection, kBaud, QString::number(SelectedBaud()));
}

DWORD CTarnikMDlg::SelectedBaud() const
{
    const QString text = GetDlgItemText(IDC_COMBO_BAUD);
    for (DWORD rate : kBaudRates)
        if (text == QString::number(rate))
            return rate;
    return kBaudRates[0];
}
