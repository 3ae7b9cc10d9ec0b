#include "sendfilewindow.h"

#include "ui_sendfilewindow.h"

#include "core/peertext.h"
#include "gui/transfer/managewindow.h"
#include "gui/transfer/progressbarui.h"
#include "transfer/outgoingtransfer.h"
#include "transfer/sendercontext.h"
#include "gui/transfer/sendfilemanager.h"

#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QMenu>
#include <QMimeData>
#include <QUrl>

namespace {

// A refusal box names this many files at most, each cut to about a line.
constexpr int refusalsShown = 5;
constexpr int refusalCharacters = 80;

} // namespace

SendFileWindow::SendFileWindow(QVector<DeviceInfo> targets, QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::sendFileWindow)
    , devices(std::move(targets))
    , endBox(this)
{
    ui->setupUi(this);
    setWindowModality(Qt::ApplicationModal);
    setAcceptDrops(true);

    for (QTableWidget *table : { ui->device_table, ui->files_table }) {
        table->setSelectionBehavior(QAbstractItemView::SelectRows);
        table->setSelectionMode(QAbstractItemView::SingleSelection);
        table->setEditTriggers(QAbstractItemView::NoEditTriggers);
        table->horizontalHeader()->setStretchLastSection(true);
        table->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
        // Long paths keep their start and their file name.
        table->setTextElideMode(Qt::ElideMiddle);
        // Tab leaves the table instead of walking its cells; the arrow keys move within it.
        table->setTabKeyNavigation(false);
    }
    ui->device_table->setRowCount(devices.size());
    for (int row = 0; row < devices.size(); ++row) {
        ui->device_table->setItem(row, 0, new QTableWidgetItem(peerText(devices.at(row).deviceName)));
        ui->device_table->setItem(row, 1, new QTableWidgetItem(devices.at(row).ip));
    }

    manager = new SendFileManager(this);
    QVector<OutgoingTransfer::Target> inTurn;
    for (const DeviceInfo &device : qAsConst(devices))
        inTurn.append({ device.deviceName, device.addr.toString(), device.port });
    outgoing = new OutgoingTransfer(&manager->list(), inTurn, this);
    connect(outgoing, &OutgoingTransfer::sessionStarted, this, &SendFileWindow::socketConnected);
    ui->files_table->horizontalHeader()->setMinimumSectionSize(185);
    connect(ui->files_table, &QTableWidget::cellClicked, manager, &SendFileManager::changeIndex);
    connect(ui->remove_btn, &QPushButton::clicked, this, &SendFileWindow::removeFile);
    auto *chooseMenu = new QMenu(ui->select_file_btn);
    chooseMenu->addAction(tr("文件…"), this, &SendFileWindow::selectFiles);
    chooseMenu->addAction(tr("文件夹…"), this, &SendFileWindow::selectFolder);
    ui->select_file_btn->setMenu(chooseMenu);
    connect(ui->manage_btn, &QPushButton::clicked, this, &SendFileWindow::openManageWindow);
    connect(ui->web_send_btn, &QPushButton::clicked, this, &SendFileWindow::sendFile);
    connect(&connectTimer, &QTimer::timeout, this, &SendFileWindow::socketTimeout);
    connectTimer.setSingleShot(true);

    // Top to bottom, the buttons left to right; the window opens on "打开 ...", since files come
    // first.
    QWidget::setTabOrder(ui->device_table, ui->files_table);
    QWidget::setTabOrder(ui->files_table, ui->remove_btn);
    QWidget::setTabOrder(ui->remove_btn, ui->select_file_btn);
    QWidget::setTabOrder(ui->select_file_btn, ui->manage_btn);
    QWidget::setTabOrder(ui->manage_btn, ui->web_send_btn);
    ui->select_file_btn->setFocus(Qt::OtherFocusReason);

    // Not the process's working folder, which for a program started from the desktop means
    // nothing to the user.
    chooseFolder = [](QWidget *owner, const QString &caption) {
        return QFileDialog::getExistingDirectory(owner, caption, QDir::homePath(), QFileDialog::ShowDirsOnly);
    };
    chooseFiles = [](QWidget *owner, const QString &caption) {
        return QFileDialog::getOpenFileNames(owner, caption, QDir::homePath());
    };
}

SendFileWindow::~SendFileWindow()
{
    delete ui;
}

void SendFileWindow::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
    else
        event->ignore();
}

void SendFileWindow::dropEvent(QDropEvent *event)
{
    QStringList paths;
    const QList<QUrl> urls = event->mimeData()->urls();
    for (const QUrl &url : urls)
        paths.append(url.toLocalFile());
    addPaths(paths);
    event->acceptProposedAction();
}

void SendFileWindow::addPaths(const QStringList &paths)
{
    for (QString path : paths) {
        if (path.isEmpty())
            continue;
        if (path.size() > 1 && path.endsWith(QLatin1Char('/')))
            path.chop(1);
        if (QFileInfo(path).isFile())
            showRefusals({ manager->addFile(path, QString()) });
        else
            showRefusals(manager->addFolder(path));
    }
    refreshFiles();
}

void SendFileWindow::refreshFiles()
{
    ui->files_table->setRowCount(manager->sendList.size());
    for (int row = 0; row < manager->sendList.size(); ++row) {
        auto *name = new QTableWidgetItem(peerText(manager->sendList.at(row).first));
        name->setToolTip(name->text());
        ui->files_table->setItem(row, 0, name);
        ui->files_table->setItem(row, 1, new QTableWidgetItem(peerText(manager->sendList.at(row).second)));
    }
}

void SendFileWindow::showRefusals(const QStringList &refusals)
{
    QStringList shown = refusals;
    shown.removeAll(QString());
    if (shown.isEmpty())
        return;
    // One box for a whole folder, however many of its files were refused.
    const int more = shown.size() - refusalsShown;
    if (more > 0) {
        shown = shown.mid(0, refusalsShown);
        shown.append(tr("……另有 %1 项").arg(more));
    }
    for (QString &line : shown)
        line = elideMiddle(peerText(line), refusalCharacters);
    QMessageBox::critical(nullptr, QApplication::applicationName(), shown.join(QLatin1Char('\n')));
}

void SendFileWindow::selectFolder()
{
    const QString folder = chooseFolder(this, tr("选择要发送的文件夹"));
    if (folder.isEmpty())
        return;
    showRefusals(manager->addFolder(folder));
    refreshFiles();
}

void SendFileWindow::selectFiles()
{
    addPaths(chooseFiles(this, tr("选择要发送的文件")));
}

void SendFileWindow::removeFile()
{
    if (manager->selectedRow == -1) {
        QMessageBox::critical(nullptr, QApplication::applicationName(), tr("请先选中要删除的文件"));
        return;
    }
    ui->files_table->removeRow(manager->selectedRow);
    ui->files_table->setCurrentItem(nullptr);
    manager->removeSelected();
    refreshFiles();
}

void SendFileWindow::openManageWindow()
{
    auto *window = new ManageWindow(manager->sendList, this);
    window->setAttribute(Qt::WA_DeleteOnClose);
    connect(window, &ManageWindow::saveSetting, this, &SendFileWindow::updateList);
    window->show();
}

void SendFileWindow::updateList(QList<int> deleteIndexs)
{
    manager->removeRows(deleteIndexs);
    refreshFiles();
}

bool SendFileWindow::offerFitsInOneFrame()
{
    // Finding out only after connecting would leave the receiver with a failed session.
    const QString tooLong = manager->offerTooLong();
    if (tooLong.isEmpty())
        return true;
    QMessageBox::critical(nullptr, tr("错误提示"), tooLong);
    return false;
}

void SendFileWindow::sendFile()
{
    if (manager->sendFiles.isEmpty()) {
        QMessageBox::critical(nullptr, tr("错误提示"), tr("请先选择要发送的文件！"));
        return;
    }
    if (outgoing->hasNext()) {
        if (!offerFitsInOneFrame())
            return;
        // A refused connection, like an unanswered one, is shown when the time limit is over.
        outgoing->next();
        ui->web_send_btn->setEnabled(false);
        setCursor(Qt::WaitCursor);
        connectTimer.start(Context::connectTimeLimitMsec);
        return;
    }
    endBox.setIcon(QMessageBox::Information);
    endBox.setWindowTitle(QApplication::applicationName());
    endBox.setText(tr("传输结束！"));
    connect(&endBox, &QMessageBox::finished, this, &SendFileWindow::done, Qt::UniqueConnection);
    endBox.show();
    QTimer::singleShot(endNoticeMsec, &endBox, &QMessageBox::accept);
}

void SendFileWindow::socketConnected(SenderContext *context)
{
    connectTimer.stop();
    auto *progress = new ProgressBarUI(context, nullptr);
    progress->setPeerName(outgoing->currentTarget().name);
    connect(progress, &ProgressBarUI::openNextTask, this, &SendFileWindow::sendFile);
    connect(progress, &ProgressBarUI::transferInterruptedByUser, this, &SendFileWindow::close);
    progress->setAttribute(Qt::WA_DeleteOnClose);
    progress->show();
}

void SendFileWindow::socketTimeout()
{
    outgoing->abort();
    QMessageBox::critical(this, QApplication::applicationName(), tr("连接超时！"));
    ui->web_send_btn->setEnabled(true);
    setCursor(Qt::ArrowCursor);
    sendFile();
}
