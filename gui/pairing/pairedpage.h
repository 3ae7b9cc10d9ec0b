#pragma once

#include <QWidget>

class QLabel;
class QTableWidget;
class QTableWidgetItem;

// The main window's "已配对的设备" page: every paired device with its name, fingerprint and last
// address, renamed in place, unpaired, and its automatic accept turned on or off. Each change goes
// to the store at once, so the next offer already sees it.
class PairedPage : public QWidget
{
    Q_OBJECT

public:
    enum Column { NameColumn, FingerprintColumn, AddressColumn, AutoAcceptColumn, ActionsColumn, ColumnCount };

    explicit PairedPage(QWidget *parent = nullptr);

    // Reads the store again and rebuilds the rows.
    void reload();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void nameEdited(QTableWidgetItem *item);

    QTableWidget *table;
    QLabel *emptyHint;
    // Rows are being built: their items' changes are no user's edits.
    bool filling = false;
};
