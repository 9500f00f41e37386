// Any byte stream, cut into reads where the input says, through line
// cutting, decoding, every reply handler and the tree. The same stream read
// in one piece must give the same lines, transcript records and stores.
//
// Input: one byte whose low two bits are the number of searches made before
// the stream arrives, then chunks, each a length byte and that many bytes.

#include "DictConnection.h"
#include "TreeCtrl.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTreeWidget>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Harness {
    Harness()
    {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "fuzz";
        static char* argv[] = {name, nullptr};
        app = new QApplication(argc, argv);
        server.listen(QHostAddress::Any);
        widget = new QTreeWidget;
        tree = new TreeCtrl(widget);
    }
    QApplication* app;
    QTcpServer server;
    QTreeWidget* widget;
    TreeCtrl* tree;
};

Harness& TheHarness()
{
    static Harness* harness = new Harness;
    return *harness;
}

// Connected to a server that never speaks, so that commands are sent and
// their replies expected, while the bytes come from the input.
class FuzzedConnection {
public:
    FuzzedConnection(const std::string& host, int searches) : m_connection(host, TheHarness().server.serverPort())
    {
        Harness& h = TheHarness();
        m_connection.InsertRootItem(h.tree);
        m_connection.Create();
        m_connection.ConnectToServer();
        QElapsedTimer timer;
        timer.start();
        while (!m_connection.IsConnected() && timer.elapsed() < 2000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (!m_connection.IsConnected())
            std::abort();
        for (int i = 0; i < searches; ++i)
            m_connection.Define(i % 2 ? "ice cream" : "apple");
        m_host = host;
    }
    ~FuzzedConnection()
    {
        m_connection.RemoveRootItem();
        while (QTcpSocket* peer = TheHarness().server.nextPendingConnection())
            delete peer;
    }
    bool Receive(const std::string& bytes)
    {
        return m_connection.ReceiveBytes(bytes.data(), static_cast<int>(bytes.size()));
    }

    // The lines and commands recorded, the root's image, and every
    // database node with its image and stored text.
    std::string Snapshot()
    {
        std::ostringstream out;
        m_connection.FlushRecords();
        std::ifstream transcript(m_host + ".log", std::ios::binary);
        std::string record;
        while (std::getline(transcript, record))
            if (record.rfind("[in ] ", 0) == 0 || record.rfind("[out] ", 0) == 0)
                out << record << '\n';
        TreeCtrl& tree = *TheHarness().tree;
        const HTREEITEM root = m_connection.GetRootItem();
        out << "root " << tree.GetItemImage(root) << '\n';
        for (int i = 0; i < tree.GetChildCount(root); ++i) {
            const HTREEITEM node = tree.GetChildItem(root, i);
            out << tree.GetItemText(node) << ' ' << tree.GetItemImage(node) << '\n'
                << m_connection.GetDefinitions(node);
        }
        return out.str();
    }

private:
    DictConnection m_connection;
    std::string m_host;
};

std::vector<std::string> Chunks(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::string> chunks;
    std::size_t i = 0;
    while (i < size) {
        const std::size_t n = std::min<std::size_t>(data[i], size - i - 1);
        if (n > 0)
            chunks.emplace_back(reinterpret_cast<const char*>(data + i + 1), n);
        i += n + 1;
    }
    return chunks;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const int searches = data[0] & 3;
    const std::vector<std::string> chunks = Chunks(data + 1, size - 1);
    std::string whole;
    for (const std::string& chunk : chunks)
        whole += chunk;

    FuzzedConnection cut("127.0.0.1", searches);
    for (const std::string& chunk : chunks)
        if (!cut.Receive(chunk))
            break;
    FuzzedConnection joined("127.0.0.2", searches);
    if (!whole.empty())
        joined.Receive(whole);

    if (cut.Snapshot() != joined.Snapshot())
        std::abort();
    return 0;
}
