<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="zh_CN">
<context>
    <name>AddressHint</name>
    <message>
        <source>手机请使用 %1（%2）</source>
        <translation>Phones should use %1 (%2)</translation>
    </message>
</context>
<context>
    <name>CommandOptions</name>
    <message>
        <source>[选项]</source>
        <translation>[options]</translation>
    </message>
    <message>
        <source>用法：%1</source>
        <translation>Usage: %1</translation>
    </message>
    <message>
        <source>选项：</source>
        <translation>Options:</translation>
    </message>
    <message>
        <source>参数：</source>
        <translation>Arguments:</translation>
    </message>
</context>
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
        <translation>The transferred data was altered or damaged</translation>
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
    <message>
        <source>添加设备</source>
        <translation>Add device</translation>
    </message>
    <message>
        <source>地址，如 192.168.2.7 或 192.168.2.7:52637</source>
        <translation>Address, e.g. 192.168.2.7 or 192.168.2.7:52637</translation>
    </message>
    <message>
        <source>广播找不到的设备（在另一网段，或路由器过滤了广播）可按地址直接询问</source>
        <translation>A device that broadcasts do not reach (on another subnet, or behind a router that filters broadcasts) can be asked directly by its address</translation>
    </message>
    <message>
        <source>不是有效的地址。请输入 IP 地址，可在冒号后加上发现端口。</source>
        <translation>Not a valid address. Enter an IP address, optionally followed by a colon and the discovery port.</translation>
    </message>
    <message>
        <source>剪贴板中没有文字。</source>
        <translation>The clipboard holds no text.</translation>
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
        <source>持续运行，设备上线或离开时各输出一行，直到中断。</source>
        <translation>Keep running and print a line whenever a device comes or goes, until interrupted.</translation>
    </message>
    <message>
        <source>--wait 的值无效：%1</source>
        <translation>Invalid value for --wait: %1</translation>
    </message>
    <message>
        <source>也直接询问这个地址（可带端口，如 192.168.2.7:52637），用于广播到达不了的设备。</source>
        <translation>Also ask this address directly (optionally with a port, e.g. 192.168.2.7:52637), for a device that broadcasts do not reach.</translation>
    </message>
    <message>
        <source>地址</source>
        <translation>address</translation>
    </message>
    <message>
        <source>不是有效的地址：%1</source>
        <translation>Not a valid address: %1</translation>
    </message>
    <message>
        <source>未发现设备</source>
        <translation>No devices found</translation>
    </message>
    <message>
        <source>无法监听发现端口 %1：只能看到对询问的回答，退出的设备约 %2 秒后才会消失。</source>
        <translation>Cannot listen on the discovery port %1: only answers to requests are seen, and a device that quits disappears only after about %2 seconds.</translation>
    </message>
    <message>
        <source>端口被 %1（进程 %2）占用。</source>
        <translation> The port is held by %1 (process %2).</translation>
    </message>
    <message>
        <source>已配对：%1</source>
        <translation>Paired: %1</translation>
    </message>
</context>
<context>
    <name>DiagnosisPage</name>
    <message>
        <source>%1（进程 %2）</source>
        <translation>%1 (process %2)</translation>
    </message>
    <message>
        <source>另一个用户的程序</source>
        <translation>a program of another user</translation>
    </message>
    <message>
        <source>没有可用的网络地址：请连接网络。</source>
        <translation>No usable network address: connect to a network.</translation>
    </message>
    <message>
        <source>%1 %2/%3</source>
        <translation>%1 %2/%3</translation>
    </message>
    <message>
        <source>（虚拟网桥或隧道，手机一般无法通过它访问）</source>
        <translation> (virtual bridge or tunnel, phones usually cannot reach it)</translation>
    </message>
    <message>
        <source>（网络没有分配地址）</source>
        <translation> (the network handed out no address)</translation>
    </message>
    <message>
        <source>链接和二维码使用的地址：%1（%2）</source>
        <translation>Address used in links and QR codes: %1 (%2)</translation>
    </message>
    <message>
        <source>发现端口 UDP %1：由 Orvex 监听</source>
        <translation>Discovery port UDP %1: Orvex listens</translation>
    </message>
    <message>
        <source>发现端口 UDP %1 被 %2 占用
在系统设置中换一个发现端口（所有设备需相同），或关闭该程序。</source>
        <translation>Discovery port UDP %1 is taken by %2
Choose another discovery port in the settings (the same on every device), or close that program.</translation>
    </message>
    <message>
        <source>发现端口 UDP %1：没有被监听，其他设备找不到本机</source>
        <translation>Discovery port UDP %1: nothing listens, other devices cannot find this computer</translation>
    </message>
    <message>
        <source>本机设置为不可被发现，其他设备看不到它</source>
        <translation>This computer is set not to be discoverable: other devices do not see it</translation>
    </message>
    <message>
        <source>传输端口 TCP %1：正在监听</source>
        <translation>Transfer port TCP %1: listening</translation>
    </message>
    <message>
        <source>传输端口 TCP %1：无法连接（%2）</source>
        <translation>Transfer port TCP %1: cannot connect (%2)</translation>
    </message>
    <message>
        <source>传输端口：无法得知是否在监听</source>
        <translation>Transfer port: cannot tell whether it listens</translation>
    </message>
    <message>
        <source>网页端口 TCP %1：由 Orvex 监听</source>
        <translation>Web port TCP %1: Orvex listens</translation>
    </message>
    <message>
        <source>网页端口 TCP %1 被 %2 占用
网页收发无法使用：关闭该程序，或在系统设置中另选网页端口。</source>
        <translation>Web port TCP %1 is taken by %2
Web transfer cannot work: close that program, or choose another web port in the settings.</translation>
    </message>
    <message>
        <source>网页端口 TCP %1：空闲</source>
        <translation>Web port TCP %1: free</translation>
    </message>
    <message>
        <source>无法读取 %1 规则：%2
以 root 运行 orvex doctor 可读取。</source>
        <translation>Cannot read the %1 rules: %2
Run orvex doctor as root to read them.</translation>
    </message>
    <message>
        <source>%1：没有丢弃 Orvex 端口的规则</source>
        <translation>%1: no rule drops Orvex&apos;s ports</translation>
    </message>
    <message>
        <source>%1 规则丢弃发往 %2 %3 端口的广播：%4
放行：sudo %5</source>
        <translation>A %1 rule drops broadcasts to %2 port %3: %4
Let them in: sudo %5</translation>
    </message>
    <message>
        <source>%1 规则丢弃发往 %2 %3 端口的数据：%4
放行：sudo %5</source>
        <translation>A %1 rule drops what comes to %2 port %3: %4
Let it in: sudo %5</translation>
    </message>
    <message>
        <source>%1（%2）回应了设备发现</source>
        <translation>%1 (%2) answered discovery</translation>
    </message>
    <message>
        <source>可以连接 %1 的传输端口 TCP %2</source>
        <translation>Connected to the transfer port TCP %2 of %1</translation>
    </message>
    <message>
        <source>无法连接 %1 的传输端口 TCP %2：%3
对方的防火墙可能拦截了该端口。</source>
        <translation>Cannot connect to the transfer port TCP %2 of %1: %3
Its firewall may block the port.</translation>
    </message>
    <message>
        <source>%1 没有回应直接询问
确认对方运行着 Orvex、发现端口相同、地址可达。</source>
        <translation>%1 did not answer when asked directly
Check that Orvex runs there, with the same discovery port, and that the address is reachable.</translation>
    </message>
    <message>
        <source>没有设备回应
路由器可能隔离了无线客户端或过滤了广播，或两台设备不在同一网段；可在在线设备页用“添加设备”输入对方的地址。</source>
        <translation>No device answered
The router may isolate wireless clients or filter broadcasts, or the devices are on different subnets; on the devices page, &quot;Add device&quot; takes the other device&apos;s address.</translation>
    </message>
    <message>
        <source>%1 是无线网卡：请在路由器中关闭“AP 隔离”或“客户端隔离”，或不用访客网络。</source>
        <translation>%1 is a wireless card: turn off &quot;AP isolation&quot; or &quot;client isolation&quot; in the router, or leave the guest network.</translation>
    </message>
    <message>
        <source>只有直接询问的设备回应了：广播可能被过滤，或它们在另一个网段</source>
        <translation>Only the devices asked directly answered: broadcasts may be filtered, or they are on another subnet</translation>
    </message>
    <message>
        <source>正常</source>
        <translation>ok</translation>
    </message>
    <message>
        <source>注意</source>
        <translation>note</translation>
    </message>
    <message>
        <source>问题</source>
        <translation>problem</translation>
    </message>
    <message>
        <source>未知</source>
        <translation>unknown</translation>
    </message>
    <message>
        <source>开始诊断</source>
        <translation>Diagnose</translation>
    </message>
    <message>
        <source>检查设备互相找不到的原因：本机地址、端口、防火墙规则，以及与其他设备的实际连通性。只读取，不修改任何设置。</source>
        <translation>Finds out why devices cannot see each other: this computer&apos;s addresses, ports, firewall rules, and a live check with the other devices. Reads only, changes nothing.</translation>
    </message>
    <message>
        <source>网络接口</source>
        <translation>Network interfaces</translation>
    </message>
    <message>
        <source>端口</source>
        <translation>Ports</translation>
    </message>
    <message>
        <source>防火墙</source>
        <translation>Firewall</translation>
    </message>
    <message>
        <source>实际连通性（等待其他设备回应……）</source>
        <translation>Live check (waiting for other devices to answer…)</translation>
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
    <message>
        <source>
端口被另一个 Orvex（进程 %1）占用：请先退出它（kill %1），或在系统设置中为本程序换一个发现端口。</source>
        <translation>
The port is held by another Orvex (process %1): quit it first (kill %1), or choose another discovery port for this one in the settings.</translation>
    </message>
    <message>
        <source>
端口被 %1（进程 %2）占用。</source>
        <translation>
The port is held by %1 (process %2).</translation>
    </message>
</context>
<context>
    <name>DoctorCommand</name>
    <message>
        <source>默认路由所在网卡</source>
        <translation>interface of the default route</translation>
    </message>
    <message>
        <source>网卡</source>
        <translation>network interface</translation>
    </message>
    <message>
        <source>虚拟网桥或隧道，手机一般无法通过它访问</source>
        <translation>virtual bridge or tunnel, which a phone usually cannot reach</translation>
    </message>
    <message>
        <source>链路本地地址：网络没有分配地址</source>
        <translation>link-local address: the network gave no address</translation>
    </message>
    <message>
        <source>orvex doctor：检查网络，找出设备互相找不到的原因：本机地址、端口、防火墙规则，以及与其他设备的实际连通性。可给出对方的地址，直接询问它。只读取，不修改任何设置。</source>
        <translation>orvex doctor: checks the network for why devices do not find each other: this computer&apos;s addresses, the ports, firewall rules, and a live check with other devices. Give another device&apos;s address to ask it directly. It only reads and changes nothing.</translation>
    </message>
    <message>
        <source>等待其他设备回应的秒数（默认 %1）。</source>
        <translation>Seconds to wait for other devices to answer (default %1).</translation>
    </message>
    <message>
        <source>秒</source>
        <translation>seconds</translation>
    </message>
    <message>
        <source>要直接询问的设备地址（可带端口）。</source>
        <translation>Addresses of devices to ask directly (optionally with a port).</translation>
    </message>
    <message>
        <source>地址...</source>
        <translation>addresses...</translation>
    </message>
    <message>
        <source>--wait 的值无效：%1</source>
        <translation>Invalid value for --wait: %1</translation>
    </message>
    <message>
        <source>最多可询问 %1 个地址。</source>
        <translation>At most %1 addresses can be asked.</translation>
    </message>
    <message>
        <source>不是有效的地址：%1</source>
        <translation>Not a valid address: %1</translation>
    </message>
    <message>
        <source>实际连通性（等待 %1 秒）：</source>
        <translation>Live check (waiting %1 s):</translation>
    </message>
    <message>
        <source>[正常]</source>
        <translation>[ok]     </translation>
    </message>
    <message>
        <source>[注意]</source>
        <translation>[note]   </translation>
    </message>
    <message>
        <source>[问题]</source>
        <translation>[problem]</translation>
    </message>
    <message>
        <source>[未知]</source>
        <translation>[unknown]</translation>
    </message>
    <message>
        <source>网络接口：</source>
        <translation>Network interfaces:</translation>
    </message>
    <message>
        <source>没有可用的网络地址：请连接网络。</source>
        <translation>No usable network address: connect to a network.</translation>
    </message>
    <message>
        <source>链接和二维码使用的地址：%1（%2）</source>
        <translation>Address used in links and QR codes: %1 (%2)</translation>
    </message>
    <message>
        <source>端口：</source>
        <translation>Ports:</translation>
    </message>
    <message>
        <source>发现端口 UDP %1：由 Orvex（进程 %2）监听并回应</source>
        <translation>Discovery port UDP %1: Orvex (process %2) listens and answers</translation>
    </message>
    <message>
        <source>发现端口 UDP %1：由 Orvex 监听并回应</source>
        <translation>Discovery port UDP %1: Orvex listens and answers</translation>
    </message>
    <message>
        <source>发现端口 UDP %1 被 %2（进程 %3）占用</source>
        <translation>Discovery port UDP %1 is held by %2 (process %3)</translation>
    </message>
    <message>
        <source>发现端口 UDP %1 被另一个用户的程序占用</source>
        <translation>Discovery port UDP %1 is held by a program of another user</translation>
    </message>
    <message>
        <source>在系统设置中换一个发现端口（所有设备需相同），或关闭该程序。</source>
        <translation>Choose another discovery port in the settings (the same on every device), or close that program.</translation>
    </message>
    <message>
        <source>发现端口 UDP %1：没有 Orvex 在运行，其他设备找不到本机</source>
        <translation>Discovery port UDP %1: no Orvex runs, other devices cannot find this computer</translation>
    </message>
    <message>
        <source>启动 orvex 或 orvex receive。</source>
        <translation>Start orvex or orvex receive.</translation>
    </message>
    <message>
        <source>传输端口：本机设置为不可被发现，其他设备看不到它</source>
        <translation>Transfer port: this computer is set not to be discoverable, other devices do not see it</translation>
    </message>
    <message>
        <source>传输端口 TCP %1：正在监听</source>
        <translation>Transfer port TCP %1: listening</translation>
    </message>
    <message>
        <source>传输端口 TCP %1：无法连接（%2）</source>
        <translation>Transfer port TCP %1: cannot connect (%2)</translation>
    </message>
    <message>
        <source>网页端口 TCP %1：由 Orvex（进程 %2）监听</source>
        <translation>Web port TCP %1: Orvex (process %2) listens</translation>
    </message>
    <message>
        <source>网页端口 TCP %1 被 %2（进程 %3）占用</source>
        <translation>Web port TCP %1 is held by %2 (process %3)</translation>
    </message>
    <message>
        <source>网页端口 TCP %1 被另一个用户的程序占用</source>
        <translation>Web port TCP %1 is held by a program of another user</translation>
    </message>
    <message>
        <source>orvex share 和 orvex inbox 会改用下一个空闲端口。</source>
        <translation>orvex share and orvex inbox move to the next free port.</translation>
    </message>
    <message>
        <source>网页端口 TCP %1：空闲（网页收发未在运行）</source>
        <translation>Web port TCP %1: free (web transfer is not running)</translation>
    </message>
    <message>
        <source>防火墙（只读取，不修改）：</source>
        <translation>Firewall (read only, nothing changed):</translation>
    </message>
    <message>
        <source>无法读取 %1 规则：%2</source>
        <translation>Cannot read the %1 rules: %2</translation>
    </message>
    <message>
        <source>以 root 运行可读取：sudo %1 doctor</source>
        <translation>Run as root to read them: sudo %1 doctor</translation>
    </message>
    <message>
        <source>%1：没有丢弃 Orvex 端口的规则</source>
        <translation>%1: no rule drops Orvex&apos;s ports</translation>
    </message>
    <message>
        <source>%1 规则丢弃发往 %2 的广播：%3</source>
        <translation>%1 rule drops broadcasts to %2: %3</translation>
    </message>
    <message>
        <source>%1 规则丢弃发往 %2 的数据：%3</source>
        <translation>%1 rule drops what arrives for %2: %3</translation>
    </message>
    <message>
        <source>放行：sudo %1</source>
        <translation>To let it in: sudo %1</translation>
    </message>
    <message>
        <source>%1（%2）回应了设备发现%3</source>
        <translation>%1 (%2) answered discovery%3</translation>
    </message>
    <message>
        <source>（直接询问）</source>
        <translation> (asked directly)</translation>
    </message>
    <message>
        <source>可以连接 %1 的传输端口 TCP %2</source>
        <translation>Connected to the transfer port TCP %2 of %1</translation>
    </message>
    <message>
        <source>无法连接 %1 的传输端口 TCP %2：%3</source>
        <translation>Cannot connect to the transfer port TCP %2 of %1: %3</translation>
    </message>
    <message>
        <source>对方的防火墙可能拦截了该端口：在对方运行 orvex doctor。</source>
        <translation>Its firewall may block that port: run orvex doctor there.</translation>
    </message>
    <message>
        <source>%1 没有回应直接询问</source>
        <translation>%1 did not answer a direct request</translation>
    </message>
    <message>
        <source>确认对方运行着 Orvex、发现端口相同、地址可达（ping %1），并在对方运行 orvex doctor。</source>
        <translation>Check that it runs Orvex with the same discovery port and can be reached (ping %1), and run orvex doctor there.</translation>
    </message>
    <message>
        <source>没有设备回应</source>
        <translation>No device answered</translation>
    </message>
    <message>
        <source>请在另一台设备上运行 orvex 或 orvex receive。若它在运行：路由器可能隔离了无线客户端或过滤了广播（访客网络常这样），或两台设备不在同一网段；可用 orvex devices --probe 地址 直接询问。</source>
        <translation>Run orvex or orvex receive on another device. If it runs: the router may isolate wireless clients or filter broadcasts (guest networks often do), or the two devices are on different subnets; ask it directly with orvex devices --probe ADDRESS.</translation>
    </message>
    <message>
        <source>%1 是无线网卡：请在路由器中关闭“AP 隔离”或“客户端隔离”，或不用访客网络。</source>
        <translation>%1 is a wireless interface: turn off &quot;AP isolation&quot; or &quot;client isolation&quot; in the router, or leave the guest network.</translation>
    </message>
    <message>
        <source>只有直接询问的设备回应了：广播可能被过滤，或它们在另一个网段</source>
        <translation>Only the devices asked directly answered: broadcasts may be filtered, or they are on another subnet</translation>
    </message>
    <message>
        <source>在设备列表中用“添加设备”加入它们的地址。</source>
        <translation>Add their addresses with &quot;Add device&quot; in the device list.</translation>
    </message>
    <message>
        <source>发现端口 UDP %1：由 Orvex（进程 %2）监听</source>
        <translation>Discovery port UDP %1: Orvex (process %2) listens</translation>
    </message>
    <message>
        <source>传输端口：本机的 Orvex 不回应本机的询问，无法得知；下面的实际连通性检查其他设备的传输端口</source>
        <translation>Transfer port: unknown, the Orvex of this computer does not answer this computer; the live check below tries the other devices&apos; transfer ports</translation>
    </message>
    <message>
        <source>%1 %2/%3（%4）</source>
        <translation>%1 %2/%3 (%4)</translation>
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
    <message>
        <source>无法写入下载目录 %1：%2</source>
        <translation>Cannot write to the download folder %1: %2</translation>
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
        <source>地址</source>
        <translation>address</translation>
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
    <message>
        <source>链接中使用的本机地址（默认：默认路由所在网卡的地址）。</source>
        <translation>The address of this computer used in the link (default: the address of the default route&apos;s interface).</translation>
    </message>
    <message>
        <source>orvex inbox：通过网页接收文件和文字。显示上传页面的链接和二维码，浏览器上传的文件保存到下载目录，发送的文字打印到标准输出；按 Ctrl+C 停止。</source>
        <translation>orvex inbox: receives files and texts through a web page. Shows the link and QR code of the upload page; files uploaded by a browser are saved to the download folder, texts sent are printed to standard output. Press Ctrl+C to stop.</translation>
    </message>
    <message>
        <source>收到文字（%1）：</source>
        <translation>Text received (%1):</translation>
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
        <source>网络诊断</source>
        <translation>Network diagnosis</translation>
    </message>
    <message>
        <source>网页发送</source>
        <translation>Web send</translation>
    </message>
    <message>
        <source>网页接收</source>
        <translation>Web receive</translation>
    </message>
    <message>
        <source>已配对的设备</source>
        <translation>Paired devices</translation>
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
    <message>
        <source>%1（已配对）</source>
        <translation>%1 (paired)</translation>
    </message>
    <message>
        <source>文字</source>
        <translation>text</translation>
    </message>
    <message>
        <source>发送剪贴板</source>
        <translation>Send clipboard</translation>
    </message>
    <message>
        <source>发送文字…</source>
        <translation>Send text…</translation>
    </message>
    <message>
        <source>发送文字给 %1</source>
        <translation>Send a text to %1</translation>
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
    <message>
        <source>发送剪贴板</source>
        <translation>Send clipboard</translation>
    </message>
    <message>
        <source>发送文字…</source>
        <translation>Send text…</translation>
    </message>
    <message>
        <source>剪贴板中没有文字。</source>
        <translation>The clipboard holds no text.</translation>
    </message>
    <message>
        <source>请先勾选要接收文字的设备</source>
        <translation>Tick the devices that should receive the text first</translation>
    </message>
</context>
<context>
    <name>PairedCommand</name>
    <message>
        <source>orvex paired：列出已配对的设备（名称、指纹、是否自动接收、上次的地址）并管理它们：
  orvex paired rename 指纹 新名称
  orvex paired unpair 指纹
  orvex paired auto 指纹 on|off   程序窗口自动接收来自此设备的文件</source>
        <translation>orvex paired: lists the paired devices (name, fingerprint, automatic accept, last address) and manages them:
  orvex paired rename FINGERPRINT NEW-NAME
  orvex paired unpair FINGERPRINT
  orvex paired auto FINGERPRINT on|off   the application window accepts files from this device without asking</translation>
    </message>
    <message>
        <source>rename、unpair 或 auto，及其参数；不给出时列出设备。</source>
        <translation>rename, unpair or auto, with its arguments; without them the devices are listed.</translation>
    </message>
    <message>
        <source>[操作 指纹 ...]</source>
        <translation>[action fingerprint ...]</translation>
    </message>
    <message>
        <source>没有已配对的设备。</source>
        <translation>No paired devices.</translation>
    </message>
    <message>
        <source>用法：orvex paired [rename 指纹 新名称 | unpair 指纹 | auto 指纹 on|off]</source>
        <translation>Usage: orvex paired [rename FINGERPRINT NEW-NAME | unpair FINGERPRINT | auto FINGERPRINT on|off]</translation>
    </message>
    <message>
        <source>没有指纹为 %1 的已配对设备。</source>
        <translation>No paired device has the fingerprint %1.</translation>
    </message>
    <message>
        <source>已将 %1 改名为 %2。</source>
        <translation>Renamed %1 to %2.</translation>
    </message>
    <message>
        <source>已取消与 %1 的配对。</source>
        <translation>%1 is no longer paired.</translation>
    </message>
    <message>
        <source>将自动接收来自 %1 的文件。</source>
        <translation>Files from %1 will be accepted automatically.</translation>
    </message>
    <message>
        <source>来自 %1 的文件将先询问。</source>
        <translation>Files from %1 will be asked about first.</translation>
    </message>
    <message>
        <source>自动接收</source>
        <translation>auto-accept</translation>
    </message>
    <message>
        <source>询问</source>
        <translation>ask</translation>
    </message>
</context>
<context>
    <name>PairedPage</name>
    <message>
        <source>还没有配对的设备。传输文件时比对了验证码后，可在确认框或完成时选择“记住此设备”。</source>
        <translation>No paired devices yet. After a transfer in which you compared the code, choose “Remember this device” in the offer box or when it is finished.</translation>
    </message>
    <message>
        <source>已配对的设备</source>
        <translation>Paired devices</translation>
    </message>
    <message>
        <source>已配对的设备凭密钥而不是名字认出：来自它们的文件不必比对验证码。取消配对立即生效。</source>
        <translation>Paired devices are recognised by their key, not by their name: files from them need no code comparison. Unpairing takes effect at once.</translation>
    </message>
    <message>
        <source>名称</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>指纹</source>
        <translation>Fingerprint</translation>
    </message>
    <message>
        <source>最后地址</source>
        <translation>Last address</translation>
    </message>
    <message>
        <source>操作</source>
        <translation>Action</translation>
    </message>
    <message>
        <source>未知</source>
        <translation>unknown</translation>
    </message>
    <message>
        <source>自动接收来自此设备的文件</source>
        <translation>Accept files from this device automatically</translation>
    </message>
    <message>
        <source>重命名</source>
        <translation>Rename</translation>
    </message>
    <message>
        <source>取消配对</source>
        <translation>Unpair</translation>
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
    <message>
        <source>记住此设备</source>
        <translation>Remember this device</translation>
    </message>
    <message>
        <source>下次来自此设备的文件不必再比对验证码</source>
        <translation>Next time, files from this device need no code comparison</translation>
    </message>
    <message>
        <source>已配对：%1</source>
        <translation>Paired: %1</translation>
    </message>
    <message>
        <source>注意：此设备使用了一台已配对设备的名字，却无法证明它就是那台设备。它可能是冒充者，也可能是那台设备重装过、需要重新配对。请务必比对验证码。</source>
        <translation>Warning: this device uses the name of a paired device but could not prove that it is that device. It may be an impostor, or that device was reinstalled and must be paired again. Be sure to compare the code.</translation>
    </message>
    <message>
        <source>
验证码： &quot;%1&quot; （已配对的设备已证明身份，不必比对）。</source>
        <translation>
Code: &quot;%1&quot; (the paired device proved who it is: no need to compare).</translation>
    </message>
    <message>
        <source>等</source>
        <translation>and more</translation>
    </message>
    <message>
        <source>已自动接收</source>
        <translation>Accepted automatically</translation>
    </message>
    <message>
        <source>正在接收已配对设备 %1 发来的 %2 个文件：%3</source>
        <translation>Receiving %2 file(s) from the paired device %1: %3</translation>
    </message>
    <message>
        <source>已自动接收来自 %1 的文件</source>
        <translation>Files from %1 accepted automatically</translation>
    </message>
    <message>
        <source>传输完成。
记住此设备后，来自它的文件不必再比对验证码。</source>
        <translation>Transfer complete.
Once you remember this device, files from it need no code comparison.</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>%1 向您发送一段文字，大小为 %2。</source>
        <translation>%1 sends you a text of %2.</translation>
    </message>
    <message>
        <source>
是否接收文字？</source>
        <translation>
Accept the text?</translation>
    </message>
    <message>
        <source>正在接收已配对设备 %1 发来的文字</source>
        <translation>Receiving a text from the paired device %1</translation>
    </message>
</context>
<context>
    <name>ProgressLine</name>
    <message>
        <source>%1%  %2  剩余 %3</source>
        <translation>%1%  %2  %3 left</translation>
    </message>
    <message>
        <source>继续：已收到 %1%</source>
        <translation>Continuing: %1% already received</translation>
    </message>
    <message>
        <source>%1完成：%2 个文件，%3，用时 %4，平均 %5</source>
        <translation>%1 done: %2 file(s), %3 in %4, %5 on average</translation>
    </message>
    <message>
        <source>%1  %2  剩余 %3</source>
        <translation>%1  %2  %3 left</translation>
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
    <message>
        <source>%1 向您发送文字</source>
        <translation>%1 sends you a text</translation>
    </message>
    <message>
        <source>收到文字</source>
        <translation>Text received</translation>
    </message>
</context>
<context>
    <name>QrText</name>
    <message>
        <source>链接太长，无法生成二维码。</source>
        <translation>The link is too long for a QR code.</translation>
    </message>
    <message>
        <source>二维码的画法：light（浅色背景的终端）或 dark（深色背景）；默认在终端中用固定的黑底白字。</source>
        <translation>How to draw the QR code: light (a terminal with a light background) or dark (a dark background); by default a terminal gets it white on black.</translation>
    </message>
    <message>
        <source>--qr 的值无效：%1（可用 light 或 dark）</source>
        <translation>Invalid value for --qr: %1 (light or dark)</translation>
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
        <source>正在等待接收文件：设备 %1，端口 %2，下载目录 %3</source>
        <translation>Waiting for files: device %1, port %2, download folder %3</translation>
    </message>
    <message>
        <source>已自动接收。</source>
        <translation>Accepted automatically.</translation>
    </message>
    <message>
        <source>已停止接收。</source>
        <translation>Stopped receiving.</translation>
    </message>
    <message>
        <source>orvex receive：接收其他设备发送的文件。运行传输服务并让其他设备发现本机，每次收到文件时显示发送方、文件和验证码，并询问是否接收（y/N）；%1 秒内没有回答则拒绝，发送方会看到“无人回答”。</source>
        <translation>orvex receive: receives files sent by other devices. Runs the transfer service and lets other devices discover this one; for each offer it shows the sender, the files and the verification code and asks whether to accept them (y/N); without an answer within %1 seconds it declines, and the sender reads &quot;no answer&quot;.</translation>
    </message>
    <message>
        <source>（%1 秒内没有回答，已拒绝）</source>
        <translation>(no answer within %1 seconds, declined)</translation>
    </message>
    <message>
        <source>是否接收文件？%1 秒内回答，否则拒绝 [y/N] </source>
        <translation>Receive the files? Answer within %1 seconds or they are declined [y/N] </translation>
    </message>
    <message>
        <source>%1：%2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>不询问，直接接收已配对设备（已验证其密钥）发来的文件；其他设备仍会询问。</source>
        <translation>Accept files from paired devices (their key verified) without asking; other devices are still asked about.</translation>
    </message>
    <message>
        <source>接收时记住发送设备（配对），以后可以识别它。请先核对验证码。</source>
        <translation>Remember the sending device when accepting (pair), so that it is recognised later. Compare the code first.</translation>
    </message>
    <message>
        <source>--pair 不能与 --accept 一起使用：配对前需要核对验证码。</source>
        <translation>--pair cannot be used with --accept: pairing needs the code compared first.</translation>
    </message>
    <message>
        <source>已自动接收来自已配对设备 %1 的文件。</source>
        <translation>Accepted automatically: files from the paired device %1.</translation>
    </message>
    <message>
        <source>是否接收文件并记住此设备？%1 秒内回答，否则拒绝 [y/N] </source>
        <translation>Accept the files and remember this device? Answer within %1 seconds, or they are declined [y/N] </translation>
    </message>
    <message>
        <source>是否接收文字并记住此设备？%1 秒内回答，否则拒绝 [y/N] </source>
        <translation>Accept the text and remember this device? Answer within %1 seconds, or it is declined [y/N] </translation>
    </message>
    <message>
        <source>是否接收文字？%1 秒内回答，否则拒绝 [y/N] </source>
        <translation>Receive the text? Answer within %1 seconds or it is declined [y/N] </translation>
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
    <message>
        <source>正在接收%1……</source>
        <translation>Receiving %1…</translation>
    </message>
    <message>
        <source>传输完成！</source>
        <translation>Transfer complete.</translation>
    </message>
    <message>
        <source>已与 %1 配对（指纹 %2）。</source>
        <translation>Paired with %1 (fingerprint %2).</translation>
    </message>
    <message>
        <source>收到文字（%1）：</source>
        <translation>Text received (%1):</translation>
    </message>
    <message>
        <source>%1 向您发送一段文字，大小为 %2。</source>
        <translation>%1 sends you a text of %2.</translation>
    </message>
</context>
<context>
    <name>ReceivedTextWindow</name>
    <message>
        <source>复制</source>
        <translation>Copy</translation>
    </message>
    <message>
        <source>打开链接</source>
        <translation>Open link</translation>
    </message>
    <message>
        <source>收到的文字</source>
        <translation>Received texts</translation>
    </message>
    <message>
        <source>来自%1的文字（%2）</source>
        <translation>Text from %1 (%2)</translation>
    </message>
    <message>
        <source>已复制到剪贴板</source>
        <translation>Copied to the clipboard</translation>
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
    <message>
        <source>对方发送的文字超过 1 MiB 或格式不对，已拒绝接收</source>
        <translation>The other device offered a text over 1 MiB or in a wrong form; it was refused</translation>
    </message>
    <message>
        <source>收到的文字不是有效的 UTF-8 文本，已丢弃</source>
        <translation>The text received is not valid UTF-8; it was dropped</translation>
    </message>
    <message>
        <source>已收到文字</source>
        <translation>Text received</translation>
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
        <source>用法：orvex [命令] [选项]
不带参数时启动托盘程序。以下命令在终端中运行，不需要图形界面：
</source>
        <translation>Usage: orvex [command] [options]
Without arguments it starts the tray application. These commands run in a terminal and need no display:
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
    <message>
        <source>检查网络，找出设备互相找不到的原因</source>
        <translation>check the network for why devices do not find each other</translation>
    </message>
    <message>
        <source>退出状态：
  0    成功（send：对方已接收且文件已全部发出）
  1    失败：连接、文件、端口出错，或传输中断
  2    命令行错误
  3    被拒绝：对方拒绝接收（send），或在本机拒绝了文件（receive --once）
  4    找不到设备（send --to），或没有发现任何设备（devices）
  5    无人回答：对方在限定时间内没有回答，已自动拒绝（send），或在本机无人回答（receive --once）
  130  传输中被 Ctrl+C 中断（SIGTERM 为 143）；没有传输时中断 receive、share、inbox、devices 返回 0
</source>
        <translation>Exit status:
  0    success (send: the receiver accepted and every file was sent)
  1    failure: a connection, file or port error, or an interrupted transfer
  2    wrong command line
  3    declined: the receiver declined (send), or the files were declined here (receive --once)
  4    device not found (send --to), or no device found at all (devices)
  5    no answer: nobody answered in time at the receiver, which declined (send), or nobody answered here (receive --once)
  130  interrupted by Ctrl+C during a transfer (143 for SIGTERM); receive, share, inbox and devices interrupted while idle end with 0
</translation>
    </message>
    <message>
        <source>  -v, --version  显示版本
“orvex 命令 --help” 显示该命令的选项。

</source>
        <translation>  -v, --version  show the version
&quot;orvex COMMAND --help&quot; shows the options of a command.

</translation>
    </message>
    <message>
        <source>只输出错误和最后的结果。</source>
        <translation>Print only errors and the final result.</translation>
    </message>
    <message>
        <source>每个事件输出一行 JSON（见 docs/commands.md）。</source>
        <translation>Print one line of JSON per event (see docs/commands.md).</translation>
    </message>
    <message>
        <source>显示此帮助。</source>
        <translation>Show this help.</translation>
    </message>
    <message>
        <source>多余的参数：%1</source>
        <translation>Unexpected argument: %1</translation>
    </message>
    <message>
        <source>--quiet 和 --json 不能同时使用。</source>
        <translation>--quiet and --json cannot be used together.</translation>
    </message>
    <message>
        <source>列出和管理已配对的设备</source>
        <translation>list and manage paired devices</translation>
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
    <message>
        <source>--save 要与要保存的设置一起使用。</source>
        <translation>--save needs a setting to save.</translation>
    </message>
    <message>
        <source>已保存为默认值：%1 = %2</source>
        <translation>Saved as the default: %1 = %2</translation>
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
    <message>
        <source>所选文件夹中没有文件：%1</source>
        <translation>No files in the chosen folder: %1</translation>
    </message>
    <message>
        <source>是否要找：%1</source>
        <translation>Did you mean: %1</translation>
    </message>
    <message>
        <source>建立连接中，验证码: %1</source>
        <translation>Connecting, verification code: %1</translation>
    </message>
    <message>
        <source>对方版本较旧，文件将分 %1 批发送，每批需对方确认</source>
        <translation>The other device runs an older version: the files go in %1 batches, each to be accepted there</translation>
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
        <source>设备握手中……</source>
        <translation>Handshaking with the device…</translation>
    </message>
    <message>
        <source>所选文件过多（%1 个），文件清单超出了一次传输的上限。
请减少到约 %2 个以内（文件名越长，可发送的数量越少）后再发送。</source>
        <translation>Too many files chosen (%1): the file list exceeds what one transfer can carry.
Please send at most about %2 files at a time (the longer the file names, the fewer files fit).</translation>
    </message>
    <message>
        <source>接收设备接收后记住它（配对），以后可以识别它。请先核对验证码。</source>
        <translation>Remember the receiving device once it accepts (pair), so that it is recognised later. Compare the code first.</translation>
    </message>
    <message>
        <source>已与 %1 配对（指纹 %2）。</source>
        <translation>Paired with %1 (fingerprint %2).</translation>
    </message>
    <message>
        <source>%1 没有证明自己的密钥（旧版本或其他程序），未配对。</source>
        <translation>%1 did not prove its key (an older version or another program): not paired.</translation>
    </message>
    <message>
        <source>orvex send：向设备发送文件和文件夹，或用 --text 发送一段文字。接收方确认与本机显示的验证码一致后接收。</source>
        <translation>orvex send: sends files and folders, or with --text a text, to devices. The receiver accepts after checking that the verification code matches the one shown here.</translation>
    </message>
    <message>
        <source>发送这段文字而不是文件（最多 1 MiB）；为 - 时从标准输入读取。对方显示文字，较旧的设备把它存为文本文件。</source>
        <translation>Send this text instead of files (at most 1 MiB); “-” reads it from standard input. The other device shows the text; an older one saves it as a text file.</translation>
    </message>
    <message>
        <source>文字</source>
        <translation>text</translation>
    </message>
    <message>
        <source>--text 不能与文件一起发送。</source>
        <translation>--text cannot be sent together with files.</translation>
    </message>
    <message>
        <source>没有可发送的文字，或文字不是有效的 UTF-8。</source>
        <translation>There is no text to send, or it is not valid UTF-8.</translation>
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
    <message>
        <source>无法读取文件夹 %1</source>
        <translation>Cannot read the folder %1</translation>
    </message>
    <message>
        <source>%1：%2</source>
        <translation>%1: %2</translation>
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
    <name>SendTextWindow</name>
    <message>
        <source>发送</source>
        <translation>Send</translation>
    </message>
    <message>
        <source>发送文字给 %1</source>
        <translation>Send a text to %1</translation>
    </message>
    <message>
        <source>、</source>
        <translation>, </translation>
    </message>
    <message>
        <source>请先输入要发送的文字！</source>
        <translation>Enter the text to send first.</translation>
    </message>
    <message>
        <source>文字过长（%1），一次最多发送 %2。</source>
        <translation>The text is too long (%1): at most %2 at a time.</translation>
    </message>
    <message>
        <source>连接超时！</source>
        <translation>The connection timed out.</translation>
    </message>
    <message>
        <source>无法连接 %1：%2</source>
        <translation>Cannot connect to %1: %2</translation>
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
    <message>
        <source>接收设备无人回答，已自动拒绝！</source>
        <translation>Nobody answered on the receiving device; the offer was declined!</translation>
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
    <message>
        <source>链接中使用的本机地址（默认：默认路由所在网卡的地址）。</source>
        <translation>The address of this computer used in the link (default: the address of the default route&apos;s interface).</translation>
    </message>
    <message>
        <source>orvex share：通过网页分享文件或文字。显示链接和二维码，同一网络中的浏览器可下载这些文件、复制这段文字；按 Ctrl+C 停止。</source>
        <translation>orvex share: shares files or a text through a web page. Shows a link and a QR code; browsers on the same network can download the files and copy the text. Press Ctrl+C to stop.</translation>
    </message>
    <message>
        <source>同时分享这段文字（最多 1 MiB）；“-”从标准输入读取。</source>
        <translation>Also share this text (at most 1 MiB); “-” reads it from standard input.</translation>
    </message>
    <message>
        <source>文字</source>
        <translation>text</translation>
    </message>
    <message>
        <source>没有可分享的文字，或文字不是有效的 UTF-8。</source>
        <translation>There is no text to share, or it is not valid UTF-8.</translation>
    </message>
    <message>
        <source>正在分享一段文字，按 Ctrl+C 停止。</source>
        <translation>Sharing a text. Press Ctrl+C to stop.</translation>
    </message>
</context>
<context>
    <name>TextArgument</name>
    <message>
        <source>文字太长：最多 1 MiB。</source>
        <translation>The text is too long: at most 1 MiB.</translation>
    </message>
</context>
<context>
    <name>TextUploadController</name>
    <message>
        <source>文字已发送到电脑。</source>
        <translation>The text was sent to the computer.</translation>
    </message>
    <message>
        <source>没有可发送的文字。</source>
        <translation>There is no text to send.</translation>
    </message>
    <message>
        <source>文字太长，最多 1 MiB。</source>
        <translation>The text is too long: at most 1 MiB.</translation>
    </message>
    <message>
        <source>发送太频繁，请稍后再试。</source>
        <translation>Too many texts; please try again later.</translation>
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
    <name>TransferTexts</name>
    <message>
        <source>接收设备拒绝接收文件！</source>
        <translation>The receiving device declined the files.</translation>
    </message>
    <message>
        <source>接收设备无人回答，已自动拒绝！</source>
        <translation>Nobody answered on the receiving device; the offer was declined!</translation>
    </message>
    <message>
        <source>握手失败！</source>
        <translation>Handshake failed.</translation>
    </message>
    <message>
        <source>未收到接收方的确认</source>
        <translation>The receiver did not confirm the transfer</translation>
    </message>
    <message>
        <source>等待文件信息超时！</source>
        <translation>Timed out waiting for the file list.</translation>
    </message>
    <message>
        <source>已取消传输</source>
        <translation>Transfer cancelled</translation>
    </message>
    <message>
        <source>对方已取消传输</source>
        <translation>The other device cancelled the transfer</translation>
    </message>
    <message>
        <source>发送方给出的文件名不安全，已拒绝接收：&quot;%1&quot;</source>
        <translation>The sender gave an unsafe file name, the files were refused: &quot;%1&quot;</translation>
    </message>
    <message>
        <source>磁盘空间不足</source>
        <translation>Not enough disk space</translation>
    </message>
    <message>
        <source>写入%1失败！</source>
        <translation>Writing %1 failed.</translation>
    </message>
    <message>
        <source>读取文件 %1 失败或文件已改变，传输已中止！</source>
        <translation>Reading the file %1 failed or it changed; the transfer was stopped.</translation>
    </message>
    <message>
        <source>连接已断开</source>
        <translation>The connection was lost.</translation>
    </message>
    <message>
        <source>传输数据被篡改或损坏</source>
        <translation>The transferred data was altered or damaged</translation>
    </message>
    <message>
        <source>对方发送的数据不符合传输协议</source>
        <translation>The other device sent data that breaks the transfer protocol.</translation>
    </message>
    <message>
        <source>对方发送的数据不符合传输协议：&quot;%1&quot;</source>
        <translation>The other device sent data that breaks the transfer protocol: &quot;%1&quot;</translation>
    </message>
    <message>
        <source>对方已中止传输</source>
        <translation>The other device stopped the transfer.</translation>
    </message>
    <message>
        <source>继续上次未完成的传输（已收到 %1%）</source>
        <translation>Continuing the unfinished transfer (%1% received)</translation>
    </message>
    <message>
        <source>%1：无法打开所选文件！</source>
        <translation>%1: cannot open the chosen file!</translation>
    </message>
    <message>
        <source>%1：所选文件格式不支持！</source>
        <translation>%1: the chosen file&apos;s type is not supported!</translation>
    </message>
    <message>
        <source>无法读取文件夹 %1</source>
        <translation>Cannot read the folder %1</translation>
    </message>
    <message>
        <source>已跳过指向所选文件夹之外的链接：%1</source>
        <translation>Skipped a link to a folder outside the chosen one: %1</translation>
    </message>
    <message>
        <source>已配对：%1</source>
        <translation>Paired: %1</translation>
    </message>
    <message>
        <source>注意：此设备使用了一台已配对设备的名称，但无法证明它就是那台设备（也可能那台设备重装过，需要重新配对）。请务必核对验证码。</source>
        <translation>Warning: this device uses the name of a paired device but cannot prove that it is that device (or that device was reinstalled and must be paired again). Be sure to compare the code.</translation>
    </message>
    <message>
        <source>对方发送的文字超过 1 MiB 或不是有效的 UTF-8 文本，已拒绝接收</source>
        <translation>The other device sent a text over 1 MiB or not in valid UTF-8; it was refused</translation>
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
    <name>WebLinks</name>
    <message>
        <source>（%1，进程 %2）</source>
        <translation> (%1, process %2)</translation>
    </message>
    <message>
        <source>无法监听网页端口 %1%2，其后的 %3 个端口也都被占用。</source>
        <translation>Cannot listen on web port %1%2, and the %3 ports after it are taken too.</translation>
    </message>
    <message>
        <source>网页端口 %1 已被占用%2，改用端口 %3。</source>
        <translation>Web port %1 is taken%2, using port %3 instead.</translation>
    </message>
    <message>
        <source>本机没有地址 %1。</source>
        <translation>This computer has no address %1.</translation>
    </message>
</context>
<context>
    <name>WebPortMessage</name>
    <message>
        <source>网页端口 %1 已被 %2（进程 %3）占用，网页收发无法使用。</source>
        <translation>Web port %1 is taken by %2 (process %3): web transfer cannot work.</translation>
    </message>
    <message>
        <source>网页端口 %1 已被另一个用户的程序占用，网页收发无法使用。</source>
        <translation>Web port %1 is taken by a program of another user: web transfer cannot work.</translation>
    </message>
    <message>
        <source>网页服务无法监听网页端口 %1，网页收发无法使用。</source>
        <translation>The web server cannot listen on web port %1: web transfer cannot work.</translation>
    </message>
    <message>
        <source>请关闭占用它的程序，或在系统设置中另选一个网页端口，然后重启 Orvex。</source>
        <translation>Close the program that holds it, or choose another web port in the settings, then restart Orvex.</translation>
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
        <source>收到的文字</source>
        <translation>Received texts</translation>
    </message>
    <message>
        <source>复制</source>
        <translation>Copy</translation>
    </message>
    <message>
        <source>收到文字</source>
        <translation>Text received</translation>
    </message>
    <message>
        <source>网页</source>
        <translation>the web page</translation>
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
        <source>要分享的文字或链接（可选）</source>
        <translation>A text or link to share (optional)</translation>
    </message>
    <message>
        <source>要分享的文字</source>
        <translation>Text to share</translation>
    </message>
    <message>
        <source>请选择文件或输入文字</source>
        <translation>Please choose files or enter a text</translation>
    </message>
    <message>
        <source>文字太长：最多 1 MiB。</source>
        <translation>The text is too long: at most 1 MiB.</translation>
    </message>
    <message>
        <source>二维码直接打开这个链接</source>
        <translation>QR code opens this link directly</translation>
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
