#pragma once

#include <QDialog>

#include <string>

class CPortSpin;
class QLineEdit;
class QPushButton;
class QTreeWidget;

// The modal dialog in which the user sees the configured servers and adds
// or deletes them; every change takes effect in the live registry at once.
class CServersDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int DictPort = 2628;

    explicit CServersDlg(QWidget* parent);

    void accept() override;

private:
    QPushButton* AddButton(const QString& text, int x, int y, int w, int h);
    void Place(QWidget* control, int x, int y, int w, int h);
    void PlaceLabel(const QString& text, QWidget* field, int x, int y, int w, int h);
    void CreateControls();
    bool DoDataExchange(bool saveAndValidate);
    void OnInitDialog();
    void RefreshServerList();
    void SetPort(int port);
    void OnAdd();
    void OnDeleteSelected();

    QTreeWidget* m_serverList = nullptr;
    std::string m_strHostName;
    int m_nPortNumber = 0;
    CPortSpin* m_portSpin = nullptr;
    QLineEdit* m_hostEdit = nullptr;
};
