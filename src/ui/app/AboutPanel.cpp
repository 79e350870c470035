#include "ui/app/AboutPanel.h"

#include "core/app/AppInfo.h"
#include "core/localisation/Lang.h"
#include "ui/style/AppIcons.h"

#include <QApplication>
#include <QFontInfo>
#include <QLabel>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

QString esc(const QString &text) {
    return text.toHtmlEscaped();
}

// The chosen text size, which the application's font carries.
double textPixels() {
    const QFont f = QApplication::font();
    return f.pixelSize() > 0 ? f.pixelSize() : QFontInfo(f).pixelSize();
}

} // namespace

AboutPanel::AboutPanel(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("aboutPanel"));
    rebuild();
}

AboutPanel *AboutPanel::openPanel() {
    static QPointer<AboutPanel> one;
    if (!one) {
        one = new AboutPanel();
        one->setAttribute(Qt::WA_DeleteOnClose);
    } else {
        one->rebuild();
    }
    one->show();
    one->raise();
    one->activateWindow();
    return one;
}

QString AboutPanel::creditsHtml() {
    const QString p = QStringLiteral("<p style=\"margin-bottom:2px\" align=\"center\">");
    QString html;
    // A little larger than the text around it, whatever the chosen size.
    const int lead = int(std::lround(textPixels() * 1.12));
    html += p + QStringLiteral("<span style=\"font-size:%1px;font-weight:500\">").arg(lead) +
            esc(L("Dateimanager für Linux mit eingebauter macOS-Tastaturbelegung und Tastenkürzeln")) +
            QStringLiteral("</span></p>");
    html += p + QStringLiteral("<span style=\"font-weight:600;color:palette(highlight)\">") +
            esc(L("Mit Terminal-Hilfe zum Nachschlagen")) + QStringLiteral("</span></p>");
    html += p + esc(L("Entwickler")) + QStringLiteral(": <b>") + esc(AppInfo::developer()) +
            QStringLiteral("</b></p>");
    html +=
        p + esc(L("Datum")) + QStringLiteral(": <b>") + esc(AppInfo::dateText()) + QStringLiteral("</b></p>");
    html += QStringLiteral("<p style=\"margin-top:6px\" align=\"center\"><i>") +
            esc(L("Zwei Fenster, ein Gedanke.")) + QStringLiteral("</i></p>");
    return html;
}

void AboutPanel::rebuild() {
    setWindowTitle(L("Über Kestrin"));
    delete layout();
    for (QObject *child : children())
        if (child->isWidgetType()) delete child;
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(24, 20, 24, 20);
    column->setSpacing(6);

    auto *icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("aboutIcon"));
    icon->setPixmap(AppIcons::appIcon().pixmap(64, 64));
    icon->setAlignment(Qt::AlignCenter);
    column->addWidget(icon);

    auto *name = new QLabel(AppInfo::name, this);
    name->setObjectName(QStringLiteral("aboutName"));
    QFont big = name->font();
    big.setBold(true);
    big.setPixelSize(int(std::lround(textPixels() * 1.4)));
    name->setFont(big);
    name->setAlignment(Qt::AlignCenter);
    column->addWidget(name);

    auto *version = new QLabel(LF("Version %@", AppInfo::version) + QStringLiteral(" (") + AppInfo::serial +
                                   QStringLiteral(")"),
                               this);
    version->setObjectName(QStringLiteral("aboutVersion"));
    version->setAlignment(Qt::AlignCenter);
    version->setTextFormat(Qt::PlainText);
    column->addWidget(version);

    auto *credits = new QLabel(creditsHtml(), this);
    credits->setObjectName(QStringLiteral("aboutCredits"));
    credits->setTextFormat(Qt::RichText);
    credits->setAlignment(Qt::AlignCenter);
    credits->setWordWrap(true);
    column->addWidget(credits);

    auto *copyright = new QLabel(QStringLiteral("© 2026 ") + AppInfo::developer(), this);
    copyright->setAlignment(Qt::AlignCenter);
    copyright->setTextFormat(Qt::PlainText);
    QFont small = copyright->font();
    small.setPixelSize(int(std::lround(std::max(10.0, textPixels() - 2))));
    copyright->setFont(small);
    column->addWidget(copyright);
    setFixedWidth(int(std::lround(360 * std::max(1.0, textPixels() / 13))));
}
