#include "ClientApp.h"
#include "DisplayApplication.h"

#include <QApplication>

int main(int argc, char** argv)
{
    const auto application = OpenDisplayApplication(argc, argv);
    ClientApp app;
    app.InitInstance();
    return 0;
}
