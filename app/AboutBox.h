#pragma once

#include <QDialog>

// "About Quorlex": the application icon, the version and the maker's line.
class AboutBox : public QDialog {
public:
    explicit AboutBox(QWidget* parent);
};
