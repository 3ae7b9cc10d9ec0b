#include "managewindow.h"

#include "ui_managewindow.h"

#include "core/peertext.h"
#include "transfer/virtualfile.h"

#include <QCursor>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>

ManageWindow::ManageWindow(const QList<QPair<QString, QString>> &sendList, QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::ManageWindow)
{
    ui->setupUi(this);
    setWindowModality(Qt::ApplicationModal);
    setWindowFlags(windowFlags() | Qt::WindowStaysOnTopHint);
    ui->buttonBox->button(QDialogButtonBox::Ok)->setText(tr("保存"));
    ui->buttonBox->button(QDialogButtonBox::Cancel)->setText(tr("取消"));
    connect(ui->buttonBox, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(ui->buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(this, &QDialog::accepted, this, [this] { emit saveSetting(removed); });

    QHeaderView *header = ui->tableWidget->horizontalHeader();
    header->setSectionResizeMode(0, QHeaderView::Stretch);
    header->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    header->setSectionResizeMode(2, QHeaderView::ResizeToContents);
    connect(ui->up_btn, &QPushButton::clicked, this, &ManageWindow::goToFatherDir);
    connect(ui->tableWidget, &QTableWidget::cellDoubleClicked, this, &ManageWindow::gotoSubDir);
    connect(ui->tableWidget, &QWidget::customContextMenuRequested, this, &ManageWindow::showMenu);
    menu.addAction(tr("删除"), this, &ManageWindow::removeItem);

    // The same actions from the keyboard, and a line that tells of them: a context menu alone
    // is found by few.
    ui->up_btn->setAccessibleName(tr("上一级"));
    ui->up_btn->setToolTip(tr("上一级"));
    const auto onTable = [this](const QKeySequence &keys, auto slot) {
        auto *shortcut = new QShortcut(keys, ui->tableWidget, nullptr, nullptr, Qt::WidgetShortcut);
        connect(shortcut, &QShortcut::activated, this, slot);
    };
    onTable(QKeySequence::Delete, &ManageWindow::removeItem);
    onTable(QKeySequence(Qt::Key_Backspace), &ManageWindow::goToFatherDir);
    onTable(QKeySequence(Qt::Key_Return), [this] { gotoSubDir(ui->tableWidget->currentRow(), 0); });
    onTable(QKeySequence(Qt::Key_Enter), [this] { gotoSubDir(ui->tableWidget->currentRow(), 0); });
    auto *hint
        = new QLabel(tr("右键单击或按 Delete 删除所选项；双击或按 Enter 打开文件夹，Backspace 返回上一级"), this);
    hint->setObjectName(QStringLiteral("hint_label"));
    hint->setWordWrap(true);
    ui->verticalLayout_2->insertWidget(ui->verticalLayout_2->indexOf(ui->buttonBox), hint);
    ui->tableWidget->setFocus(Qt::OtherFocusReason);

    root = new VirtualFile(QStringLiteral("/"), nullptr, this);
    for (int i = 0; i < sendList.size(); ++i)
        root->insert(sendList.at(i).first.split(QLatin1Char('/')), i, sendList.at(i).first, sendList.at(i).second);
    current = root;
    showFolder();
}

ManageWindow::~ManageWindow()
{
    delete ui;
}

void ManageWindow::showFolder()
{
    QTableWidget *table = ui->tableWidget;
    table->clearContents();
    ui->address->setTextFormat(Qt::PlainText);
    ui->address->setText(peerText(current->path));
    table->setRowCount(current->folders.size() + current->files.size());
    int row = 0;
    for (auto it = current->folders.cbegin(); it != current->folders.cend(); ++it, ++row) {
        table->setItem(row, 0, new QTableWidgetItem(QIcon(QStringLiteral(":/icons/dir.png")), peerText(it.key())));
        table->setItem(row, 1, new QTableWidgetItem(tr("文件夹")));
        table->setItem(row, 2, new QTableWidgetItem(QString()));
    }
    for (const VirtualFile *file : qAsConst(current->files)) {
        const QString name = file->filePath.section(QLatin1Char('/'), -1);
        table->setItem(row, 0, new QTableWidgetItem(QIcon(QStringLiteral(":/icons/file.png")), peerText(name)));
        table->setItem(row, 1, new QTableWidgetItem(tr("文件")));
        table->setItem(row, 2, new QTableWidgetItem(file->sizeText));
        ++row;
    }
}

void ManageWindow::gotoSubDir(int row, int col)
{
    Q_UNUSED(col)
    if (row < 0 || row >= current->folders.size())
        return;
    current = std::next(current->folders.cbegin(), row).value();
    showFolder();
}

void ManageWindow::goToFatherDir()
{
    if (!current->parentFolder) {
        QMessageBox::critical(this, tr("错误"), tr("已经是根目录了！"));
        return;
    }
    current = current->parentFolder;
    showFolder();
}

void ManageWindow::showMenu(QPoint pos)
{
    QTableWidgetItem *item = ui->tableWidget->itemAt(pos);
    if (!item)
        return;
    ui->tableWidget->setCurrentItem(item);
    menu.popup(QCursor::pos());
}

void ManageWindow::removeItem()
{
    const int row = ui->tableWidget->currentRow();
    if (row < 0)
        return;
    if (row < current->folders.size()) {
        const auto it = std::next(current->folders.begin(), row);
        VirtualFile *folder = it.value();
        removed.append(folder->collectIndexes());
        current->folders.erase(it);
        folder->deleteLater();
    } else if (row - current->folders.size() < current->files.size()) {
        VirtualFile *file = current->files.takeAt(row - current->folders.size());
        removed.append(file->index);
        file->deleteLater();
    }
    showFolder();
}
