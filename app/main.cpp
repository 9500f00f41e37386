#include "ClientApp.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    ClientApp app;
    app.InitInstance();
    return 0;
}
