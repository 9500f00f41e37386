#include "AboutBox.h"

#include "DialogUnits.h"

#include <QIcon>
#include <QLabel>
#include <QPushButton>

AboutBox::AboutBox(QWidget* parent) : QDialog(parent)
{
    setWindowTitle("About Quorlex");
    setFixedSize(DialogUnitsToPixels(font(), 0, 0, 235, 55).size());
    auto* icon = new QLabel(this);
    const QRect iconRect = DialogUnitsToPixels(font(), 11, 17, 20, 20);
    icon->setGeometry(iconRect);
    icon->setPixmap(QIcon(":/icons/quorlex.svg").pixmap(iconRect.size().boundedTo(QSize(32, 32))));
    auto* version = new QLabel("Quorlex Version 0.1", this);
    version->setTextFormat(Qt::PlainText);
    version->setGeometry(DialogUnitsToPixels(font(), 40, 10, 119, 8));
    auto* notice = new QLabel("Copyright (C) 2026 Tallowmere", this);
    notice->setGeometry(DialogUnitsToPixels(font(), 40, 25, 119, 8));
    auto* ok = new QPushButton("OK", this);
    ok->setGeometry(DialogUnitsToPixels(font(), 178, 7, 50, 16));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}
