#include "CServersDlg.h"

#include "CPortSpin.h"
#include "ConnectionRegistry.h"
#include "ControlCharacter.h"
#include "DialogUnits.h"
#include "HelpRequest.h"
#include "MessageBox.h"
#include "Utf8Text.h"

#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

#include <algorithm>
#include <map>

namespace {
constexpr int HostRole = Qt::UserRole;
}  // namespace

CServersDlg::CServersDlg(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("CServersDlg"));
    setWindowTitle(QStringLiteral("Configure DICT Servers"));
    setFixedSize(DialogUnitsToPixels(font(), 0, 0, 373, 212).size());
    CreateControls();
    OnInitDialog();
}

// A label tied to its field, which screen readers then name by it. Our
// font sets text wider than the template's did: where its rectangle is too
// narrow the label grows to the right, into the gap before its field.
void CServersDlg::PlaceLabel(const QString& text, QWidget* field, int x, int y, int w, int h)
{
    auto* label = new QLabel(text, this);
    label->setBuddy(field);
    field->setAccessibleName(QString(text).remove(u':'));
    QRect rect = DialogUnitsToPixels(font(), x, y, w, h);
    rect.setWidth(std::max(rect.width(), label->sizeHint().width()));
    label->setGeometry(rect);
}

void CServersDlg::Place(QWidget* control, int x, int y, int w, int h)
{
    control->setGeometry(DialogUnitsToPixels(font(), x, y, w, h));
}

QPushButton* CServersDlg::AddButton(const QString& text, int x, int y, int w, int h)
{
    auto* button = new QPushButton(text, this);
    Place(button, x, y, w, h);
    return button;
}

// In the order of the dialog template, which is also the tab order.
void CServersDlg::CreateControls()
{
    QPushButton* close = AddButton(QStringLiteral("&Close"), 7, 191, 50, 14);
    close->setObjectName(QStringLiteral("closeButton"));
    close->setDefault(true);
    connect(close, &QPushButton::clicked, this, &CServersDlg::accept);
    Place(new QGroupBox(QStringLiteral("Configured Servers"), this), 7, 7, 359, 136);
    Place(new QGroupBox(QStringLiteral("New Server"), this), 7, 145, 359, 40);

    m_serverList = new QTreeWidget(this);
    m_serverList->setObjectName(QStringLiteral("serverList"));
    Place(m_serverList, 14, 18, 343, 100);
    m_hostEdit = new QLineEdit(this);
    m_hostEdit->setObjectName(QStringLiteral("hostName"));
    Place(m_hostEdit, 93, 159, 99, 14);
    // The field and its up-down arrows are one control here.
    m_portSpin = new CPortSpin(this);
    m_portSpin->setObjectName(QStringLiteral("portNumber"));
    Place(m_portSpin, 245, 159, 51, 14);
    PlaceLabel(QStringLiteral("Host Name/IP Address:"), m_hostEdit, 15, 162, 76, 8);
    PlaceLabel(QStringLiteral("Port Number:"), m_portSpin, 199, 162, 44, 8);
    m_serverList->setAccessibleName(QStringLiteral("Configured Servers"));

    QPushButton* add = AddButton(QStringLiteral("&Add"), 307, 159, 50, 14);
    add->setObjectName(QStringLiteral("addButton"));
    connect(add, &QPushButton::clicked, this, &CServersDlg::OnAdd);
    QPushButton* remove = AddButton(QStringLiteral("&Delete Selected"), 14, 121, 67, 14);
    remove->setObjectName(QStringLiteral("deleteButton"));
    connect(remove, &QPushButton::clicked, this, &CServersDlg::OnDeleteSelected);
    QPushButton* help = AddButton(QStringLiteral("&Help"), 316, 191, 50, 14);
    help->setObjectName(QStringLiteral("helpButton"));
    connect(help, &QPushButton::clicked, this, [] { RequestHelp(); });

    const QList<QWidget*> tabOrder{close, m_serverList, m_hostEdit, m_portSpin, add, remove, help};
    for (qsizetype i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);
    close->setFocus();
}

// Text of the host field as typed, then the port field's number. A port
// field without a whole number is refused as the platform's exchange does:
// a prompt, the focus back in the field, the previous number kept.
bool CServersDlg::DoDataExchange(bool saveAndValidate)
{
    if (!saveAndValidate) {
        m_hostEdit->setText(QString::fromStdString(m_strHostName));
        m_portSpin->setValue(m_nPortNumber);
        return true;
    }
    m_strHostName = m_hostEdit->text().toStdString();
    bool isNumber = false;
    const int port = m_portSpin->cleanText().toInt(&isNumber);
    if (!isNumber) {
        ShowMessageBox(this, "Please enter an integer.", "Quorlex", MessageIcon::Warning);
        m_portSpin->setFocus();
        m_portSpin->selectAll();
        return false;
    }
    m_nPortNumber = port;
    return true;
}

void CServersDlg::OnInitDialog()
{
    DoDataExchange(false);
    m_serverList->setColumnCount(2);
    m_serverList->setHeaderLabels({QStringLiteral("Host name"), QStringLiteral("Port number")});
    m_serverList->setColumnWidth(0, 300);
    m_serverList->setColumnWidth(1, 128);
    m_serverList->setRootIsDecorated(false);
    m_serverList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_serverList->setSortingEnabled(true);
    m_serverList->sortByColumn(0, Qt::AscendingOrder);
    // Sorted by host, but the headings are not buttons.
    m_serverList->header()->setSectionsClickable(false);
    m_serverList->header()->setSortIndicatorShown(false);
    m_serverList->header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    SetPort(DictPort);
    RefreshServerList();
}

void CServersDlg::accept()
{
    if (DoDataExchange(true))
        QDialog::accept();
}

void CServersDlg::RefreshServerList()
{
    m_serverList->clear();
    std::map<std::string, int> hostPorts;
    ConnectionRegistry::Instance().CopyHostPorts(hostPorts);
    // The list's ascending sort places each row by its host text. The row
    // keeps the host's exact bytes too, which its text may not give back.
    for (const auto& [host, port] : hostPorts) {
        auto* row = new QTreeWidgetItem({Utf8Text(host), QString::number(port)});
        row->setData(0, HostRole, QByteArray::fromStdString(host));
        m_serverList->insertTopLevelItem(0, row);
    }
}

void CServersDlg::SetPort(int port)
{
    m_nPortNumber = port;
    m_portSpin->setValue(port);
}

void CServersDlg::OnAdd()
{
    if (!DoDataExchange(true) || m_strHostName.empty())
        return;
    // A host name becomes the transcript's file name: a NUL would cut it.
    if (HoldsControlCharacter(m_strHostName)) {
        ShowMessageBox(this, "Host name must not contain control characters", "Information", MessageIcon::Information);
        return;
    }
    ConnectionRegistry& registry = ConnectionRegistry::Instance();
    if (registry.HasServer(m_strHostName)) {
        ShowMessageBox(this, "This server has already been added", "Information", MessageIcon::Information);
        return;
    }
    if (m_nPortNumber < CPortSpin::LowestPort || m_nPortNumber > CPortSpin::HighestPort) {
        ShowMessageBox(this, "Port number must be between 1 and 65535 inclusive", "Information",
                       MessageIcon::Information);
        SetPort(DictPort);
        return;
    }
    registry.AddServer(m_strHostName, m_nPortNumber);
    SetPort(DictPort);
    m_strHostName.clear();
    RefreshServerList();
    DoDataExchange(false);
}

void CServersDlg::OnDeleteSelected()
{
    const QList<QTreeWidgetItem*> selected = m_serverList->selectedItems();
    if (selected.isEmpty())
        return;
    ConnectionRegistry::Instance().RemoveServer(selected.first()->data(0, HostRole).toByteArray().toStdString());
    RefreshServerList();
}
