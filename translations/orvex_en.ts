<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="zh_CN">
<context>
    <name>Context</name>
    <message>
        <source>设备握手中……</source>
        <translation>Handshaking with the device…</translation>
    </message>
    <message>
        <source>消息过长，无法发送！</source>
        <translation>The message is too long to send.</translation>
    </message>
    <message>
        <source>建立连接中，验证码: %1</source>
        <translation>Connecting, verification code: %1</translation>
    </message>
    <message>
        <source>握手失败！</source>
        <translation>Handshake failed.</translation>
    </message>
    <message>
        <source>已取消传输</source>
        <translation>Transfer cancelled</translation>
    </message>
    <message>
        <source>传输数据被篡改或损坏</source>
        <translation>The transferred data was tampered with or damaged</translation>
    </message>
</context>
<context>
    <name>Crypto</name>
    <message>
        <source>Unable to initialize libsodium.</source>
        <translation>Unable to initialize libsodium.</translation>
    </message>
    <message>
        <source>Unable to calculate session key.</source>
        <translation>Unable to calculate session key.</translation>
    </message>
    <message>
        <source>Cipher text too short.</source>
        <translation>Cipher text too short.</translation>
    </message>
    <message>
        <source>Decryption failed.</source>
        <translation>Decryption failed.</translation>
    </message>
</context>
<context>
    <name>DesktopNotifier</name>
    <message>
        <source>打开文件夹</source>
        <translation>Open folder</translation>
    </message>
</context>
<context>
    <name>DeviceManager</name>
    <message>
        <source>选择</source>
        <translation>Select</translation>
    </message>
    <message>
        <source>设备名称</source>
        <translation>Device name</translation>
    </message>
    <message>
        <source>Ip地址</source>
        <translation>IP address</translation>
    </message>
    <message>
        <source>端口号</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>操作</source>
        <translation>Action</translation>
    </message>
    <message>
        <source>请先选择要传输的设备！</source>
        <translation>Please select the devices to send to first.</translation>
    </message>
</context>
<context>
    <name>DevicesCommand</name>
    <message>
        <source>orvex devices：列出局域网中运行 Orvex 的设备（名称、地址、端口）。</source>
        <translation>orvex devices: lists the devices on the local network that run Orvex (name, address, port).</translation>
    </message>
    <message>
        <source>等待回应的秒数（默认 %1）。</source>
        <translation>Seconds to wait for answers (default %1).</translation>
    </message>
    <message>
        <source>秒</source>
        <translation>seconds</translation>
    </message>
    <message>
        <source>每台设备输出一行 JSON。</source>
        <translation>Print one line of JSON per device.</translation>
    </message>
    <message>
        <source>持续运行，设备上线或离开时各输出一行，直到中断。</source>
        <translation>Keep running and print a line whenever a device comes or goes, until interrupted.</translation>
    </message>
    <message>
        <source>--wait 的值无效：%1</source>
        <translation>Invalid value for --wait: %1</translation>
    </message>
</context>
<context>
    <name>DiscoveryService</name>
    <message>
        <source>无法监听端口 %1.
你的设备无法被发现</source>
        <translation>Cannot listen on port %1.
Other devices cannot discover yours</translation>
    </message>
</context>
<context>
    <name>DownloadFolder</name>
    <message>
        <source>无法创建下载目录 %1：%2。</source>
        <translation>Cannot create the download folder %1: %2.</translation>
    </message>
    <message>
        <source>已有同名的文件</source>
        <translation>a file of that name exists</translation>
    </message>
    <message>
        <source>%1 不是文件夹</source>
        <translation>%1 is not a folder</translation>
    </message>
    <message>
        <source>没有在 %1 中创建文件夹的权限</source>
        <translation>no permission to create folders in %1</translation>
    </message>
    <message>
        <source>请检查路径和磁盘空间</source>
        <translation>please check the path and the disk space</translation>
    </message>
</context>
<context>
    <name>FileUploadController</name>
    <message>
        <source>文件已保存在%1%2</source>
        <translation>File saved to %1%2</translation>
    </message>
    <message>
        <source>文件上传失败！</source>
        <translation>File upload failed.</translation>
    </message>
    <message>
        <source>文件名无效，文件上传失败！</source>
        <translation>Invalid file name, the upload failed.</translation>
    </message>
    <message>
        <source>！</source>
        <translation>.</translation>
    </message>
</context>
<context>
    <name>HugeFileUploadController</name>
    <message>
        <source>大文件传输初始化成功！</source>
        <translation>Large file upload started.</translation>
    </message>
    <message>
        <source>读取上传的文件失败！</source>
        <translation>Could not read the uploaded file.</translation>
    </message>
    <message>
        <source>保存块数据失败，文件无法打开，请检查是否具有目录权限！</source>
        <translation>Could not save the chunk: the file cannot be opened. Please check the folder permissions.</translation>
    </message>
    <message>
        <source>保存块数据失败，写入文件出错，请检查磁盘空间！</source>
        <translation>Could not save the chunk: writing the file failed. Please check the disk space.</translation>
    </message>
    <message>
        <source>没有正在进行的大文件传输，请重新开始上传！</source>
        <translation>No large file upload is in progress, please start the upload again.</translation>
    </message>
    <message>
        <source>上一个文件块仍在接收中，请等它完成后再试！</source>
        <translation>The previous chunk is still arriving, please try again once it is done.</translation>
    </message>
    <message>
        <source>文件块序号错误：收到%1，应为%2！</source>
        <translation>Wrong chunk number: got %1, expected %2.</translation>
    </message>
    <message>
        <source>文件已保存在%1%2</source>
        <translation>File saved to %1%2</translation>
    </message>
    <message>
        <source>文件块合并失败，文件无法打开，请检查是否具有目录权限！</source>
        <translation>Could not join the chunks: the file cannot be opened. Please check the folder permissions.</translation>
    </message>
    <message>
        <source>文件块合并失败，文件名无效！</source>
        <translation>Could not join the chunks: invalid file name.</translation>
    </message>
    <message>
        <source>删除失败的任务成功！</source>
        <translation>The failed upload was removed.</translation>
    </message>
    <message>
        <source>同时进行的大文件传输过多，请稍后再试！</source>
        <translation>Too many large file uploads at once, please try again later.</translation>
    </message>
    <message>
        <source>保存块数据失败，文件超出了上传大小限制！</source>
        <translation>Could not save the chunk: the file exceeds the upload size limit.</translation>
    </message>
    <message>
        <source>！</source>
        <translation>.</translation>
    </message>
    <message>
        <source>文件名或文件大小无效！</source>
        <translation>Invalid file name or file size.</translation>
    </message>
    <message>
        <source>文件尚未传完：已收到 %1 字节，共 %2 字节！</source>
        <translation>The file is not complete yet: %1 of %2 bytes received.</translation>
    </message>
</context>
<context>
    <name>InboxCommand</name>
    <message>
        <source>orvex inbox：通过网页接收文件。显示上传页面的链接和二维码，浏览器上传的文件保存到下载目录；按 Ctrl+C 停止。</source>
        <translation>orvex inbox: receives files through a web page. Shows the link and QR code of the upload page; files uploaded by a browser are saved to the download folder. Press Ctrl+C to stop.</translation>
    </message>
    <message>
        <source>链接中使用的本机地址（默认：第一个网络地址）。</source>
        <translation>The local address to use in the link (default: the first network address).</translation>
    </message>
    <message>
        <source>地址</source>
        <translation>address</translation>
    </message>
    <message>
        <source>无法监听端口 %1</source>
        <translation>Cannot listen on port %1</translation>
    </message>
    <message>
        <source>已接收：%1（%2）</source>
        <translation>Received: %1 (%2)</translation>
    </message>
    <message>
        <source>上传的文件保存到 %1，按 Ctrl+C 停止。</source>
        <translation>Uploaded files are saved to %1. Press Ctrl+C to stop.</translation>
    </message>
    <message>
        <source>已停止接收。</source>
        <translation>Stopped receiving.</translation>
    </message>
</context>
<context>
    <name>Main</name>
    <message>
        <source>您的系统不支持托盘运行模式！</source>
        <translation>Your system does not support running in the system tray.</translation>
    </message>
    <message>
        <source>未知的选项：%1</source>
        <translation>unknown option: %1</translation>
    </message>
    <message>
        <source>没有显示器：托盘程序需要桌面环境；命令不需要：orvex --help</source>
        <translation>no display: the tray application needs a desktop; the commands work without one: orvex --help</translation>
    </message>
    <message>
        <source>运行目录（XDG_RUNTIME_DIR）不是仅属于当前用户的文件夹（权限 0700）：本次运行不检查是否已有 Orvex 在运行。</source>
        <translation>The runtime folder (XDG_RUNTIME_DIR) is not a folder of this user alone (mode 0700): this run does not check whether Orvex is running already.</translation>
    </message>
</context>
<context>
    <name>MainUI</name>
    <message>
        <source>Orvex-局域网跨平台文件传输解决方案</source>
        <translation>Orvex - file transfer across the local network</translation>
    </message>
    <message>
        <source>LAN地址</source>
        <translation>LAN address</translation>
    </message>
    <message>
        <source>传输端口</source>
        <translation>Transfer port</translation>
    </message>
    <message>
        <source>全选</source>
        <translation>Select all</translation>
    </message>
    <message>
        <source>批量传送</source>
        <translation>Send to selected</translation>
    </message>
    <message>
        <source>设备名称</source>
        <translation>Device name</translation>
    </message>
    <message>
        <source>发现端口</source>
        <translation>Discovery port</translation>
    </message>
    <message>
        <source>web端口</source>
        <translation>Web port</translation>
    </message>
    <message>
        <source>设备可见</source>
        <translation>Discoverable</translation>
    </message>
    <message>
        <source>下载路径</source>
        <translation>Download folder</translation>
    </message>
    <message>
        <source>开机自动启动</source>
        <translation>Start at login</translation>
    </message>
    <message>
        <source>语言</source>
        <translation>Language</translation>
    </message>
    <message>
        <source>重启 Orvex 后生效</source>
        <translation>Takes effect when Orvex restarts</translation>
    </message>
    <message>
        <source>跟随系统</source>
        <translation>System language</translation>
    </message>
    <message>
        <source>取    消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>保    存</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>提示信息</source>
        <translation>Notice</translation>
    </message>
    <message>
        <source>，</source>
        <translation>, </translation>
    </message>
    <message>
        <source>在线设备</source>
        <translation>Devices online</translation>
    </message>
    <message>
        <source>WEB传输</source>
        <translation>Web transfer</translation>
    </message>
    <message>
        <source>系统设置</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>%1的设置格式有误！
（所有项目不能为空，端口号范围为0~65535）</source>
        <translation>Invalid setting: %1.
(No item may be empty; ports range from 0 to 65535)</translation>
    </message>
    <message>
        <source>无法写入开机自动启动项：%1</source>
        <translation>Cannot write the autostart entry: %1</translation>
    </message>
    <message>
        <source>
设置已保存，请另选一个可用的下载路径。</source>
        <translation>
The settings were saved; please choose a usable download folder.</translation>
    </message>
    <message>
        <source>
%1的设置将在下次重启生效！</source>
        <translation>
Changes to %1 take effect at the next start.</translation>
    </message>
    <message>
        <source>设置保存成功</source>
        <translation>Settings saved</translation>
    </message>
    <message>
        <source>设置保存成功！
%1的设置将在下次重启生效！</source>
        <translation>Settings saved.
Changes to %1 take effect at the next start.</translation>
    </message>
    <message>
        <source>设置已还原！</source>
        <translation>Settings restored.</translation>
    </message>
    <message>
        <source>选择下载目录</source>
        <translation>Choose the download folder</translation>
    </message>
    <message>
        <source>网页发送</source>
        <translation>Web send</translation>
    </message>
    <message>
        <source>网页接收</source>
        <translation>Web receive</translation>
    </message>
</context>
<context>
    <name>ManageWindow</name>
    <message>
        <source>管理发送文件</source>
        <translation>Manage files to send</translation>
    </message>
    <message>
        <source>名称</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>类型</source>
        <translation>Type</translation>
    </message>
    <message>
        <source>大小</source>
        <translation>Size</translation>
    </message>
    <message>
        <source>保存</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>删除</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>文件夹</source>
        <translation>Folder</translation>
    </message>
    <message>
        <source>文件</source>
        <translation>File</translation>
    </message>
    <message>
        <source>错误</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>已经是根目录了！</source>
        <translation>This is already the top folder.</translation>
    </message>
    <message>
        <source>上一级</source>
        <translation>Up one level</translation>
    </message>
    <message>
        <source>右键单击或按 Delete 删除所选项；双击或按 Enter 打开文件夹，Backspace 返回上一级</source>
        <translation>Right-click or press Delete to remove the selected item; double-click or press Enter to open a folder, Backspace to go up</translation>
    </message>
</context>
<context>
    <name>Navigater</name>
    <message>
        <source>打开此页（Ctrl+%1）</source>
        <translation>Opens this page (Ctrl+%1)</translation>
    </message>
</context>
<context>
    <name>OfferQueue</name>
    <message>
        <source>%1 在您答复之前取消了另一个文件请求</source>
        <translation>%1 withdrew another file request before you answered</translation>
    </message>
</context>
<context>
    <name>OnlineDeviceItem</name>
    <message>
        <source>传文件</source>
        <translation>Send files</translation>
    </message>
    <message>
        <source>%1，%2，端口 %3</source>
        <translation>%1, %2, port %3</translation>
    </message>
    <message>
        <source>选择 %1</source>
        <translation>Select %1</translation>
    </message>
    <message>
        <source>传文件给 %1</source>
        <translation>Send files to %1</translation>
    </message>
</context>
<context>
    <name>OrvexTray</name>
    <message>
        <source>传文件</source>
        <translation>Send files</translation>
    </message>
    <message>
        <source>下载目录</source>
        <translation>Download folder</translation>
    </message>
    <message>
        <source>设置</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>退出</source>
        <translation>Quit</translation>
    </message>
    <message>
        <source>端口: %1</source>
        <translation>Port: %1</translation>
    </message>
    <message>
        <source>%1 在这里运行！</source>
        <translation>%1 is running here.</translation>
    </message>
    <message>
        <source>提示信息</source>
        <translation>Notice</translation>
    </message>
    <message>
        <source>请选择要接收这些文件的设备</source>
        <translation>Please choose the devices that should receive these files</translation>
    </message>
    <message>
        <source>正在通过网页共享文件</source>
        <translation>Sharing files on the web</translation>
    </message>
    <message>
        <source>停止共享</source>
        <translation>Stop sharing</translation>
    </message>
    <message numerus="yes">
        <source>通过网页收到 %n 个文件</source>
        <translation>
            <numerusform>Received %n file through the web page</numerusform>
            <numerusform>Received %n files through the web page</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>ProgressBarUI</name>
    <message>
        <source>接收</source>
        <translation>Accept</translation>
    </message>
    <message>
        <source>拒绝</source>
        <translation>Decline</translation>
    </message>
    <message>
        <source>%1 向您分享文件： &quot;%2&quot; 大小为： %3。</source>
        <translation>%1 wants to share the file &quot;%2&quot; with you, size: %3.</translation>
    </message>
    <message>
        <source>%1 向您分享 %2 个文件，总大小为 %3.</source>
        <translation>%1 wants to share %2 files with you, %3 in total.</translation>
    </message>
    <message>
        <source>
确认在发送设备上显示了验证码： &quot;%1&quot; 。</source>
        <translation>
Make sure the sending device shows the verification code &quot;%1&quot;.</translation>
    </message>
    <message>
        <source>
是否接收文件？</source>
        <translation>
Receive the files?</translation>
    </message>
    <message>
        <source>拒绝（%1s）</source>
        <translation>Decline (%1s)</translation>
    </message>
    <message>
        <source>传输失败</source>
        <translation>Transfer failed</translation>
    </message>
    <message>
        <source> 等</source>
        <translation> and more</translation>
    </message>
    <message>
        <source>包括：%1%2</source>
        <translation>Including: %1%2</translation>
    </message>
    <message>
        <source>、</source>
        <translation>, </translation>
    </message>
    <message>
        <source>第 %1/%2 个：%3</source>
        <translation>File %1 of %2: %3</translation>
    </message>
    <message>
        <source>取消传输</source>
        <translation>Cancel transfer</translation>
    </message>
    <message>
        <source>取消传输？已传输 %1%</source>
        <translation>Cancel the transfer? %1% transferred</translation>
    </message>
    <message>
        <source>继续传输</source>
        <translation>Continue transfer</translation>
    </message>
</context>
<context>
    <name>ProgressLine</name>
    <message>
        <source>%1%  %2  剩余 %3</source>
        <translation>%1%  %2  %3 left</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <source>收到文件请求</source>
        <translation>File request</translation>
    </message>
    <message>
        <source>接收完成</source>
        <translation>Files received</translation>
    </message>
    <message>
        <source>文件已保存到 %1</source>
        <translation>Files saved to %1</translation>
    </message>
    <message numerus="yes">
        <source>%1 向您分享 %n 个文件</source>
        <translation>
            <numerusform>%1 wants to share %n file with you</numerusform>
            <numerusform>%1 wants to share %n files with you</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>QrText</name>
    <message>
        <source>链接太长，无法生成二维码。</source>
        <translation>The link is too long for a QR code.</translation>
    </message>
</context>
<context>
    <name>QrcodeWidget</name>
    <message>
        <source>没有可显示的地址</source>
        <translation>No address to show</translation>
    </message>
    <message>
        <source>链接太长，请使用“拷贝地址”</source>
        <translation>The link is too long, please use &quot;Copy link&quot;</translation>
    </message>
    <message>
        <source>二维码</source>
        <translation>QR code</translation>
    </message>
</context>
<context>
    <name>ReceiveCommand</name>
    <message>
        <source>orvex receive：接收其他设备发送的文件。运行传输服务并让其他设备发现本机，每次收到文件时显示发送方、文件和验证码，并询问是否接收（y/N）。</source>
        <translation>orvex receive: receives files sent by other devices. Runs the transfer service and lets other devices discover this one; for each offer it shows the sender, the files and the verification code and asks whether to accept them (y/N).</translation>
    </message>
    <message>
        <source>不询问，直接接收。</source>
        <translation>Accept without asking.</translation>
    </message>
    <message>
        <source>与 --accept 一起：只直接接收这台设备（按名称，名称未经验证）发来的文件。</source>
        <translation>With --accept: accept without asking only files from this device (by name; names are not verified).</translation>
    </message>
    <message>
        <source>名称</source>
        <translation>name</translation>
    </message>
    <message>
        <source>处理完第一份文件后退出。</source>
        <translation>Exit after the first offer.</translation>
    </message>
    <message>
        <source>--from 只能与 --accept 一起使用。</source>
        <translation>--from can only be used with --accept.</translation>
    </message>
    <message>
        <source>（没有输入，拒绝接收）</source>
        <translation>(no input, declined)</translation>
    </message>
    <message>
        <source>（超时，拒绝接收）</source>
        <translation>(timed out, declined)</translation>
    </message>
    <message>
        <source>正在等待接收文件：设备 %1，端口 %2，下载目录 %3</source>
        <translation>Waiting for files: device %1, port %2, download folder %3</translation>
    </message>
    <message>
        <source>已自动接收。</source>
        <translation>Accepted automatically.</translation>
    </message>
    <message>
        <source>是否接收文件？[y/N] </source>
        <translation>Receive the files? [y/N] </translation>
    </message>
    <message>
        <source>已停止接收。</source>
        <translation>Stopped receiving.</translation>
    </message>
</context>
<context>
    <name>ReceiveSession</name>
    <message>
        <source>文件已保存到 %1</source>
        <translation>Files saved to %1</translation>
    </message>
    <message>
        <source>%1 向您分享文件： &quot;%2&quot; 大小为： %3。</source>
        <translation>%1 wants to share the file &quot;%2&quot; with you, size: %3.</translation>
    </message>
    <message>
        <source>%1 向您分享 %2 个文件，总大小为 %3.</source>
        <translation>%1 wants to share %2 files with you, %3 in total.</translation>
    </message>
    <message>
        <source>
确认在发送设备上显示了验证码： &quot;%1&quot; 。</source>
        <translation>
Make sure the sending device shows the verification code &quot;%1&quot;.</translation>
    </message>
    <message>
        <source>接收</source>
        <translation>Receive</translation>
    </message>
</context>
<context>
    <name>ReceiverContext</name>
    <message>
        <source>等待文件信息超时！</source>
        <translation>Timed out waiting for the file list.</translation>
    </message>
    <message>
        <source>发送方给出的文件名不安全，已拒绝接收：&quot;%1&quot;</source>
        <translation>The sender gave an unsafe file name, the files were refused: &quot;%1&quot;</translation>
    </message>
    <message>
        <source>发送方给出的文件大小无效，已拒绝接收：&quot;%1&quot;</source>
        <translation>The sender gave an invalid file size, the files were refused: &quot;%1&quot;</translation>
    </message>
    <message>
        <source>没有权限创建以下目录：%1……</source>
        <translation>No permission to create this folder: %1…</translation>
    </message>
    <message>
        <source>没有权限写入下载目录！</source>
        <translation>No permission to write to the download folder.</translation>
    </message>
    <message>
        <source>无法打开%1，请检查目录权限！</source>
        <translation>Cannot open %1, please check the folder permissions.</translation>
    </message>
    <message>
        <source>正在接收%1……</source>
        <translation>Receiving %1…</translation>
    </message>
    <message>
        <source>传输完成！</source>
        <translation>Transfer complete.</translation>
    </message>
    <message>
        <source>无法保存%1，请检查目录权限！</source>
        <translation>Cannot save %1, please check the folder permissions.</translation>
    </message>
    <message>
        <source>写入%1失败！</source>
        <translation>Writing %1 failed.</translation>
    </message>
    <message>
        <source>文件列表过长，无法一次发送，请减少文件数量！</source>
        <translation>The file list is too long to send at once. Please choose fewer files.</translation>
    </message>
    <message>
        <source>继续上次未完成的传输（已收到 %1%）</source>
        <translation>Continuing the unfinished transfer (%1% received)</translation>
    </message>
    <message>
        <source>对方已取消传输</source>
        <translation>The other device cancelled the transfer</translation>
    </message>
    <message>
        <source>已取消传输</source>
        <translation>Transfer cancelled</translation>
    </message>
    <message>
        <source>磁盘空间不足</source>
        <translation>Not enough disk space</translation>
    </message>
    <message>
        <source>文件名过长：%1</source>
        <translation>File name too long: %1</translation>
    </message>
</context>
<context>
    <name>RunCommand</name>
    <message>
        <source>列出局域网中的设备</source>
        <translation>list the devices on the local network</translation>
    </message>
    <message>
        <source>向设备发送文件和文件夹</source>
        <translation>send files and folders to a device</translation>
    </message>
    <message>
        <source>接收其他设备发送的文件</source>
        <translation>receive files sent by other devices</translation>
    </message>
    <message>
        <source>通过网页链接分享文件</source>
        <translation>share files through a web link</translation>
    </message>
    <message>
        <source>通过网页链接接收上传的文件</source>
        <translation>receive uploaded files through a web link</translation>
    </message>
    <message>
        <source>退出状态：
  0    成功（send：对方已接收且文件已全部发出）
  1    失败：连接、文件、端口出错，或传输中断
  2    命令行错误
  3    被拒绝：对方拒绝接收（send），或在本机拒绝了文件（receive --once）
  4    找不到设备（send --to）
  130  传输中被 Ctrl+C 中断（SIGTERM 为 143）；没有传输时中断 receive、share、inbox、devices 返回 0
</source>
        <translation>Exit status:
  0    success (send: the receiver accepted and every file was sent)
  1    failure: a connection, file or port error, or an interrupted transfer
  2    wrong command line
  3    declined: the receiver declined (send), or the files were declined here (receive --once)
  4    device not found (send --to)
  130  interrupted by Ctrl+C during a transfer (143 for SIGTERM); interrupting receive, share, inbox or devices while nothing is transferred returns 0
</translation>
    </message>
    <message>
        <source>用法：orvex [命令] [选项]
不带参数时启动托盘程序。以下命令在终端中运行，不需要图形界面：
</source>
        <translation>Usage: orvex [command] [options]
Without arguments it starts the tray application. These commands run in a terminal and need no display:
</translation>
    </message>
    <message>
        <source>“orvex 命令 --help” 显示该命令的选项。

</source>
        <translation>&quot;orvex COMMAND --help&quot; shows the options of that command.

</translation>
    </message>
    <message>
        <source>“orvex %1 --help” 显示可用的选项。</source>
        <translation>&quot;orvex %1 --help&quot; shows the available options.</translation>
    </message>
    <message>
        <source>未知的命令：%1</source>
        <translation>Unknown command: %1</translation>
    </message>
    <message>
        <source>“orvex --help” 列出可用的命令。</source>
        <translation>&quot;orvex --help&quot; lists the available commands.</translation>
    </message>
</context>
<context>
    <name>RunOptions</name>
    <message>
        <source>本次运行使用的设备名称。</source>
        <translation>Device name for this run.</translation>
    </message>
    <message>
        <source>名称</source>
        <translation>name</translation>
    </message>
    <message>
        <source>接收文件的下载目录。</source>
        <translation>Download folder for received files.</translation>
    </message>
    <message>
        <source>目录</source>
        <translation>folder</translation>
    </message>
    <message>
        <source>传输服务端口（0：由系统选择）。</source>
        <translation>Port of the transfer service (0: chosen by the system).</translation>
    </message>
    <message>
        <source>端口</source>
        <translation>port</translation>
    </message>
    <message>
        <source>设备发现使用的 UDP 端口。</source>
        <translation>UDP port for device discovery.</translation>
    </message>
    <message>
        <source>网页收发使用的端口（0：由系统选择）。</source>
        <translation>Port for the web pages (0: chosen by the system).</translation>
    </message>
    <message>
        <source>不让其他设备发现本设备。</source>
        <translation>Do not let other devices discover this one.</translation>
    </message>
    <message>
        <source>把以上设置保存为以后的默认值。</source>
        <translation>Save the settings above as the defaults from now on.</translation>
    </message>
    <message>
        <source>设备名称不能为空。</source>
        <translation>The device name must not be empty.</translation>
    </message>
    <message>
        <source>--%1 的值不是端口号：%2</source>
        <translation>The value of --%1 is not a port number: %2</translation>
    </message>
</context>
<context>
    <name>Scheduler</name>
    <message>
        <source>Dialog</source>
        <translation>Dialog</translation>
    </message>
</context>
<context>
    <name>SendCommand</name>
    <message>
        <source>orvex send：向设备发送文件和文件夹。接收方确认与本机显示的验证码一致后接收。</source>
        <translation>orvex send: sends files and folders to devices. The receiver accepts them after checking that its verification code matches the one shown here.</translation>
    </message>
    <message>
        <source>接收设备：设备名称（通过设备发现查找），或 地址:端口。可多次给出，依次发送。</source>
        <translation>Receiving device: a device name (found through discovery), or address:port. May be given more than once; the devices get the files one after another.</translation>
    </message>
    <message>
        <source>设备</source>
        <translation>device</translation>
    </message>
    <message>
        <source>按名称查找设备时最多等待的秒数（默认 %1）。</source>
        <translation>Seconds to wait at most when looking a device up by name (default %1).</translation>
    </message>
    <message>
        <source>秒</source>
        <translation>seconds</translation>
    </message>
    <message>
        <source>要发送的文件或文件夹。</source>
        <translation>Files or folders to send.</translation>
    </message>
    <message>
        <source>路径...</source>
        <translation>paths...</translation>
    </message>
    <message>
        <source>请用 --to 指定接收设备。</source>
        <translation>Please name the receiving device with --to.</translation>
    </message>
    <message>
        <source>请先选择要发送的文件！</source>
        <translation>Please choose the files to send first.</translation>
    </message>
    <message>
        <source>--wait 的值无效：%1</source>
        <translation>Invalid value for --wait: %1</translation>
    </message>
    <message>
        <source>连接超时！</source>
        <translation>The connection timed out.</translation>
    </message>
    <message>
        <source>找不到设备：%1</source>
        <translation>Device not found: %1</translation>
    </message>
    <message>
        <source>找不到文件或文件夹：%1</source>
        <translation>File or folder not found: %1</translation>
    </message>
    <message>
        <source>%1：%2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>正在连接 %1:%2 ……</source>
        <translation>Connecting to %1:%2 …</translation>
    </message>
    <message>
        <source>无法连接 %1：%2</source>
        <translation>Cannot connect to %1: %2</translation>
    </message>
    <message>
        <source>发送</source>
        <translation>Send</translation>
    </message>
    <message>
        <source>发送已中断。</source>
        <translation>Sending interrupted.</translation>
    </message>
</context>
<context>
    <name>SendFileManager</name>
    <message>
        <source>无法打开所选文件！</source>
        <translation>Cannot open the chosen file.</translation>
    </message>
    <message>
        <source>所选文件格式不支持！</source>
        <translation>The chosen kind of file is not supported.</translation>
    </message>
    <message>
        <source>所选文件过多（%1 个），文件清单超出了一次传输的上限。
请减少到约 %2 个以内（文件名越长，可发送的数量越少）后再发送。</source>
        <translation>Too many files chosen (%1): the file list exceeds what one transfer can carry.
Please send at most about %2 files at a time (the longer the file names, the fewer files fit).</translation>
    </message>
    <message>
        <source>已跳过指向所选文件夹之外的链接：%1</source>
        <translation>Skipped a link to a folder outside the chosen one: %1</translation>
    </message>
</context>
<context>
    <name>SendFileWindow</name>
    <message>
        <source>选择要发送的文件夹</source>
        <translation>Choose a folder to send</translation>
    </message>
    <message>
        <source>请先选中要删除的文件</source>
        <translation>Please select the file to remove first</translation>
    </message>
    <message>
        <source>错误提示</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>请先选择要发送的文件！</source>
        <translation>Please choose the files to send first.</translation>
    </message>
    <message>
        <source>传输结束！</source>
        <translation>Transfers ended.</translation>
    </message>
    <message>
        <source>连接超时！</source>
        <translation>The connection timed out.</translation>
    </message>
    <message>
        <source>文件…</source>
        <translation>Files…</translation>
    </message>
    <message>
        <source>文件夹…</source>
        <translation>Folder…</translation>
    </message>
    <message>
        <source>……另有 %1 项</source>
        <translation>…and %1 more</translation>
    </message>
    <message>
        <source>选择要发送的文件</source>
        <translation>Choose files to send</translation>
    </message>
</context>
<context>
    <name>SenderContext</name>
    <message>
        <source>文件列表过长，无法一次发送，请减少文件数量！</source>
        <translation>The file list is too long to send at once, please choose fewer files.</translation>
    </message>
    <message>
        <source>无法打开文件 %1，传输已中止！</source>
        <translation>Cannot open the file %1, the transfer was stopped.</translation>
    </message>
    <message>
        <source>接收设备拒绝接收文件！</source>
        <translation>The receiving device declined the files.</translation>
    </message>
    <message>
        <source>文件meta响应解析错误！</source>
        <translation>Could not read the answer to the file list.</translation>
    </message>
    <message>
        <source>文件 %1 在发送过程中发生了变化，传输已中止！</source>
        <translation>The file %1 changed while it was being sent, the transfer was stopped.</translation>
    </message>
    <message>
        <source>正在传送文件 %1 ……</source>
        <translation>Sending the file %1 …</translation>
    </message>
    <message>
        <source>传输完成！</source>
        <translation>Transfer complete.</translation>
    </message>
    <message>
        <source>未收到接收方的确认</source>
        <translation>The receiver did not confirm the transfer</translation>
    </message>
    <message>
        <source>对方版本较旧，文件将分 %1 批发送，每批需对方确认</source>
        <translation>The other device runs an older version: the files go in %1 batches, each to be accepted there</translation>
    </message>
    <message>
        <source>对方已取消传输</source>
        <translation>The other device cancelled the transfer</translation>
    </message>
</context>
<context>
    <name>Server</name>
    <message>
        <source>无法监听 %1 端口</source>
        <translation>Cannot listen on port %1</translation>
    </message>
</context>
<context>
    <name>ShareCommand</name>
    <message>
        <source>orvex share：通过网页分享文件。显示链接和二维码，同一网络中的浏览器可下载这些文件；按 Ctrl+C 停止。</source>
        <translation>orvex share: shares files through a web page. Shows a link and a QR code; browsers on the same network can download the files. Press Ctrl+C to stop.</translation>
    </message>
    <message>
        <source>链接中使用的本机地址（默认：第一个网络地址）。</source>
        <translation>The local address to use in the link (default: the first network address).</translation>
    </message>
    <message>
        <source>地址</source>
        <translation>address</translation>
    </message>
    <message>
        <source>要分享的文件。</source>
        <translation>Files to share.</translation>
    </message>
    <message>
        <source>文件...</source>
        <translation>files...</translation>
    </message>
    <message>
        <source>无法分享 %1：不是可读取的文件。</source>
        <translation>Cannot share %1: not a readable file.</translation>
    </message>
    <message>
        <source>请选择文件</source>
        <translation>Please choose files</translation>
    </message>
    <message>
        <source>无法监听端口 %1</source>
        <translation>Cannot listen on port %1</translation>
    </message>
    <message>
        <source>已下载：%1（%2）</source>
        <translation>Downloaded: %1 (%2)</translation>
    </message>
    <message>
        <source>正在分享 %1 个文件，按 Ctrl+C 停止。</source>
        <translation>Files shared: %1. Press Ctrl+C to stop.</translation>
    </message>
    <message>
        <source>已停止分享。</source>
        <translation>Stopped sharing.</translation>
    </message>
</context>
<context>
    <name>TransferProgress</name>
    <message>
        <source>%1 / %2</source>
        <translation>%1 / %2</translation>
    </message>
    <message>
        <source>%1/s</source>
        <translation>%1/s</translation>
    </message>
    <message>
        <source>%1，%2，剩余 %3</source>
        <translation>%1, %2, %3 left</translation>
    </message>
</context>
<context>
    <name>Upload</name>
    <message>
        <source>下载目录</source>
        <translation>Downloads</translation>
    </message>
</context>
<context>
    <name>WebReceive</name>
    <message>
        <source>选择网段</source>
        <translation>Network</translation>
    </message>
    <message>
        <source>接收码</source>
        <translation>Show QR code</translation>
    </message>
    <message>
        <source>拷贝地址</source>
        <translation>Copy link</translation>
    </message>
    <message>
        <source>请使用同一局域网下的设备扫描下面的接收二维码！</source>
        <translation>Scan the QR code below with a device on the same local network.</translation>
    </message>
    <message>
        <source>接收文件</source>
        <translation>Receive files</translation>
    </message>
    <message>
        <source>错误</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>请先生成二维码</source>
        <translation>Please generate the QR code first</translation>
    </message>
    <message>
        <source>提示</source>
        <translation>Notice</translation>
    </message>
    <message>
        <source>地址已复制到剪切板</source>
        <translation>The link was copied to the clipboard</translation>
    </message>
    <message>
        <source>网页服务未能监听 web端口，请在系统设置中另选一个端口并重启</source>
        <translation>The web service could not listen on its web port. Choose another port in Settings and restart Orvex.</translation>
    </message>
</context>
<context>
    <name>WebSend</name>
    <message>
        <source>选择网段</source>
        <translation>Network</translation>
    </message>
    <message>
        <source>选择文件</source>
        <translation>Choose files</translation>
    </message>
    <message>
        <source>分享地址</source>
        <translation>Share link</translation>
    </message>
    <message>
        <source>生成二维码</source>
        <translation>Generate QR code</translation>
    </message>
    <message>
        <source>拷贝地址</source>
        <translation>Copy link</translation>
    </message>
    <message>
        <source>扫码上方二维码下载文件，设备需在相同网段</source>
        <translation>Scan the QR code above to download the files. The phone must be on the same network.</translation>
    </message>
    <message>
        <source>打开文件</source>
        <translation>Open files</translation>
    </message>
    <message>
        <source>发送文件</source>
        <translation>Send files</translation>
    </message>
    <message>
        <source>错误</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>请选择文件</source>
        <translation>Please choose files</translation>
    </message>
    <message>
        <source>请先生成二维码</source>
        <translation>Please generate the QR code first</translation>
    </message>
    <message>
        <source>提示</source>
        <translation>Notice</translation>
    </message>
    <message>
        <source>地址已复制到剪切板</source>
        <translation>The link was copied to the clipboard</translation>
    </message>
    <message>
        <source>网页服务未能监听 web端口，请在系统设置中另选一个端口并重启</source>
        <translation>The web service could not listen on its web port. Choose another port in Settings and restart Orvex.</translation>
    </message>
</context>
<context>
    <name>sendFileWindow</name>
    <message>
        <source>发送文件</source>
        <translation>Send files</translation>
    </message>
    <message>
        <source>目标设备：</source>
        <translation>Target devices:</translation>
    </message>
    <message>
        <source>设备名称</source>
        <translation>Device name</translation>
    </message>
    <message>
        <source>IP地址</source>
        <translation>IP address</translation>
    </message>
    <message>
        <source>选择文件（拖放或者在资源管理器中添加）</source>
        <translation>Files (drop them here or add them with the buttons)</translation>
    </message>
    <message>
        <source>文件名称</source>
        <translation>File name</translation>
    </message>
    <message>
        <source>文件大小</source>
        <translation>File size</translation>
    </message>
    <message>
        <source>移除</source>
        <translation>Remove</translation>
    </message>
    <message>
        <source>打开 ...</source>
        <translation>Open ...</translation>
    </message>
    <message>
        <source>管理</source>
        <translation>Manage</translation>
    </message>
    <message>
        <source>发送</source>
        <translation>Send</translation>
    </message>
</context>
</TS>
