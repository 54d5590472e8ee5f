#include <QApplication>

#include "qt/app/TarnikMApp.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("TarnikS"));
    theApp.InitInstance();
    return 0;
}
