#pragma once

#include <QDialog>
#include <QList>
#include <QMenu>
#include <QPair>
#include <QString>

class VirtualFile;

namespace Ui {
class ManageWindow;
}

// Shows the send list as a folder tree built from the relative names, lets the user remove files
// or whole folders, and on "保存" reports the send-list positions of everything removed.
class ManageWindow : public QDialog
{
    Q_OBJECT

public:
    ManageWindow(const QList<QPair<QString, QString>> &sendList, QWidget *parent);
    ~ManageWindow() override;

signals:
    void saveSetting(QList<int> deleteIndexs);

private slots:
    void goToFatherDir();
    void gotoSubDir(int row, int col);
    void showMenu(QPoint pos);
    void removeItem();

private:
    void showFolder();

    Ui::ManageWindow *ui;
    VirtualFile *root;
    VirtualFile *current;
    QMenu menu;
    QList<int> removed;
};
