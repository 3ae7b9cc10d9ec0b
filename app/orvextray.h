#pragma once

#include <QMenu>
#include <QSystemTrayIcon>

class QApplication;

// The application's root object: the tray icon with its menu.
class OrvexTray : public QSystemTrayIcon
{
    Q_OBJECT

public:
    explicit OrvexTray(QApplication *app, QObject *parent = nullptr);

private slots:
    void exitApplication();

private:
    QMenu menu;
};
