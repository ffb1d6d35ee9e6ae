#ifndef DAXMAINWINDOW_H
#define DAXMAINWINDOW_H

#include <QMainWindow>

class QMenu;

// The main window of a desktop program: Qt's, with the frame's standard help menu.
class DaxMainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit DaxMainWindow(QWidget *parent = nullptr);

    // The "Help" menu with "About <program>" and "About Qt", added to the menu bar on first call.
    QMenu *helpMenu();

public Q_SLOTS:
    void showAboutApplication();

private:
    QMenu *m_helpMenu = nullptr;
};

#endif
