#include "app/mainwindow.h"
#include "app/startup.h"

int main(int argc, char **argv)
{
    return varno::runApplication(argc, argv, []() -> QWidget * { return new MainWindow(nullptr); });
}
