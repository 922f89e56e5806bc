#include "app/startup.h"
#include "app/welcomeform.h"

#include <QCoreApplication>
#include <QMainWindow>

int main(int argc, char **argv)
{
    return varno::runApplication(argc, argv, []() -> QWidget * {
        // Stands in for MainWindow until it lands: the welcome page in a plain window.
        auto *window = new QMainWindow;
        window->setWindowTitle(QCoreApplication::translate("MainWindow", "VARNO Device Manager"));
        window->setWindowIcon(QIcon(QStringLiteral(":/images/logo.png")));
        window->setCentralWidget(new WelcomeForm(window));
        window->resize(800, 600);
        return window;
    });
}
