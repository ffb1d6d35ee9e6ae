#include "daxmainwindow.h"
#include "daxappaboutdata.h"
#include "daxappi18n.h"

#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>

DaxMainWindow::DaxMainWindow(QWidget *parent)
    : QMainWindow(parent)
{
}

QMenu *DaxMainWindow::helpMenu()
{
    if (m_helpMenu) {
        return m_helpMenu;
    }
    const DaxAppAboutData about = DaxAppAboutData::applicationData();
    m_helpMenu = menuBar()->addMenu(i18n("&Help"));
    m_helpMenu->setObjectName(QStringLiteral("help"));
    QAction *aboutApp = m_helpMenu->addAction(i18n("&About %1", about.displayName()));
    aboutApp->setObjectName(QStringLiteral("help_about_app"));
    connect(aboutApp, &QAction::triggered, this, &DaxMainWindow::showAboutApplication);
    QAction *aboutQt = m_helpMenu->addAction(i18n("About &Qt"));
    aboutQt->setObjectName(QStringLiteral("help_about_qt"));
    connect(aboutQt, &QAction::triggered, qApp, &QApplication::aboutQt);
    return m_helpMenu;
}

void DaxMainWindow::showAboutApplication()
{
    const DaxAppAboutData about = DaxAppAboutData::applicationData();
    QString text = QStringLiteral("<h3>%1 %2</h3><p>%3</p>")
                       .arg(about.displayName().toHtmlEscaped(), about.version().toHtmlEscaped(),
                            about.shortDescription().toHtmlEscaped());
    for (const DaxAppAboutData::Person &person : about.authors()) {
        text += QStringLiteral("<p>%1<br/>%2</p>").arg(person.name.toHtmlEscaped(), person.task.toHtmlEscaped());
    }
    QMessageBox::about(this, i18n("About %1", about.displayName()), text);
}
