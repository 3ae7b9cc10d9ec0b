#include "webportmessage.h"

#include "core/portholder.h"

#include <QCoreApplication>

QString webPortTakenMessage(quint16 port)
{
    const PortHolder holder = PortHolder::find(PortHolder::Protocol::Tcp, port);
    QString taken;
    if (holder.pid != 0)
        taken = QCoreApplication::translate("WebPortMessage", "网页端口 %1 已被 %2（进程 %3）占用，网页收发无法使用。")
                    .arg(port)
                    .arg(holder.program)
                    .arg(holder.pid);
    else if (holder.found)
        taken
            = QCoreApplication::translate("WebPortMessage", "网页端口 %1 已被另一个用户的程序占用，网页收发无法使用。")
                  .arg(port);
    else
        taken = QCoreApplication::translate("WebPortMessage", "网页服务无法监听网页端口 %1，网页收发无法使用。")
                    .arg(port);
    return taken + QLatin1Char('\n')
        + QCoreApplication::translate(
            "WebPortMessage", "请关闭占用它的程序，或在系统设置中另选一个网页端口，然后重启 Orvex。");
}
