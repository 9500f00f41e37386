// The child of the durability test: one DictConnection to the scripted
// server at 127.0.0.1:PORT, run until it is killed.
#include "DictConnection.h"
#include "TreeCtrl.h"

#include <QApplication>
#include <QTreeWidget>

#include <cstdlib>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 2)
        return 2;
    QTreeWidget widget;
    TreeCtrl tree(&widget);
    DictConnection connection("127.0.0.1", std::atoi(argv[1]));
    connection.InsertRootItem(&tree);
    connection.Create();
    connection.ConnectToServer();
    return app.exec();
}
