// SPDX-License-Identifier: GPL-3.0-or-later
#include "aboutdialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpacerItem>
#include <QVBoxLayout>

AboutDialog::AboutDialog(QWidget *parent)
    : QDialog(parent) {
    setupUi();
    retranslateUi();
    connect(okButton, &QPushButton::clicked, this, &AboutDialog::accept);
}

AboutDialog::~AboutDialog() = default;

void AboutDialog::setupUi() {
    if (objectName().isEmpty())
        setObjectName(QStringLiteral("AboutDialog"));
    resize(549, 408);
    verticalLayout = new QVBoxLayout(this);
    verticalLayout->setObjectName(QStringLiteral("verticalLayout"));
    label = new QLabel(this);
    label->setObjectName(QStringLiteral("label"));
    verticalLayout->addWidget(label);
    verticalSpacer = new QSpacerItem(20, 46, QSizePolicy::Minimum, QSizePolicy::Expanding);
    verticalLayout->addItem(verticalSpacer);
    label_2 = new QLabel(this);
    label_2->setObjectName(QStringLiteral("label_2"));
    verticalLayout->addWidget(label_2);
    label_3 = new QLabel(this);
    label_3->setObjectName(QStringLiteral("label_3"));
    verticalLayout->addWidget(label_3);
    verticalSpacer_2 = new QSpacerItem(20, 29, QSizePolicy::Minimum, QSizePolicy::Expanding);
    verticalLayout->addItem(verticalSpacer_2);
    label_4 = new QLabel(this);
    label_4->setObjectName(QStringLiteral("label_4"));
    verticalLayout->addWidget(label_4);
    label_5 = new QLabel(this);
    label_5->setObjectName(QStringLiteral("label_5"));
    verticalLayout->addWidget(label_5);
    verticalSpacer_3 = new QSpacerItem(20, 9, QSizePolicy::Minimum, QSizePolicy::Expanding);
    verticalLayout->addItem(verticalSpacer_3);
    hboxLayout = new QHBoxLayout();
    hboxLayout->setSpacing(6);
    hboxLayout->setContentsMargins(0, 0, 0, 0);
    hboxLayout->setObjectName(QStringLiteral("hboxLayout"));
    okButton = new QPushButton(this);
    okButton->setObjectName(QStringLiteral("okButton"));
    hboxLayout->addWidget(okButton);
    horizontalSpacer = new QSpacerItem(131, 31, QSizePolicy::Expanding, QSizePolicy::Minimum);
    hboxLayout->addItem(horizontalSpacer);
    verticalLayout->addLayout(hboxLayout);

    label->raise();
    label_2->raise();
    label_3->raise();
    label_4->raise();
    label_5->raise();
}

namespace {

// One centred paragraph as Qt's form designer writes it: the visible text in a span with its
// own style, or, without a span style, the size on the paragraph itself.
QString paragraph(const QString &text, const QString &spanStyle, const QString &fontSize = {}) {
    const QString style = QStringLiteral(" margin-top:0px; margin-bottom:0px; margin-left:0px; "
                                         "margin-right:0px; -qt-block-indent:0; text-indent:0px; "
                                         "font-size:%1;")
                              .arg(fontSize.isEmpty() ? QStringLiteral("8pt") : fontSize);
    const QString body =
        spanStyle.isEmpty()
            ? text.toHtmlEscaped()
            : QStringLiteral("<span style=\"%1\">%2</span>").arg(spanStyle, text.toHtmlEscaped());
    return QStringLiteral("<p align=\"center\" style=\"%1\">%2</p>").arg(style, body);
}

// A whole rich-text document in the form Qt's form designer writes for a label.
QString designerDocument(const QStringList &paragraphs) {
    return QStringLiteral(
               "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0//EN\" "
               "\"http://www.w3.org/TR/REC-html40/strict.dtd\">\n"
               "<html><head><meta name=\"qrichtext\" content=\"1\" /><style type=\"text/css\">\n"
               "p, li { white-space: pre-wrap; }\n"
               "</style></head><body style=\" font-family:'MS Shell Dlg 2'; font-size:8.25pt; "
               "font-weight:400; font-style:normal;\">\n%1</body></html>")
        .arg(paragraphs.join(u'\n'));
}

} // namespace

void AboutDialog::retranslateUi() {
    const QString heading = QStringLiteral(" font-size:20pt; font-style:italic;");
    const QString name = QStringLiteral(" font-size:22pt;");
    setWindowTitle(tr("Dialog"));
    label->setText(designerDocument(
        {paragraph(tr("tarskCJS 1.0"), QStringLiteral(" font-size:24pt; color:#0000ff;"))}));
    label_2->setText(designerDocument({paragraph(tr("Created by"), heading)}));
    label_3->setText(designerDocument(
        {paragraph(tr("TarskCjs Project"), name),
         paragraph(tr("Population Modelling Group"), QString(), QStringLiteral("22pt"))}));
    label_4->setText(designerDocument({paragraph(tr("Funded by"), heading)}));
    label_5->setText(designerDocument({paragraph(tr("TarskCjs Field Research Fund"), name)}));
    okButton->setText(tr("OK"));
}
