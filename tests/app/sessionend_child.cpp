// The program as main() runs it, on the folder given, with a requirement typed into the panel.
// Prints "ready" once the window is shown and the requirement added; then waits to be ended.
#include "appdirectory.h"
#include "application.h"
#include "mainwindow.h"

#include <QApplication>
#include <QLineEdit>

#include <cstdio>

using namespace Qt::StringLiterals;

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc != 2)
        return 2;
    Velmora::setApplicationDirectoryOverride(QString::fromLocal8Bit(argv[1]));
    return Velmora::runProgram(nullptr, [](Velmora::MainWindow &window) {
        window.constraintNamesEdit->setText(u"张伟 王芳"_s);
        window.addConstraint();
        std::puts("ready");
        std::fflush(stdout);
    });
}
